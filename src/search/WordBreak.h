// Word breaking: the three character flags of a word definition set (a word
// may start with, contain, end with the character), the characters that are
// discarded inside a word, and the rules of what is never indexed. The word
// indexing, the search and the hit list share one set of tables.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

class Session;

// The longest word kept (WOR:THEWORD); longer runs are not words but data
// (encoded attachments, long identifiers) and are skipped.
inline constexpr std::size_t kMaxWordLength = 40;
// The name of the word definition set used when none is chosen.
inline constexpr const char* kDefaultWordSet = "Default";

// $StartWordHash, $InWordHash, $EndWordHash and $IsJunkHash: one entry per
// character code.
struct WordTables {
    std::array<uint8_t, 256> StartWordHash{};
    std::array<uint8_t, 256> InWordHash{};
    std::array<uint8_t, 256> EndWordHash{};
    std::array<uint8_t, 256> IsJunkHash{};

    // The built-in set: letters (with the accented letters of Windows-1252)
    // and digits start, continue and end a word; the apostrophe, the period,
    // the underscore and the hyphen may stand inside one; the soft hyphen is
    // discarded.
    static WordTables defaults();
    // A short text that changes whenever a flag changes: an index built
    // under other tables must be rebuilt in full.
    std::string signature() const;
};

// One word found in a text: its indexed form (upper case, junk removed) and
// its place as byte positions [start, end).
struct WordHit {
    std::string word;
    std::size_t start = 0, end = 0;
};

// Breaks text into words: a word starts at a character with the start flag,
// runs over characters with the inside flag (junk characters are dropped
// without ending it), and is then cut back to its last character with the end
// flag. Words are given in upper case, in text order; words longer than
// kMaxWordLength are skipped.
void breakWords(std::string_view text, const WordTables& t, const std::function<void(const WordHit&)>& f);
// The same with the callback inlined, for the indexing's hot loop.
template <class F>
void forEachWord(std::string_view text, const WordTables& t, F&& f);
std::vector<std::string> wordsOf(std::string_view text, const WordTables& t);

// Settings that change only future indexing.
struct IndexSettings {
    bool indexNumbers = true;      // words that are (or start with) numbers
    bool skipTagLines = false;     // footers of forum and newsgroup messages
    bool autoStopWords = true;     // the 25 % rule
    std::string wordSet = kDefaultWordSet;
    int32_t searchScanLimit = 200000;  // index entries a search scans before it asks to go on
};

// Whether a word of the text is indexed under the settings: numbers only when
// asked for, and never long digit runs or dotted number groups (dates,
// addresses, identifiers that look like header data).
bool indexable(std::string_view word, const IndexSettings& settings);

// The part of a stored text that is indexed: a leading block of Internet
// headers is skipped, and with skipTagLines set so is the footer after a
// signature separator line ("-- ") of forum and newsgroup messages. Returns
// [begin, end) byte positions.
std::pair<std::size_t, std::size_t> indexedSpan(std::string_view text, bool skipTagLines);

// The indexing settings of the installation (a Control record of their own)
// and the tables of the chosen word definition set of the selected database
// (WordChars; the built-in set when it has no rows).
IndexSettings loadIndexSettings(Session& s);
[[nodiscard]] bool saveIndexSettings(Session& s, const IndexSettings& settings);
WordTables loadWordTables(Session& s, const std::string& setName);
// Stores a set's flags in WordChars (replacing its rows).
[[nodiscard]] bool saveWordTables(Session& s, const std::string& setName, const WordTables& t);

// Windows-1252 upper case of every character code.
const std::array<char, 256>& upperTable();

// The hash of a word in its indexed form, built a byte at a time while the
// word is upper-cased, so that a lookup needs no second pass over the word:
// eight bytes make one chunk and each chunk costs one multiply and a shift.
class WordHash {
public:
    void add(unsigned char c) {
        chunk_ |= uint64_t(c) << (8 * (n_ & 7));
        if ((++n_ & 7) == 0) {
            mix(chunk_);
            chunk_ = 0;
        }
    }
    uint32_t value() const {
        WordHash h = *this;
        if (h.n_ & 7) h.mix(h.chunk_);
        uint64_t v = (h.h_ ^ (uint64_t(h.n_) * 0x9E3779B97F4A7C15ull)) * 0x94D049BB133111EBull;
        return uint32_t(v ^ (v >> 32));
    }
    static uint32_t of(std::string_view w) {
        WordHash h;
        std::size_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Whole chunks at once: a chunk read from memory is the chunk
            // that add() builds byte by byte.
            for (; i + 8 <= w.size(); i += 8) {
                uint64_t c;
                std::memcpy(&c, w.data() + i, 8);
                h.mix(c);
            }
            h.n_ = uint32_t(i);
        }
        for (; i < w.size(); ++i) h.add(static_cast<unsigned char>(w[i]));
        return h.value();
    }

private:
    void mix(uint64_t c) {
        h_ = (h_ ^ c) * 0xBF58476D1CE4E5B9ull;
        h_ ^= h_ >> 29;
    }
    uint64_t h_ = 0x2545F4914F6CDD1Dull;
    uint64_t chunk_ = 0;
    uint32_t n_ = 0;
};

// A word as the indexing's hot loop sees it: its indexed form in a buffer of
// the breaker (valid during the callback), its hash, and its place.
struct WordRef {
    std::string_view word;
    uint32_t hash = 0;
    std::size_t start = 0, end = 0;
};

// Breaks text into words as breakWords does, handing each word over without
// building a string for it.
template <class F>
void forEachWordRef(std::string_view text, const WordTables& t, F&& f) {
    const std::array<char, 256>& upper = upperTable();
    // One class byte per character code, so that each text byte costs one
    // table read: a word starts here, continues (or is junk), may end here,
    // is junk.
    enum : uint8_t { Start = 1, Inside = 2, End = 4, Junk = 8 };
    uint8_t cls[256];
    for (unsigned ch = 0; ch < 256; ++ch) {
        bool junk = t.IsJunkHash[ch] != 0;
        cls[ch] = uint8_t((t.StartWordHash[ch] && !junk ? Start : 0) | (t.InWordHash[ch] || junk ? Inside : 0) |
                          (t.EndWordHash[ch] && !junk ? End : 0) | (junk ? Junk : 0));
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    char word[kMaxWordLength + 1];
    std::size_t i = 0;
    while (i < n) {
        if (!(cls[p[i]] & Start)) {
            ++i;
            continue;
        }
        // One pass over the inside characters (and junk): the kept
        // characters are upper-cased into the buffer, and the place after the
        // last character that may end a word is remembered. The inside rule
        // comes first: the word is cut back to that place; the start
        // character always stays.
        std::size_t start = i, j = i, len = 0;
        std::size_t end = start + 1, endLen = 1;
        do {
            unsigned char ch = p[j];
            uint8_t c = cls[ch];
            if (!(c & Junk)) {
                if (len <= kMaxWordLength) word[len] = upper[ch];
                ++len;
            }
            ++j;
            if (c & End) {
                end = j;
                endLen = len;
            }
        } while (j < n && (cls[p[j]] & Inside));
        if (endLen <= kMaxWordLength) {
            std::string_view w(word, endLen);
            f(WordRef{w, WordHash::of(w), start, end});
        }
        i = j;
    }
}

template <class F>
void forEachWord(std::string_view text, const WordTables& t, F&& f) {
    WordHit hit;
    forEachWordRef(text, t, [&](const WordRef& r) {
        hit.word.assign(r.word);
        hit.start = r.start;
        hit.end = r.end;
        f(static_cast<const WordHit&>(hit));
    });
}

}  // namespace quill

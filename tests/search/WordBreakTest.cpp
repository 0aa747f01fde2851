// Word breaking under the default word definitions and under changed flags,
// the numbers and header data that are never indexed, and the part of a
// stored text that is indexed.
#include <gtest/gtest.h>

#include "search/IndexStore.h"
#include "search/WordBreak.h"
#include "search/WordIndex.h"

namespace quill {
namespace {

std::string joined(const std::vector<std::string>& v) {
    std::string r;
    for (auto& w : v) r += (r.empty() ? "" : "|") + w;
    return r;
}

enum class Change { None, PeriodStarts, PeriodNotInside, PeriodEnds, PeriodInsideAndEnds, HyphenStartsNothing };

WordTables tablesWith(Change c) {
    WordTables t = WordTables::defaults();
    unsigned char dot = '.';
    switch (c) {
        case Change::None: break;
        case Change::PeriodStarts: t.StartWordHash[dot] = 1; break;
        case Change::PeriodNotInside: t.InWordHash[dot] = 0; break;
        case Change::PeriodEnds: t.EndWordHash[dot] = 1; t.InWordHash[dot] = 0; break;
        case Change::PeriodInsideAndEnds: t.EndWordHash[dot] = 1; break;
        case Change::HyphenStartsNothing: t.InWordHash['-'] = 0; break;
    }
    return t;
}

TEST(BreakWords, TextsYieldTheirWordsUnderEachFlagSet) {
    struct Case {
        Change change;
        const char* text;
        const char* words;
    } cases[] = {
        {Change::None, "I like Windows.", "I|LIKE|WINDOWS"},
        {Change::None, "Edit WIN.INI now", "EDIT|WIN.INI|NOW"},
        {Change::None, "Open .INI files", "OPEN|INI|FILES"},
        {Change::None, "don't e-mail me", "DON'T|E-MAIL|ME"},
        {Change::None, "trailing hyphen- and quote'", "TRAILING|HYPHEN|AND|QUOTE"},
        {Change::None, "Caf\xE9 \xFC" "ber \xE6" "sthetik", "CAF\xC9|\xDC" "BER|\xC6" "STHETIK"},
        {Change::None, "soft\xADhyphen", "SOFTHYPHEN"},
        {Change::None, "a,b;c(d)e", "A|B|C|D|E"},
        {Change::None, "", ""},
        {Change::None, "... --- !!!", ""},
        {Change::PeriodStarts, "Open .INI files", "OPEN|.INI|FILES"},
        {Change::PeriodNotInside, "Edit WIN.INI now", "EDIT|WIN|INI|NOW"},
        // A character that cannot stand inside a word cannot end one either.
        {Change::PeriodEnds, "I like Windows.", "I|LIKE|WINDOWS"},
        {Change::PeriodEnds, "Edit WIN.INI now", "EDIT|WIN|INI|NOW"},
        {Change::PeriodInsideAndEnds, "I like Windows. Really", "I|LIKE|WINDOWS.|REALLY"},
        {Change::HyphenStartsNothing, "don't e-mail me", "DON'T|E|MAIL|ME"},
    };
    for (auto& c : cases)
        EXPECT_EQ(joined(wordsOf(c.text, tablesWith(c.change))), c.words) << c.text << " change " << int(c.change);
}

TEST(BreakWords, PositionsCoverTheWordAsWrittenAndLongRunsAreSkipped) {
    std::vector<WordHit> hits;
    std::string longRun(41, 'x');
    breakWords("  Hello, " + longRun + " world.", WordTables::defaults(), [&](const WordHit& h) { hits.push_back(h); });
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].word, "HELLO");
    EXPECT_EQ(hits[0].start, 2u);
    EXPECT_EQ(hits[0].end, 7u);
    EXPECT_EQ(hits[1].word, "WORLD");
    EXPECT_EQ(hits[1].end - hits[1].start, 5u);
}

TEST(Indexable, NumbersFollowTheSettingAndHeaderDataIsNeverIndexed) {
    IndexSettings with, without;
    without.indexNumbers = false;
    struct Case {
        const char* word;
        bool withNumbers, withoutNumbers;
    } cases[] = {
        {"WINDOWS", true, true},   {"1995", true, false},       {"3COM", true, false},
        {"CAFE", true, true},     {"WIN95", true, true},       {"123456789", false, false},
        {"12345678", true, false}, {"192.168.1.10", false, false}, {"2024-01-05", false, false},
        {"1.5", true, false},      {"FACE", true, true},
    };
    for (auto& c : cases) {
        EXPECT_EQ(indexable(c.word, with), c.withNumbers) << c.word;
        EXPECT_EQ(indexable(c.word, without), c.withoutNumbers) << c.word;
    }
}

TEST(IndexedSpan, InternetHeadersAndTagLinesAreLeftOut) {
    std::string headed = "From: a@b.c\r\nSubject: Hi\r\n  folded\r\nDate: x\r\n\r\nBody text";
    auto [b, e] = indexedSpan(headed, false);
    EXPECT_EQ(headed.substr(b, e - b), "Body text");

    std::string notHeaders = "Note: this is text\r\nand more\r\n\r\nrest";
    EXPECT_EQ(indexedSpan(notHeaders, false).first, 0u);

    std::string tagged = "Body\r\n-- \r\nMy tag line\r\n";
    auto [tb, te] = indexedSpan(tagged, true);
    EXPECT_EQ(tagged.substr(tb, te - tb), "Body\r\n");
    EXPECT_EQ(indexedSpan(tagged, false).second, tagged.size());
}

TEST(PostingBlocks, RoundTripAndDamageStopsDecoding) {
    std::vector<uint32_t> ids = {1, 2, 127, 128, 300, 16384, 250000, 4000000000u};
    std::string blob = encodeIds(ids);
    std::vector<uint32_t> back;
    EXPECT_TRUE(decodeIds(blob, back));
    EXPECT_EQ(back, ids);

    std::vector<uint32_t> partial;
    std::string cut = blob.substr(0, blob.size() - 1);  // the last varint loses its end
    EXPECT_FALSE(decodeIds(cut, partial));
    EXPECT_EQ(partial.size(), ids.size() - 1);
    std::vector<uint32_t> endless;
    EXPECT_FALSE(decodeIds(std::string(8, '\xFF'), endless));
}

}  // namespace
}  // namespace quill

namespace quill {
namespace {

TEST(BreakWords, TheLengthLimitCountsTheKeptCharactersNotTheDiscardedOnes) {
    std::string forty(40, 'k'), fortyOne(41, 'k');
    std::string withJunk = forty.substr(0, 20) + "\xAD" + forty.substr(20);  // 41 bytes, 40 kept
    struct Case {
        std::string text;
        std::string words;
    } cases[] = {
        {forty + " tail", std::string(40, 'K') + "|TAIL"},
        {fortyOne + " tail", "TAIL"},
        {withJunk + " tail", std::string(40, 'K') + "|TAIL"},
        {fortyOne + "\xAD" + " tail", "TAIL"},
        {"head " + fortyOne, "HEAD"},
    };
    for (auto& c : cases) EXPECT_EQ(joined(wordsOf(c.text, WordTables::defaults())), c.words) << c.text.size();
}

TEST(BreakWords, EachWordComesWithTheHashOfItsIndexedForm) {
    std::vector<std::pair<std::string, uint32_t>> seen;
    forEachWordRef("Stra\xDF" "e soft\xADhyphen caf\xE9 a-long-hyphenated-word-of-many-parts x",
                   WordTables::defaults(), [&](const WordRef& r) { seen.emplace_back(std::string(r.word), r.hash); });
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[1].first, "SOFTHYPHEN");
    for (auto& [word, hash] : seen) EXPECT_EQ(hash, WordHash::of(word)) << word;
    EXPECT_NE(WordHash::of("AB"), WordHash::of("BA"));
    EXPECT_NE(WordHash::of("A"), WordHash::of(std::string("A\0", 2)));
}

TEST(WordIds, WordsSharingAHashStayApartShortAndLong) {
    WordIds ids;
    std::string longA(30, 'A'), longB = std::string(29, 'A') + "B";
    struct Case {
        std::string word;
        uint32_t hash, id;
    } cases[] = {
        {"CAT", 7, 1}, {"CAR", 7, 2}, {"CA", 7, 3}, {longA, 7, 4}, {longB, 7, 5}, {"SIXTEEN-LETTERS!", 7, 6},
        {"SEVENTEEN-LETTERS", 7, 7}, {"DOG", 8, 8},
    };
    for (auto& c : cases) ids.insert(c.word, c.hash, c.id);
    ids.reserve(5000);  // moves every word to a larger table
    for (auto& c : cases) EXPECT_EQ(ids.find(c.word, c.hash), c.id) << c.word;
    // The padded lookup of the indexing: whatever follows the word in its
    // buffer does not count.
    for (auto& c : cases) {
        std::string buffer = c.word + "XYZXYZXYZXYZXYZXYZ";
        EXPECT_EQ(ids.findPadded(std::string_view(buffer).substr(0, c.word.size()), c.hash), c.id) << c.word;
    }
    std::string carPadded = "CARSTENSEN-AND-MORE";
    EXPECT_EQ(ids.findPadded(std::string_view(carPadded).substr(0, 2), 7), 3u);  // "CA"
    EXPECT_EQ(ids.findPadded(std::string_view(carPadded).substr(0, 4), 7), WordIds::kMissing);  // "CARS"
    EXPECT_EQ(ids.find("CAB", 7), WordIds::kMissing);
    EXPECT_EQ(ids.find(std::string(29, 'A') + "C", 7), WordIds::kMissing);
    EXPECT_EQ(ids.find("CAT", 8), WordIds::kMissing);
    for (uint32_t n = 0; n < 3000; ++n) ids.insert("W" + std::to_string(n), 100 + n);
    for (uint32_t n = 0; n < 3000; n += 97) EXPECT_EQ(ids.find("W" + std::to_string(n)), 100 + n);
    for (auto& c : cases) EXPECT_EQ(ids.find(c.word, c.hash), c.id) << c.word;
}

}  // namespace
}  // namespace quill

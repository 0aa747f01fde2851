// The word index of the selected database: the indexing run (Full, Partial,
// Recount) as a step machine, the stop words, the WordList mirror, and the
// three upkeep steps of the purge run.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "database/Session.h"
#include "search/IndexStore.h"
#include "search/LargePages.h"
#include "search/WordBreak.h"

namespace quill {

// Opens one of the files the word index and the search open themselves
// (WordList, StopWords, Search): builds its name, creates its directory and
// the file when missing. False (and the user told) when it cannot be opened.
[[nodiscard]] bool openIndexFile(Session& s, RecordFile& f);
// Opens the index store (MasIdx) of the selected database.
[[nodiscard]] bool openIndexStore(Session& s, IndexStore& store);

// A default list of common English words, never indexed. The StopWords file
// is filled with it when it is created.
const std::vector<const char*>& defaultStopWords();
// The stop words (upper case) of the installation.
std::unordered_set<std::string> loadStopWords(Session& s);
[[nodiscard]] bool addStopWords(Session& s, const std::vector<std::string>& words);

// The database's messages: (number, stored text) in number order.
enum class IndexMode { Full, Partial, Recount };

struct IndexReport {
    int64_t messages = 0;         // messages of the database
    int64_t indexed = 0;          // messages read by this run
    int64_t postings = 0;         // (message, word) links added
    int64_t newWords = 0;
    int64_t words = 0;            // words in the index afterwards
    std::vector<std::string> stopWordsAdded;  // by the 25 % rule
    bool fullForced = false;      // a Partial run became Full (the word tables changed)
    // Recount: messages not yet indexed and the advice ("Full", "Partial", "").
    int64_t unindexed = 0;
    std::string advice;
};

// Word to identifier, for the hot loop of the indexing: open addressing over
// one string arena, so that a lookup costs one hash and usually one probe.
class WordIds {
public:
    static constexpr uint32_t kMissing = 0;
    static constexpr uint32_t kStopWord = 0xFFFFFFFFu;
    uint32_t find(std::string_view w) const { return find(w, WordHash::of(w)); }
    // With the word's WordHash, as the word breaker hands it over.
    uint32_t find(std::string_view w, uint32_t hash) const;
    // The same for a word followed by at least kPadding readable bytes,
    // which lets a short word be compared in two 8-byte steps.
    static constexpr std::size_t kPadding = 16;
    uint32_t findPadded(std::string_view w, uint32_t hash) const;
    void insert(std::string_view w, uint32_t id) { insert(w, WordHash::of(w), id); }
    void insert(std::string_view w, uint32_t hash, uint32_t id);  // w must be absent
    std::size_t size() const { return used_; }
    // Makes room for n words without growing on the way.
    void reserve(std::size_t n);
    // Asks the processor to fetch the first slot a word of this hash probes.
    void prefetch(uint32_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }

private:
    // Words of up to 16 bytes are kept in the slot itself, so that a lookup
    // of a common word touches one cache line.
    static constexpr std::size_t kInline = 16;
    struct Slot {
        uint32_t hash = 0;
        uint32_t id = 0;       // 0 = empty
        uint32_t offset = 0;   // in the arena, for longer words
        uint32_t length = 0;
        char text[kInline] = {};
    };
    bool same(const Slot& sl, std::string_view w) const;
    static bool sameShortPadded(const Slot& sl, std::string_view w);
    void grow() { rehash(slots_.size() * 2); }
    void rehash(std::size_t slots);
    std::vector<Slot> slots_ = std::vector<Slot>(1024);
    std::string arena_;
    std::size_t used_ = 0;
};

class WordIndexRun {
public:
    WordIndexRun(Session& s, IndexMode mode);
    ~WordIndexRun();
    WordIndexRun(const WordIndexRun&) = delete;
    WordIndexRun& operator=(const WordIndexRun&) = delete;

    // One slice of work; false when the run has finished (or failed).
    bool step();
    void runToEnd() {
        while (step()) {
        }
    }
    bool finished() const { return phase_ == Phase::Done; }
    bool failed() const { return !failure_.empty(); }
    const std::string& failure() const { return failure_; }
    int64_t progress() const { return processed_; }
    int64_t total() const { return total_; }
    const IndexReport& report() const { return report_; }

    // Messages read per slice and messages per written batch.
    int sliceSize = 500;
    int batchSize = 8000;

private:
    enum class Phase { Start, Scan, Finish, Done };
    void start();
    void scan();
    void finish();
    void recount();
    // The words of a run of messages, broken out of their texts, waiting
    // for their lookup: breaking a chunk of texts first and looking its
    // words up afterwards keeps each loop's tables in the cache.
    struct Token {
        uint32_t offset, length, hash;
    };
    struct Chunk {
        std::vector<Token> tokens;
        std::string text;
        std::vector<std::pair<uint32_t, std::size_t>> messages;  // number, end of its tokens
        void clear() {
            tokens.clear();
            text.clear();
            messages.clear();
        }
    };
    static constexpr std::size_t kChunkMessages = 64;
    bool flushBatch();
    void breakMessage(uint32_t sysid, std::string_view text, Chunk& c);
    // Looks a chunk's words up and adds its messages to the batch, writing
    // batches as they fill; false (and flushError_ set) when one cannot be written.
    bool takeChunk(Chunk& c);
    // Looks the filled chunk's words up; false when the run failed.
    bool passChunk();
    // Ends the reading: the last chunk, the last batch.
    bool endReading();
    void fail(const std::string& why);
    uint32_t wordId(std::string_view w, uint32_t hash);  // w padded (WordIds::kPadding)

    Session& s_;
    IndexMode mode_;
    Phase phase_ = Phase::Start;
    std::string failure_;
    IndexReport report_;
    int64_t total_ = 0, processed_ = 0;
    int64_t textsAtStart_ = 0;             // stored texts when the run began
    bool filesOpen_ = false;

    IndexStore store_;
    WordTables tables_;
    IndexSettings settings_;
    bool skipTags_ = false;
    WordIds ids_;                          // words and stop words (kStopWord)
    std::vector<int32_t> counts_;          // by word identifier
    std::vector<int32_t> storedCount_;     // the counts as the store holds them
    std::vector<std::string> newWords_;    // not yet in the store
    std::vector<uint32_t> newOrder_;       // newWords_ in the order of their text
    uint32_t firstNewId_ = 0;
    // The open batch: the words of its messages one after the other (the
    // flush puts each message's in ascending order), where each message's
    // words end, how many of the batch's messages hold each word, and the
    // words that any of them hold.
    struct BatchMessage {
        uint32_t sysid;
        std::size_t end;
    };
    LargeVector<uint32_t> msgWords_;
    std::vector<BatchMessage> batchMsgs_;
    std::vector<uint32_t> inBatch_;        // by word identifier
    std::vector<uint32_t> touched_;
    LargeVector<uint32_t> byMessage_;      // the batch turned around at its flush
    std::vector<std::size_t> msgFill_;
    int batchMessages_ = 0;
    std::vector<uint32_t> todo_;           // Partial: the messages to read
    bool walking_ = false;                 // Partial: the text walk stands before the next one
    uint32_t lastSysid_ = 0;
    bool anyRead_ = false;
    std::vector<uint32_t> seenIn_;         // by word: the last message counted
    uint32_t messageSerial_ = 0;
    std::string flushError_;
    // The table of the words met in the message being broken.
    struct SeenSlot {
        uint32_t hash = 0, token = 0, stamp = 0;
    };
    static constexpr std::size_t kSeenSlots = 4096;
    std::vector<SeenSlot> seenSlots_ = std::vector<SeenSlot>(kSeenSlots);
    uint32_t seenStamp_ = 0;

    // The chunk being filled.
    std::unique_ptr<Chunk> filling_;
};

// WordList is a mirror of the index store's word table, with its three keys
// for the word list window and the lookups. An indexing run marks it stale;
// readers of WordList call ensureWordList first, which rewrites it when stale.
[[nodiscard]] bool mirrorWordList(Session& s, IndexStore& store);
[[nodiscard]] bool ensureWordList(Session& s);
// Stores FOR:WORDLISTINDEXNEEDSUPDATE (and its working copy) for the selected database.
[[nodiscard]] bool setIndexNeedsUpdate(Session& s, int32_t value);

// Removes a word from the index and makes it a stop word (the user deleted
// it from the word list).
[[nodiscard]] bool deleteIndexedWord(Session& s, const std::string& word);

// Upkeep steps of the purge run, in this order, for the messages it deleted.
// "Purging orphaned word indexes": drops the messages from the index and
// tallies, per word, how many of them held it; the list is emptied.
[[nodiscard]] bool purgeOrphanedWordIndexes(Session& s, std::vector<uint32_t>& deleted,
                                            std::map<uint32_t, int32_t>& tally);
// "Updating index counts per indexed word": lowers the word counts by their
// tallies; a word whose count reaches 0 or less is deleted.
[[nodiscard]] bool updateIndexCounts(Session& s, const std::map<uint32_t, int32_t>& tally);
// "Rebuilding word list": rebuilds the WordList mirror with its count key and
// clears the out-of-date flags.
[[nodiscard]] bool rebuildWordList(Session& s);

}  // namespace quill

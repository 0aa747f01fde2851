// The physical form of the word index of one database (MasIdx, IDX029.TPS in
// the word index directory): an SQLite file of posting lists, not one row per
// (message, word) link.
//
//   words(id, word, count)          the indexed words with their message counts;
//                                   WordList is a mirror of this table
//   postings(word, first, n, data)  per word, blocks of message numbers in
//                                   ascending order, delta-encoded as varints;
//                                   one block per word and indexing batch, so
//                                   MAS:BY_WORDID is a read of a few blobs
//   messages(sysid, words)          per message, its word identifiers in the
//                                   same encoding (MAS:BY_SYSID), for the
//                                   purge upkeep and the Partial mode
//   meta(name, value)               the signature of the word tables the index
//                                   was built with
//
// A row per posting costs an index entry per posting and cannot reach the
// indexing speed of a dedicated indexer; blocks built in memory per batch are
// written as one row per word and batch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quill {

// Delta-encoded varints of an ascending list of numbers.
std::string encodeIds(const std::vector<uint32_t>& ascending);
void encodeIds(const uint32_t* ascending, std::size_t n, std::string& out);
// Appends the numbers of a block to out; false when the block is damaged
// (what was decoded before the damage stays).
bool decodeIds(std::string_view blob, std::vector<uint32_t>& out);

class IndexStore {
public:
    IndexStore() = default;
    ~IndexStore();
    IndexStore(const IndexStore&) = delete;
    IndexStore& operator=(const IndexStore&) = delete;

    // Opens (creating when missing) the index file at path.
    [[nodiscard]] bool open(const std::string& path);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    const std::string& error() const { return error_; }

    [[nodiscard]] bool begin();
    [[nodiscard]] bool commit();
    void rollback();

    struct Word {
        uint32_t id = 0;
        std::string word;
        int32_t count = 0;
    };
    // Every word, by identifier.
    std::vector<Word> words();
    // The same without a copy: f(id, word, count) for each; the word is
    // valid during the call.
    template <class F>
    bool eachWord(F&& f);
    // A word by its indexed (upper-case) form; id 0 when absent.
    Word findWord(std::string_view upper);
    Word findWordId(uint32_t id);
    uint32_t maxWordId();
    int64_t wordCount();
    [[nodiscard]] bool putWord(const Word& w);     // insert or replace
    // A word that is not in the index yet (neither its identifier nor its text).
    [[nodiscard]] bool addWord(uint32_t id, std::string_view word, int32_t count);
    [[nodiscard]] bool setCount(uint32_t id, int32_t count);
    [[nodiscard]] bool deleteWord(uint32_t id);    // with its postings

    // The messages of a word in ascending order; scanned counts the entries read.
    std::vector<uint32_t> postings(uint32_t wordId);
    [[nodiscard]] bool addBlock(uint32_t wordId, const std::vector<uint32_t>& ascending) {
        return addBlock(wordId, ascending.data(), ascending.size());
    }
    [[nodiscard]] bool addBlock(uint32_t wordId, const uint32_t* ascending, std::size_t n);
    // Posting counts per word from the blocks (the Recount mode).
    std::vector<std::pair<uint32_t, int64_t>> postingCounts();

    // The words of a message (empty when the message is not indexed).
    std::vector<uint32_t> wordsOf(uint32_t sysid, bool* indexed = nullptr);
    [[nodiscard]] bool addMessage(uint32_t sysid, const std::vector<uint32_t>& ascendingWords) {
        return addMessage(sysid, ascendingWords.data(), ascendingWords.size());
    }
    [[nodiscard]] bool addMessage(uint32_t sysid, const uint32_t* ascendingWords, std::size_t n);
    [[nodiscard]] bool deleteMessage(uint32_t sysid);
    std::vector<uint32_t> indexedMessages();
    int64_t messageCount();
    // Drops the given messages from one word's blocks.
    [[nodiscard]] bool dropFromWord(uint32_t wordId, const std::vector<uint32_t>& ascendingSysids);

    [[nodiscard]] bool clear();
    // Removes the file and opens it anew, empty (cheaper than deleting every row).
    [[nodiscard]] bool recreate(const std::string& path);
    std::string meta(const std::string& name);
    [[nodiscard]] bool setMeta(const std::string& name, const std::string& value);

private:
    sqlite3_stmt* wordWalk();
    bool wordWalkRow(sqlite3_stmt* st, uint32_t& id, std::string_view& word, int32_t& count);
    bool exec(const char* sql);
    int64_t scalar(const char* sql);  // the first column of the first row, 0 when none
    sqlite3_stmt* prep(int slot, const char* sql);
    bool fail();

    sqlite3* db_ = nullptr;
    std::string error_;
    sqlite3_stmt* st_[16] = {};
    std::string blob_;  // reused by every block and word list written
};

template <class F>
bool IndexStore::eachWord(F&& f) {
    sqlite3_stmt* st = wordWalk();
    if (!st) return false;
    uint32_t id;
    std::string_view word;
    int32_t count;
    while (wordWalkRow(st, id, word, count)) f(id, word, count);
    return true;
}

}  // namespace quill

#include "search/IndexStore.h"

#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quill {

void encodeIds(const uint32_t* ids, std::size_t n, std::string& out) {
    // At most five bytes a number, written through a pointer.
    out.resize(n * 5);
    char* p = out.data();
    uint32_t prev = 0;
    for (std::size_t i = 0; i < n; ++i) {
        uint32_t d = ids[i] - prev;
        prev = ids[i];
        while (d >= 0x80) {
            *p++ = char(0x80 | (d & 0x7F));
            d >>= 7;
        }
        *p++ = char(d);
    }
    out.resize(std::size_t(p - out.data()));
}

std::string encodeIds(const std::vector<uint32_t>& ids) {
    std::string out;
    encodeIds(ids.data(), ids.size(), out);
    return out;
}

bool decodeIds(std::string_view blob, std::vector<uint32_t>& out) {
    uint32_t prev = 0;
    std::size_t i = 0;
    while (i < blob.size()) {
        uint32_t d = 0;
        int shift = 0;
        for (;;) {
            if (i >= blob.size() || shift > 28) return false;
            auto b = static_cast<unsigned char>(blob[i++]);
            d |= uint32_t(b & 0x7F) << shift;
            if (!(b & 0x80)) break;
            shift += 7;
        }
        prev += d;
        out.push_back(prev);
    }
    return true;
}

namespace {

enum Slot {
    SFindWord, SFindWordId, SPutWord, SDelWord, SDelWordPostings, SPostings, SAddBlock, SWordsOf, SAddMessage,
    SDelMessage, SDelWordBlocks, SMeta, SSetMeta, SSetCount, SWordWalk, SAddWord, SSlots
};

}  // namespace

IndexStore::~IndexStore() { close(); }

bool IndexStore::fail() {
    error_ = db_ ? sqlite3_errmsg(db_) : "index file not open";
    return false;
}

bool IndexStore::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    return true;
}

sqlite3_stmt* IndexStore::prep(int slot, const char* sql) {
    sqlite3_stmt*& st = st_[slot];
    if (!st && sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
        fail();
        st = nullptr;
        return nullptr;
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return st;
}

bool IndexStore::open(const std::string& path) {
    close();
    // One thread at a time uses a connection (an indexing run hands it to
    // its second thread and back): it needs no mutex of its own.
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        fail();
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // The index is derived data that a Full run rebuilds: write-ahead logging
    // keeps each batch atomic without a sync per commit.
    bool ok = exec("PRAGMA cache_size=-32768") && exec("PRAGMA journal_mode=WAL") &&
              exec("PRAGMA synchronous=NORMAL") &&
              exec("CREATE TABLE IF NOT EXISTS words(id INTEGER PRIMARY KEY, word TEXT NOT NULL UNIQUE, "
                   "count INTEGER NOT NULL)") &&
              exec("CREATE TABLE IF NOT EXISTS postings(word INTEGER NOT NULL, first INTEGER NOT NULL, "
                   "n INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(word, first)) WITHOUT ROWID") &&
              exec("CREATE TABLE IF NOT EXISTS messages(sysid INTEGER PRIMARY KEY, words BLOB NOT NULL)") &&
              exec("CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT)");
    if (!ok) {
        std::string e = error_;
        close();
        error_ = e;
    }
    return ok;
}

void IndexStore::close() {
    for (auto& st : st_) {
        if (st) sqlite3_finalize(st);
        st = nullptr;
    }
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

bool IndexStore::begin() { return exec("BEGIN IMMEDIATE"); }
bool IndexStore::commit() { return exec("COMMIT"); }
void IndexStore::rollback() {
    if (db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::vector<IndexStore::Word> IndexStore::words() {
    std::vector<Word> v;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT id, word, count FROM words ORDER BY id", -1, &st, nullptr) != SQLITE_OK) {
        fail();
        return v;
    }
    while (sqlite3_step(st) == SQLITE_ROW)
        v.push_back({uint32_t(sqlite3_column_int64(st, 0)),
                     std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                                 std::size_t(sqlite3_column_bytes(st, 1))),
                     int32_t(sqlite3_column_int64(st, 2))});
    sqlite3_finalize(st);
    return v;
}

sqlite3_stmt* IndexStore::wordWalk() { return prep(SWordWalk, "SELECT id, word, count FROM words ORDER BY id"); }

bool IndexStore::wordWalkRow(sqlite3_stmt* st, uint32_t& id, std::string_view& word, int32_t& count) {
    if (sqlite3_step(st) != SQLITE_ROW) {
        sqlite3_reset(st);
        return false;
    }
    id = uint32_t(sqlite3_column_int64(st, 0));
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    word = std::string_view(t ? t : "", std::size_t(sqlite3_column_bytes(st, 1)));
    count = int32_t(sqlite3_column_int64(st, 2));
    return true;
}

IndexStore::Word IndexStore::findWord(std::string_view upper) {
    Word w;
    sqlite3_stmt* st = prep(SFindWord, "SELECT id, count FROM words WHERE word = ?");
    if (!st) return w;
    sqlite3_bind_text(st, 1, upper.data(), int(upper.size()), SQLITE_STATIC);
    if (sqlite3_step(st) == SQLITE_ROW) {
        w.id = uint32_t(sqlite3_column_int64(st, 0));
        w.word = std::string(upper);
        w.count = int32_t(sqlite3_column_int64(st, 1));
    }
    sqlite3_reset(st);
    return w;
}

IndexStore::Word IndexStore::findWordId(uint32_t id) {
    Word w;
    sqlite3_stmt* st = prep(SFindWordId, "SELECT word, count FROM words WHERE id = ?");
    if (!st) return w;
    sqlite3_bind_int64(st, 1, id);
    if (sqlite3_step(st) == SQLITE_ROW) {
        w.id = id;
        w.word.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), std::size_t(sqlite3_column_bytes(st, 0)));
        w.count = int32_t(sqlite3_column_int64(st, 1));
    }
    sqlite3_reset(st);
    return w;
}

uint32_t IndexStore::maxWordId() {
    sqlite3_stmt* st = nullptr;
    uint32_t m = 0;
    if (sqlite3_prepare_v2(db_, "SELECT max(id) FROM words", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        m = uint32_t(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    return m;
}

bool IndexStore::addWord(uint32_t id, std::string_view word, int32_t count) {
    sqlite3_stmt* st = prep(SAddWord, "INSERT INTO words(id, word, count) VALUES(?, ?, ?)");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_text(st, 2, word.data(), int(word.size()), SQLITE_STATIC);
    sqlite3_bind_int64(st, 3, count);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

int64_t IndexStore::scalar(const char* sql) {
    sqlite3_stmt* st = nullptr;
    int64_t n = 0;
    if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

int64_t IndexStore::wordCount() { return scalar("SELECT count(*) FROM words"); }

bool IndexStore::putWord(const Word& w) {
    sqlite3_stmt* st = prep(SPutWord, "INSERT OR REPLACE INTO words(id, word, count) VALUES(?, ?, ?)");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, w.id);
    sqlite3_bind_text(st, 2, w.word.data(), int(w.word.size()), SQLITE_STATIC);
    sqlite3_bind_int64(st, 3, w.count);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

bool IndexStore::setCount(uint32_t id, int32_t count) {
    // An update in place: the word's key entry stays where it is.
    sqlite3_stmt* st = prep(SSetCount, "UPDATE words SET count = ? WHERE id = ?");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, count);
    sqlite3_bind_int64(st, 2, id);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

bool IndexStore::deleteWord(uint32_t id) {
    sqlite3_stmt* st = prep(SDelWord, "DELETE FROM words WHERE id = ?");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, id);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return fail();
    st = prep(SDelWordPostings, "DELETE FROM postings WHERE word = ?");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, id);
    rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

std::vector<uint32_t> IndexStore::postings(uint32_t wordId) {
    std::vector<uint32_t> v;
    sqlite3_stmt* st = prep(SPostings, "SELECT data FROM postings WHERE word = ? ORDER BY first");
    if (!st) return v;
    sqlite3_bind_int64(st, 1, wordId);
    bool sorted = true;
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::size_t before = v.size();
        auto* p = static_cast<const char*>(sqlite3_column_blob(st, 0));
        (void)decodeIds(std::string_view(p ? p : "", std::size_t(sqlite3_column_bytes(st, 0))), v);
        if (before > 0 && v.size() > before && v[before] <= v[before - 1]) sorted = false;
    }
    sqlite3_reset(st);
    // Blocks of different batches may interleave (a Partial run over messages
    // numbered below earlier ones).
    if (!sorted) {
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
    }
    return v;
}

bool IndexStore::addBlock(uint32_t wordId, const uint32_t* ids, std::size_t n) {
    if (n == 0) return true;
    sqlite3_stmt* st = prep(SAddBlock, "INSERT OR REPLACE INTO postings(word, first, n, data) VALUES(?, ?, ?, ?)");
    if (!st) return false;
    encodeIds(ids, n, blob_);
    sqlite3_bind_int64(st, 1, wordId);
    sqlite3_bind_int64(st, 2, ids[0]);
    sqlite3_bind_int64(st, 3, int64_t(n));
    sqlite3_bind_blob(st, 4, blob_.data(), int(blob_.size()), SQLITE_STATIC);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

std::vector<std::pair<uint32_t, int64_t>> IndexStore::postingCounts() {
    std::vector<std::pair<uint32_t, int64_t>> v;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT word, sum(n) FROM postings GROUP BY word", -1, &st, nullptr) != SQLITE_OK) {
        fail();
        return v;
    }
    while (sqlite3_step(st) == SQLITE_ROW) v.emplace_back(uint32_t(sqlite3_column_int64(st, 0)), sqlite3_column_int64(st, 1));
    sqlite3_finalize(st);
    return v;
}

std::vector<uint32_t> IndexStore::wordsOf(uint32_t sysid, bool* indexed) {
    std::vector<uint32_t> v;
    if (indexed) *indexed = false;
    sqlite3_stmt* st = prep(SWordsOf, "SELECT words FROM messages WHERE sysid = ?");
    if (!st) return v;
    sqlite3_bind_int64(st, 1, sysid);
    if (sqlite3_step(st) == SQLITE_ROW) {
        if (indexed) *indexed = true;
        auto* p = static_cast<const char*>(sqlite3_column_blob(st, 0));
        (void)decodeIds(std::string_view(p ? p : "", std::size_t(sqlite3_column_bytes(st, 0))), v);
    }
    sqlite3_reset(st);
    return v;
}

bool IndexStore::addMessage(uint32_t sysid, const uint32_t* words, std::size_t n) {
    sqlite3_stmt* st = prep(SAddMessage, "INSERT OR REPLACE INTO messages(sysid, words) VALUES(?, ?)");
    if (!st) return false;
    encodeIds(words, n, blob_);
    sqlite3_bind_int64(st, 1, sysid);
    sqlite3_bind_blob(st, 2, blob_.data(), int(blob_.size()), SQLITE_STATIC);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

bool IndexStore::deleteMessage(uint32_t sysid) {
    sqlite3_stmt* st = prep(SDelMessage, "DELETE FROM messages WHERE sysid = ?");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, sysid);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

std::vector<uint32_t> IndexStore::indexedMessages() {
    std::vector<uint32_t> v;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT sysid FROM messages ORDER BY sysid", -1, &st, nullptr) != SQLITE_OK) {
        fail();
        return v;
    }
    while (sqlite3_step(st) == SQLITE_ROW) v.push_back(uint32_t(sqlite3_column_int64(st, 0)));
    sqlite3_finalize(st);
    return v;
}

int64_t IndexStore::messageCount() { return scalar("SELECT count(*) FROM messages"); }

bool IndexStore::dropFromWord(uint32_t wordId, const std::vector<uint32_t>& drop) {
    std::vector<uint32_t> keep = postings(wordId), left;
    left.reserve(keep.size());
    std::set_difference(keep.begin(), keep.end(), drop.begin(), drop.end(), std::back_inserter(left));
    if (left.size() == keep.size()) return true;
    sqlite3_stmt* st = prep(SDelWordBlocks, "DELETE FROM postings WHERE word = ?");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, wordId);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return fail();
    return addBlock(wordId, left);
}

bool IndexStore::clear() { return exec("DELETE FROM postings; DELETE FROM messages; DELETE FROM words;"); }

bool IndexStore::recreate(const std::string& path) {
    close();
    for (const char* tail : {"", "-wal", "-shm", "-journal"}) {
        std::string f = path + tail;
        if (::unlink(f.c_str()) != 0 && errno != ENOENT) {
            error_ = "cannot remove " + f + ": " + std::strerror(errno);
            return false;
        }
    }
    return open(path);
}

std::string IndexStore::meta(const std::string& name) {
    std::string v;
    sqlite3_stmt* st = prep(SMeta, "SELECT value FROM meta WHERE name = ?");
    if (!st) return v;
    sqlite3_bind_text(st, 1, name.data(), int(name.size()), SQLITE_STATIC);
    if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
        v.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), std::size_t(sqlite3_column_bytes(st, 0)));
    sqlite3_reset(st);
    return v;
}

bool IndexStore::setMeta(const std::string& name, const std::string& value) {
    sqlite3_stmt* st = prep(SSetMeta, "INSERT OR REPLACE INTO meta(name, value) VALUES(?, ?)");
    if (!st) return false;
    sqlite3_bind_text(st, 1, name.data(), int(name.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 2, value.data(), int(value.size()), SQLITE_STATIC);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail();
}

}  // namespace quill

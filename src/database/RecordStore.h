// The keyed record store. Every record file is one SQLite database file at
// its physical name, holding one table of record images; each key is an
// index over a column that SQLite computes from the image (qkey), so a
// record is stored once and its key values live only in their indexes. Several
// files written together are ATTACHed to one connection for the transaction,
// so that its commit is atomic across all of them (rollback-journal mode with
// a super-journal). Record holds and whole-file locks are Linux open-file-
// description locks on a lock file beside the data file: other processes see
// them, and they vanish when the process that took them dies.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/Schema.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quill {

// Error conditions of the store, with the numbers the user is shown.
enum ErrorCode : int {
    NoError = 0,
    FileNotFoundErr = 2,
    PathNotFoundErr = 3,
    AccessDeniedErr = 5,
    NoMemoryErr = 8,
    EntryNotFoundErr = 30,
    IsLockedErr = 32,
    RecordNotAvailErr = 33,
    RecordNotFoundErr = 35,
    FileNotOpenErr = 37,
    DupKeyErr = 40,
    IsHeldErr = 43,
    BadNameErr = 45,
    RebuildKeyErr = 46,
    BadRecErr = 47,
    IsOpenErr = 52,
    TransactionActiveErr = 56,
    InvalidFieldTypeErr = 75,
    FileSystemErr = 90,
};

// The number of records a stored file holds: 0 also for an empty file or a
// database without tables, -1 when that cannot be known (damaged, locked,
// not a record file).
int64_t storedRecordCount(const std::string& path);

// Whether some program (this one included) has the record file open.
bool fileOpenByAnyone(const std::string& path);

// SQLite's integrity check of a stored file, run with the key function its
// indexes use registered (the stock sqlite3 tool lacks it). The problems
// found, empty when the file is sound. With reindex set, the keys are
// rebuilt first (REINDEX: a unique key that its records break fails, it
// never drops a record).
std::vector<std::string> integrityCheck(const std::string& path, bool reindex = false);

// The store's own text for a condition ("Record Not Found" ...).
std::string errorTextFor(int code);

// Result of a store operation: 0 or an error condition. The store also keeps
// the condition and its texts of the last operation (Store::errorCode ...).
class [[nodiscard]] Status {
public:
    Status(int code = 0) : code_(code) {}
    bool ok() const { return code_ == 0; }
    int code() const { return code_; }
    explicit operator bool() const { return code_ == 0; }

private:
    int code_;
};

enum class OpenMode { Shared, ReadOnly, Exclusive };

// A place in a file (and, when taken on a key, in that key's order).
struct Position {
    int64_t id = 0;
    int key = -1;
    std::string keyValue;
    bool operator==(const Position&) const = default;
};

class Store;
struct Conn;

class RecordFile {
public:
    RecordFile(Store& store, int fileNumber, unsigned char* buffer);
    virtual ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    const FileDesc& desc() const { return *desc_; }
    int number() const { return desc_->number; }
    unsigned char* buffer() { return buf_; }
    const unsigned char* buffer() const { return buf_; }
    std::size_t recordSize() const { return desc_->recordSize; }
    Store& store() { return store_; }

    // The memo of the record in the buffer (files with a memo).
    std::string memo;

    void setName(std::string path) { name_ = std::move(path); }
    const std::string& name() const { return name_; }
    bool isOpen() const { return own_ != nullptr; }
    OpenMode mode() const { return mode_; }

    Status open(OpenMode mode = OpenMode::Shared);
    Status create();
    Status close();
    Status remove();

    // Reads.
    Status get(int key);                  // by the key fields in the buffer
    Status getByNumber(int64_t recordNumber);
    Status reget(const Position& pos);
    void set(int key);                    // traverse a key from its start (next) or end (previous)
    void setFrom(int key);                // from the key fields in the buffer
    void setPhysical();                   // in physical order
    void reset(const Position& pos);      // next/previous read the record at pos first
    Status next();
    Status previous();

    // Writes.
    Status add();
    Status append();
    // Adds count records at once: fill(i) puts record i into the buffer.
    // The rows go in 64 to a statement and the positions are drawn once, so
    // a large batch (a result set) costs little more than its rows' keys.
    // All rows or none: a failure undoes the rows this call added. Inside the
    // store's transaction they belong to it; outside, to one of their own.
    Status addMany(std::size_t count, const std::function<void(std::size_t)>& fill);
    Status put();
    Status del();
    bool duplicate(int key = -1);         // would the buffer break a unique key (or the given one)?

    // Holds, locks, bulk mode.
    void hold(int waitSeconds);           // the next read holds the record it reads
    void release();
    bool isHeld() const { return held_ != 0; }
    Status lock(int waitSeconds);
    void unlock();
    Status stream();
    Status flush();
    // A short transaction of this file alone, on its own connection, for a
    // read-modify-write that must not interleave with another program's
    // (the file must not be part of the store's transaction).
    Status beginAlone(int waitSeconds);
    Status endAlone(bool commit);

    // A read scope: the reads of this file until endRead share one read
    // transaction, so a batch of gets takes the file's lock and checks its
    // journal and data version once instead of once per get. Another
    // program's commit to the file waits while it lasts: keep it to one
    // batch of reads, with no write of this process in between. Nothing
    // happens when the file is written in a transaction or batch just now.
    void beginRead();
    void endRead();

    // Whole-file operations.
    int64_t records();
    Status empty();
    Status pack();
    Status build();
    Status buildKey(int key);

    Position position(int key = -1) const;
    int64_t pointer() const { return current_; }

    // Strings blank, numbers zero, memo empty.
    void clearBuffer();
    // The encoded value of a key for the record in the buffer.
    std::string keyValue(int key) const;

private:
    friend class Store;
    enum class Cursor { None, Start, FromValue, After, At };

    std::string table() const;
    Status fail(int code, const std::string& fileText = {});
    Status sqlFail(int rc);
    Status openConnection();
    Status checkStored();
    Status readRow(sqlite3_stmt* st, int keyColumn);
    struct Row {
        int64_t id;
        std::string data, memo, key;
    };
    Status applyRow(Row& row);
    int collect(sqlite3_stmt* st, int limit);
    Status step(bool forward);
    // Rows fetched and never used mean the walk is short (or writes
    // interleave with it): the next fetch starts small again.
    void dropAhead() {
        if (aheadPos_ < ahead_.size()) aheadNext_ = 1;
        ahead_.clear();
        aheadPos_ = 0;
    }
    Status readFail(int rc);
    Status holdThenRead(int64_t id);
    Status keepLastId(int64_t id);
    Status takeHold(int64_t id);
    bool keyIsAllBlank(int key) const;
    Status writeRow(bool insert);
    Status endBatch();
    void reloadKeysValid();
    Status dropIndexes();
    Status createIndex(int key);
    Conn& conn() { return *active_; }

    Store& store_;
    const FileDesc* desc_;
    unsigned char* buf_;
    std::string name_;
    OpenMode mode_ = OpenMode::Shared;
    std::unique_ptr<Conn> own_;
    Conn* active_ = nullptr;
    std::string schema_ = "main";
    int lockFd_ = -1;

    Cursor cursor_ = Cursor::None;
    int curKey_ = -1;          // -1 = physical order
    std::string curValue_;
    int64_t curId_ = 0;

    // Rows read ahead by a traversal; dropped by every write, set and hold
    // of this file so the walk re-seeks from its last key.
    std::vector<Row> ahead_;
    std::size_t aheadPos_ = 0;
    // Rows the next fetch reads: one after a set, doubling while the walk
    // uses up what it fetched, so a lookup that reads a record or two never
    // pays for a batch.
    int aheadNext_ = 1;
    int lastReadRc_ = 0;
    bool aheadForward_ = true;
    int64_t current_ = 0;      // record last read or written
    int holdWait_ = -1;        // >= 0: the next read holds
    int64_t held_ = 0;
    bool fileLocked_ = false;
    bool batch_ = false;       // an own-connection transaction of stream/append is open
    bool streaming_ = false;
    bool keysValid_ = true;
    bool reading_ = false;     // a read scope is open on the own connection
};

// Opens a read scope on each file for as long as it lives.
class ReadScope {
public:
    explicit ReadScope(std::initializer_list<RecordFile*> files) : ReadScope(std::vector<RecordFile*>(files)) {}
    explicit ReadScope(std::vector<RecordFile*> files);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

private:
    std::vector<RecordFile*> files_;
};

template <class R>
class TypedFile : public RecordFile {
public:
    explicit TypedFile(Store& store, int fileNumber)
        : RecordFile(store, fileNumber, reinterpret_cast<unsigned char*>(&rec)) {}
    R rec{};
};

class Store {
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    int errorCode() const { return error_; }
    std::string errorText() const;
    const std::string& fileErrorText() const { return fileError_; }
    void setError(int code, std::string fileText = {});

    // Called when a read meets a file that is damaged or stays locked
    // beyond its wait: a read never ends short as if the file ended there.
    // The program's session stops the program with the file's name; without
    // a handler the read just fails.
    std::function<void(const std::string& fileName, int code, const std::string& text)> onReadFault;

    // A transaction over the given open files: every write to them until
    // commit or rollback belongs to it, and its commit is atomic across all.
    Status beginTransaction(int waitSeconds, const std::vector<RecordFile*>& files);
    Status commit();
    Status rollback();
    bool inTransaction() const { return txn_ != nullptr; }
    bool inTransaction(const RecordFile& f) const;
    // A savepoint inside the open transaction: rollbackToSavepoint undoes
    // the writes made since, leaving the rest of the transaction open;
    // releaseSavepoint keeps them as part of the transaction. Long runs use
    // one per message, so that a message that cannot be stored does not
    // take its batch with it.
    Status savepoint();
    Status rollbackToSavepoint();
    Status releaseSavepoint();

    // Forgets the connection kept from the last transaction when it holds
    // this file (the file is being closed, emptied or removed).
    void forget(const std::string& fileName);

private:
    friend class RecordFile;
    void detachFiles();

    int error_ = 0;
    std::string fileError_;
    std::unique_ptr<Conn> txn_;
    std::vector<RecordFile*> txnFiles_;
    // The connection of the last transaction, kept with its page cache for
    // the next transaction over the same files (a long run commits every
    // few hundred records over the same set).
    std::unique_ptr<Conn> kept_;
    std::vector<std::string> keptNames_;
};

}  // namespace quill

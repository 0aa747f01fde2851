#include "database/RecordStore.h"

#include "database/Types.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace quill {

// ---------------------------------------------------------------------------
// Connections and their prepared statements.

struct Conn {
    sqlite3* db = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*> stmts;

    ~Conn() {
        for (auto& [sql, st] : stmts) sqlite3_finalize(st);
        if (db) sqlite3_close_v2(db);
    }
    // A cached statement, reset and unbound; nullptr when it cannot be prepared.
    sqlite3_stmt* prepare(const std::string& sql) {
        auto it = stmts.find(sql);
        if (it != stmts.end()) return it->second;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v3(db, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
            SQLITE_OK)
            return nullptr;
        stmts.emplace(sql, st);
        return st;
    }
    int exec(const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }
    // Statements must not outlive a schema change of ATTACH/DETACH.
    void dropStatements() {
        for (auto& [sql, st] : stmts) sqlite3_finalize(st);
        stmts.clear();
    }
};

namespace {

// Resets a statement when it leaves scope, so that no read lock lingers.
struct Reset {
    sqlite3_stmt* st;
    ~Reset() {
        if (st) {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
        }
    }
};

constexpr off_t kFileLockByte = 0;
constexpr off_t kOpenLockByte = 1;
constexpr off_t kRecordLockBase = 1024;

bool ofdLock(int fd, short type, off_t start, int waitSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds > 0 ? waitSeconds : 0);
    for (;;) {
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = start;
        fl.l_len = 1;
        if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void ofdUnlock(int fd, off_t start) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = 1;
    fcntl(fd, F_OFD_SETLK, &fl);
}

std::string dirOf(const std::string& path) {
    auto p = path.find_last_of('/');
    if (p == std::string::npos) return ".";
    if (p == 0) return "/";
    return path.substr(0, p);
}

bool isDir(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int removeIfThere(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return 0;
    return errno;
}

}  // namespace

std::string errorTextFor(int code) {
    switch (code) {
        case NoError: return "";
        case FileNotFoundErr: return "File Not Found";
        case PathNotFoundErr: return "Path Not Found";
        case AccessDeniedErr: return "Access Denied";
        case NoMemoryErr: return "Insufficient Memory";
        case EntryNotFoundErr: return "Entry Not Found";
        case IsLockedErr: return "File Is Already Locked";
        case RecordNotAvailErr: return "Record Not Available";
        case RecordNotFoundErr: return "Record Not Found";
        case FileNotOpenErr: return "File Not Open";
        case DupKeyErr: return "Creates Duplicate Key";
        case IsHeldErr: return "Record Is Already Held";
        case BadNameErr: return "Invalid Filename";
        case RebuildKeyErr: return "Keys Need Rebuilding";
        case BadRecErr: return "Invalid Record Declaration";
        case IsOpenErr: return "File Already Open";
        case TransactionActiveErr: return "Transaction Already Active";
        case InvalidFieldTypeErr: return "Invalid Field Type Descriptor";
        case FileSystemErr: return "File System Error";
        default: return "Error " + std::to_string(code);
    }
}

namespace {

bool keyAllBlank(const FileDesc& d, int key, const unsigned char* rec) {
    for (auto& c : d.keys[std::size_t(key)].components) {
        const FieldDesc& f = d.fields[std::size_t(c.field)];
        const unsigned char* p = rec + f.offset;
        std::size_t n = std::size_t(f.elemSize) * f.dim;
        for (std::size_t i = 0; i < n; ++i) {
            if (f.type == FieldType::String ? (p[i] != ' ' && p[i] != 0) : p[i] != 0) return false;
        }
    }
    return true;
}

// Keys are byte strings whose plain byte order is the key's order: numbers
// big-endian (signed ones with the sign bit flipped), strings at their full
// fixed width (so trailing blanks never count) and upper-cased for a nocase
// key, every byte inverted for a descending component. Every stored record
// computes its keys on each write, so this is written for speed: one
// allocation, a table for the case folding.
struct FoldTables {
    unsigned char keep[256];
    unsigned char upper[256];
    FoldTables() {
        for (int i = 0; i < 256; ++i) {
            auto ch = static_cast<unsigned char>(i);
            keep[i] = ch == 0 ? ' ' : ch;
            upper[i] = upper1252(keep[i]);
        }
    }
};
const FoldTables kFold;

std::size_t keySize(const FileDesc& d, const KeyDesc& k) {
    std::size_t n = 0;
    for (auto& c : k.components) {
        const FieldDesc& f = d.fields[std::size_t(c.field)];
        n += std::size_t(f.elemSize) * f.dim;
    }
    return n;
}

void encodeKeyInto(const FileDesc& d, int key, const unsigned char* rec, std::string& out) {
    const KeyDesc& k = d.keys[std::size_t(key)];
    out.resize(keySize(d, k));
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    for (auto& c : k.components) {
        const FieldDesc& f = d.fields[std::size_t(c.field)];
        const unsigned char* p = rec + f.offset;
        unsigned char* start = o;
        for (uint32_t e = 0; e < f.dim; ++e, p += f.elemSize) {
            switch (f.type) {
                case FieldType::ULong:
                    o[0] = p[3]; o[1] = p[2]; o[2] = p[1]; o[3] = p[0];
                    o += 4;
                    break;
                case FieldType::Long:
                    o[0] = p[3] ^ 0x80; o[1] = p[2]; o[2] = p[1]; o[3] = p[0];
                    o += 4;
                    break;
                case FieldType::String: {
                    const unsigned char* table = k.nocase ? kFold.upper : kFold.keep;
                    for (uint32_t i = 0; i < f.elemSize; ++i) o[i] = table[p[i]];
                    o += f.elemSize;
                    break;
                }
                default:
                    std::memcpy(o, p, f.elemSize);
                    o += f.elemSize;
                    break;
            }
        }
        if (c.descending)
            for (unsigned char* q = start; q < o; ++q) *q = static_cast<unsigned char>(~*q);
    }
}

std::string encodeKey(const FileDesc& d, int key, const unsigned char* rec) {
    std::string out;
    encodeKeyInto(d, key, rec, out);
    return out;
}

// qkey(data, file number, key): the key columns of a stored record are
// computed from its image by this function, so a record is stored once and
// its keys live only in their indexes. NULL leaves a record out of an opt key.
void qkeyFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const FileDesc* d = fileDesc(sqlite3_value_int(argv[1]));
    int key = sqlite3_value_int(argv[2]);
    const auto* rec = static_cast<const unsigned char*>(sqlite3_value_blob(argv[0]));
    if (!d || !rec || key < 0 || key >= int(d->keys.size()) ||
        sqlite3_value_bytes(argv[0]) != int(d->recordSize)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (d->keys[std::size_t(key)].opt && keyAllBlank(*d, key, rec)) {
        sqlite3_result_null(ctx);
        return;
    }
    thread_local std::string v;
    encodeKeyInto(*d, key, rec, v);
    sqlite3_result_blob(ctx, v.data(), int(v.size()), SQLITE_TRANSIENT);
}

void registerKeyFunction(sqlite3* db) {
    sqlite3_create_function(db, "qkey", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                            qkeyFunction, nullptr, nullptr);
}

// The three staging files of an import run (temporary directory, one set
// per process).
bool isStagingFile(const FileDesc& d) {
    return d.rule == NameRule::Temporary && (d.label == "NewHR" || d.label == "TempCC" || d.label == "TempID");
}

// Bumped whenever the stored form changes, so a file of an older form is
// refused as a file of another layout.
constexpr const char* kStorageForm = "rec2";

}  // namespace

bool fileOpenByAnyone(const std::string& path) {
    int fd = ::open((path + ".lck").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool free = ofdLock(fd, F_WRLCK, kOpenLockByte, 0);
    if (free) ofdUnlock(fd, kOpenLockByte);
    ::close(fd);
    return !free;
}

std::vector<std::string> integrityCheck(const std::string& path, bool reindex) {
    std::vector<std::string> problems;
    sqlite3* db = nullptr;
    int flags = reindex ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        problems.push_back(db ? sqlite3_errmsg(db) : "cannot open");
        sqlite3_close_v2(db);
        return problems;
    }
    registerKeyFunction(db);
    sqlite3_busy_timeout(db, 5000);
    if (reindex) {
        char* err = nullptr;
        if (sqlite3_exec(db, "REINDEX", nullptr, nullptr, &err) != SQLITE_OK)
            problems.push_back(std::string("keys cannot be rebuilt: ") + (err ? err : sqlite3_errmsg(db)));
        sqlite3_free(err);
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check(20)", -1, &st, nullptr) != SQLITE_OK) {
        problems.push_back(sqlite3_errmsg(db));
    } else {
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const unsigned char* v = sqlite3_column_text(st, 0);
            std::string line = v ? reinterpret_cast<const char*>(v) : "";
            if (line != "ok") problems.push_back(line);
        }
        if (rc != SQLITE_DONE) problems.push_back(sqlite3_errmsg(db));
    }
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    return problems;
}

int64_t storedRecordCount(const std::string& path) {
    struct stat sb {};
    if (::stat(path.c_str(), &sb) != 0) return -1;
    if (sb.st_size == 0) return 0;
    sqlite3* db = nullptr;
    int64_t count = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        registerKeyFunction(db);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* st = nullptr;
        // A database without any table holds nothing; one with our record
        // table holds its rows; anything else is not known to be empty.
        if (sqlite3_prepare_v2(db, "SELECT count(*), sum(name = 'rec') FROM sqlite_master WHERE type = 'table'", -1,
                               &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            int64_t tables = sqlite3_column_int64(st, 0);
            int64_t hasRec = sqlite3_column_int64(st, 1);
            if (tables == 0) count = 0;
            else if (hasRec) count = -2;
        }
        sqlite3_finalize(st);
        if (count == -2) {
            count = -1;
            if (sqlite3_prepare_v2(db, "SELECT count(*) FROM rec", -1, &st, nullptr) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW)
                count = sqlite3_column_int64(st, 0);
            sqlite3_finalize(st);
        }
    }
    sqlite3_close_v2(db);
    return count;
}

// ---------------------------------------------------------------------------
// Store

Store::Store() = default;
Store::~Store() {
    if (txn_) {
        txn_->exec("ROLLBACK");
        detachFiles();
    }
}

std::string Store::errorText() const {
    if (error_ == FileSystemErr && !fileError_.empty()) return fileError_;
    return errorTextFor(error_);
}

void Store::setError(int code, std::string fileText) {
    error_ = code;
    fileError_ = std::move(fileText);
}

bool Store::inTransaction(const RecordFile& f) const {
    for (auto* t : txnFiles_)
        if (t == &f) return true;
    return false;
}

void Store::detachFiles() {
    keptNames_.clear();
    for (auto* f : txnFiles_) {
        f->dropAhead();
        f->active_ = f->own_.get();
        f->schema_ = "main";
        keptNames_.push_back(f->name());
    }
    txnFiles_.clear();
    kept_ = std::move(txn_);
}

void Store::forget(const std::string& fileName) {
    for (auto& n : keptNames_) {
        if (n == fileName) {
            kept_.reset();
            keptNames_.clear();
            return;
        }
    }
}

namespace {
// The page cache a file gets in a transaction: enough for the keys of a
// header file to stay in memory, less for a text file, whose new pages are
// written once and seldom read again. The caches bound the memory of a long
// run whatever its size.
std::string cacheSizePragma(const std::string& schema, const RecordFile& f) {
    return "PRAGMA " + schema + ".cache_size=" + (f.desc().memoMax ? "-8192" : "-32768");
}
}  // namespace

Status Store::beginTransaction(int waitSeconds, const std::vector<RecordFile*>& files) {
    if (txn_) {
        setError(TransactionActiveErr);
        return TransactionActiveErr;
    }
    std::vector<RecordFile*> list;
    for (auto* f : files) {
        bool seen = false;
        for (auto* g : list) seen = seen || g == f;
        if (!seen) list.push_back(f);
    }
    if (list.empty()) {
        setError(NoError);
        return NoError;
    }
    // One main database plus at most ten attached ones per connection.
    if (list.size() > 11) {
        setError(FileSystemErr, "Too many files in one transaction");
        return FileSystemErr;
    }
    for (auto* f : list) {
        if (!f->isOpen()) {
            setError(FileNotOpenErr);
            return FileNotOpenErr;
        }
        Status s = f->endBatch();
        if (!s) return s;
    }
    std::vector<std::string> names;
    for (auto* f : list) names.push_back(f->name());
    std::unique_ptr<Conn> c;
    if (kept_ && names == keptNames_) {
        c = std::move(kept_);
    } else {
        kept_.reset();
        c = std::make_unique<Conn>();
        if (sqlite3_open_v2(list[0]->name().c_str(), &c->db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            setError(FileSystemErr, c->db ? sqlite3_errmsg(c->db) : "cannot open");
            return FileSystemErr;
        }
        registerKeyFunction(c->db);
        // The statement and savepoint journals of a transaction stay in
        // memory: they hold the pages one message changed, and are emptied
        // when its savepoint is released.
        c->exec("PRAGMA temp_store=MEMORY");
        c->exec(cacheSizePragma("main", *list[0]));
    }
    keptNames_.clear();
    sqlite3_busy_timeout(c->db, (waitSeconds > 0 ? waitSeconds : 0) * 1000 + 100);
    for (std::size_t i = 1; i < list.size() && !sqlite3_db_filename(c->db, ("aux" + std::to_string(i)).c_str()); ++i) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(c->db, "ATTACH DATABASE ?1 AS ?2", -1, &st, nullptr);
        std::string alias = "aux" + std::to_string(i);
        sqlite3_bind_text(st, 1, list[i]->name().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, alias.c_str(), -1, SQLITE_TRANSIENT);
        int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            setError(FileSystemErr, sqlite3_errmsg(c->db));
            return FileSystemErr;
        }
        c->exec(cacheSizePragma("aux" + std::to_string(i), *list[i]));
    }
    int rc = c->exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        int code = (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) ? IsLockedErr : FileSystemErr;
        setError(code, sqlite3_errmsg(c->db));
        return code;
    }
    txn_ = std::move(c);
    txnFiles_ = list;
    for (std::size_t i = 0; i < list.size(); ++i) {
        list[i]->active_ = txn_.get();
        list[i]->schema_ = i == 0 ? "main" : "aux" + std::to_string(i);
    }
    setError(NoError);
    return NoError;
}

Status Store::commit() {
    if (!txn_) {
        setError(NoError);
        return NoError;
    }
    int rc = txn_->exec("COMMIT");
    if (rc != SQLITE_OK) {
        std::string msg = sqlite3_errmsg(txn_->db);
        txn_->exec("ROLLBACK");
        detachFiles();
        setError(FileSystemErr, msg);
        return FileSystemErr;
    }
    detachFiles();
    setError(NoError);
    return NoError;
}

Status Store::rollback() {
    if (txn_) {
        txn_->exec("ROLLBACK");
        // An append inside the transaction may have dropped the keys; the
        // rollback brought them back.
        for (auto* f : txnFiles_) f->reloadKeysValid();
        detachFiles();
    }
    setError(NoError);
    return NoError;
}

namespace {
// One of the savepoint statements, prepared once per connection.
int runCached(Conn& c, const char* sql) {
    sqlite3_stmt* st = c.prepare(sql);
    if (!st) return sqlite3_errcode(c.db);
    Reset r{st};
    int rc = sqlite3_step(st);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}
}  // namespace

Status Store::savepoint() {
    if (!txn_) return NoError;
    if (runCached(*txn_, "SAVEPOINT msg") != SQLITE_OK) {
        setError(FileSystemErr, sqlite3_errmsg(txn_->db));
        return FileSystemErr;
    }
    return NoError;
}

Status Store::rollbackToSavepoint() {
    if (!txn_) return NoError;
    int rc = runCached(*txn_, "ROLLBACK TO msg");
    if (rc == SQLITE_OK) rc = runCached(*txn_, "RELEASE msg");
    // Rows read ahead may include writes that were just undone.
    for (auto* f : txnFiles_) {
        f->dropAhead();
        f->reloadKeysValid();
    }
    if (rc != SQLITE_OK) {
        setError(FileSystemErr, sqlite3_errmsg(txn_->db));
        return FileSystemErr;
    }
    return NoError;
}

Status Store::releaseSavepoint() {
    if (!txn_) return NoError;
    if (runCached(*txn_, "RELEASE msg") != SQLITE_OK) {
        setError(FileSystemErr, sqlite3_errmsg(txn_->db));
        return FileSystemErr;
    }
    return NoError;
}

// ---------------------------------------------------------------------------
// RecordFile

RecordFile::RecordFile(Store& store, int fileNumber, unsigned char* buffer)
    : store_(store), desc_(fileDesc(fileNumber)), buf_(buffer) {
    if (!desc_) desc_ = fileDesc(1);  // never reached: files are declared by number in the schema
}

RecordFile::~RecordFile() {
    if (isOpen()) (void)close();
}

std::string RecordFile::table() const { return schema_ + ".rec"; }

Status RecordFile::fail(int code, const std::string& fileText) {
    store_.setError(code, fileText);
    return code;
}

Status RecordFile::sqlFail(int rc) {
    int primary = rc & 0xFF;
    if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) return fail(DupKeyErr);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return fail(RecordNotAvailErr);
    if (primary == SQLITE_NOMEM) return fail(NoMemoryErr);
    if (primary == SQLITE_READONLY || primary == SQLITE_PERM) return fail(AccessDeniedErr);
    return fail(FileSystemErr, active_ && active_->db ? sqlite3_errmsg(active_->db) : sqlite3_errstr(rc));
}

void RecordFile::clearBuffer() {
    std::memset(buf_, 0, desc_->recordSize);
    for (auto& f : desc_->fields)
        if (f.type == FieldType::String) std::memset(buf_ + f.offset, ' ', std::size_t(f.elemSize) * f.dim);
    memo.clear();
}

bool RecordFile::keyIsAllBlank(int key) const { return keyAllBlank(*desc_, key, buf_); }

std::string RecordFile::keyValue(int key) const { return encodeKey(*desc_, key, buf_); }

Status RecordFile::openConnection() {
    own_ = std::make_unique<Conn>();
    int flags = SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(name_.c_str(), &own_->db, flags, nullptr) != SQLITE_OK) {
        std::string msg = own_->db ? sqlite3_errmsg(own_->db) : "cannot open";
        own_.reset();
        return fail(FileSystemErr, msg);
    }
    registerKeyFunction(own_->db);
    sqlite3_busy_timeout(own_->db, 5000);
    own_->exec("PRAGMA cache_size=-16384; PRAGMA temp_store=MEMORY");
    // The staging files live as long as one import run of this process: a
    // crash loses the run's staging whatever is synced, and the next run
    // removes what is left. So they skip the disk syncs and keep their
    // journal in memory; a rollback still works.
    // They are written and read once, front to back: a small page cache
    // serves them.
    if (isStagingFile(*desc_))
        own_->exec("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; PRAGMA cache_size=-2048");
    active_ = own_.get();
    schema_ = "main";
    return NoError;
}

// Checks that the stored file is one of ours with the declared layout and
// that its keys are built.
Status RecordFile::checkStored() {
    sqlite3_stmt* st = conn().prepare("SELECT name, value FROM main.meta");
    if (!st) {
        int primary = sqlite3_errcode(conn().db) & 0xFF;
        // Another program holding the file beyond the wait is a lock, not a
        // file of another layout.
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return fail(IsLockedErr);
        return fail(BadRecErr);
    }
    Reset r{st};
    std::string layout;
    std::string keysValid = "1";
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::string n = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        const unsigned char* v = sqlite3_column_text(st, 1);
        std::string value = v ? reinterpret_cast<const char*>(v) : "";
        if (n == "layout") layout = value;
        if (n == "keysvalid") keysValid = value;
    }
    if (rc != SQLITE_DONE) {
        int primary = rc & 0xFF;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return fail(IsLockedErr);
        return fail(BadRecErr);
    }
    if (layout != std::string(kStorageForm) + ":" + desc_->signature()) return fail(BadRecErr);
    keysValid_ = keysValid == "1";
    if (!keysValid_) return fail(RebuildKeyErr);
    sqlite3_stmt* ix = conn().prepare("SELECT count(*) FROM main.sqlite_master WHERE type='index' AND name LIKE 'kidx%'");
    if (!ix) return fail((sqlite3_errcode(conn().db) & 0xFF) == SQLITE_BUSY ? IsLockedErr : BadRecErr);
    Reset r2{ix};
    if (sqlite3_step(ix) != SQLITE_ROW || sqlite3_column_int(ix, 0) != int(desc_->keys.size())) {
        keysValid_ = false;
        return fail(RebuildKeyErr);
    }
    return NoError;
}

Status RecordFile::open(OpenMode mode) {
    if (isOpen()) return fail(IsOpenErr);
    if (desc_->kind != FileKind::Record) return fail(FileSystemErr, "This file kind cannot be opened as a record file");
    if (name_.empty() || name_.find('\0') != std::string::npos) return fail(BadNameErr);
    struct stat sb {};
    if (::stat(name_.c_str(), &sb) != 0) {
        if (errno == ENOENT) return fail(isDir(dirOf(name_)) ? FileNotFoundErr : PathNotFoundErr);
        if (errno == ENOTDIR) return fail(PathNotFoundErr);
        if (errno == EACCES) return fail(AccessDeniedErr);
        if (errno == ENAMETOOLONG) return fail(BadNameErr);
        return fail(FileSystemErr, std::strerror(errno));
    }
    if (S_ISDIR(sb.st_mode)) return fail(AccessDeniedErr);
    if (::access(name_.c_str(), R_OK | W_OK) != 0) return fail(AccessDeniedErr);
    lockFd_ = ::open((name_ + ".lck").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) return fail(errno == EACCES ? AccessDeniedErr : FileSystemErr, std::strerror(errno));
    // Shared opens take a read lock, an exclusive open a write lock on the
    // same byte: an exclusive open is refused while anyone else has the file.
    if (!ofdLock(lockFd_, mode == OpenMode::Exclusive ? F_WRLCK : F_RDLCK, kOpenLockByte, 0)) {
        ::close(lockFd_);
        lockFd_ = -1;
        return fail(AccessDeniedErr);
    }
    mode_ = mode;
    Status s = openConnection();
    if (s) s = checkStored();
    if (!s) {
        int code = s.code();
        std::string text = store_.fileErrorText();
        own_.reset();
        active_ = nullptr;
        ::close(lockFd_);
        lockFd_ = -1;
        return fail(code, text);
    }
    cursor_ = Cursor::None;
    current_ = 0;
    return fail(NoError);
}

Status RecordFile::create() {
    if (desc_->kind != FileKind::Record) return fail(FileSystemErr, "This file kind cannot be created as a record file");
    if (isOpen()) return fail(IsOpenErr);
    if (name_.empty()) return fail(BadNameErr);
    store_.forget(name_);
    if (!isDir(dirOf(name_))) return fail(PathNotFoundErr);
    // The file is made under a name of this process's own and linked into
    // place, which never replaces an existing file: when several programs
    // create the same file at once, one wins and the others use its file. A
    // program killed while creating it never leaves an empty file behind.
    static std::atomic<unsigned> serial{0};
    const std::string made = name_ + ".new" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    (void)removeIfThere(made);
    (void)removeIfThere(made + "-journal");
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(made.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : "cannot create";
        sqlite3_close_v2(db);
        return fail(errno == EACCES ? AccessDeniedErr : FileSystemErr, msg);
    }
    registerKeyFunction(db);
    std::string sql = "PRAGMA journal_mode=DELETE; BEGIN;"
                      "CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT);"
                      "CREATE TABLE rec(id INTEGER PRIMARY KEY, data BLOB NOT NULL, memo BLOB";
    for (std::size_t k = 0; k < desc_->keys.size(); ++k)
        sql += ", k" + std::to_string(k) + " BLOB GENERATED ALWAYS AS (qkey(data, " + std::to_string(desc_->number) +
               ", " + std::to_string(k) + ")) VIRTUAL";
    sql += ");";
    for (std::size_t k = 0; k < desc_->keys.size(); ++k) {
        sql += std::string("CREATE ") + (desc_->keys[k].unique ? "UNIQUE " : "") + "INDEX kidx" + std::to_string(k) +
               " ON rec(k" + std::to_string(k) + ");";
    }
    sql += "INSERT INTO meta VALUES('layout', '" + std::string(kStorageForm) + ":" + desc_->signature() + "');";
    sql += "INSERT INTO meta VALUES('keysvalid', '1'); COMMIT;";
    char* err = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    std::string msg = err ? err : "";
    sqlite3_free(err);
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK) {
        (void)removeIfThere(made);
        return fail(FileSystemErr, msg);
    }
    if (::link(made.c_str(), name_.c_str()) != 0) {
        int e = errno;
        (void)removeIfThere(made);
        if (e == EEXIST) return fail(NoError);  // another program made it first
        return fail(e == EACCES || e == EPERM ? AccessDeniedErr : FileSystemErr, std::strerror(e));
    }
    (void)removeIfThere(made);
    return fail(NoError);
}

Status RecordFile::close() {
    dropAhead();
    endRead();
    store_.forget(name_);
    if (!isOpen()) return fail(NoError);
    if (batch_) (void)endBatch();
    release();
    unlock();
    // A file that is part of the open transaction keeps being written through
    // the transaction's connection; only its own connection goes.
    if (active_ == own_.get()) active_ = nullptr;
    own_.reset();
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
    cursor_ = Cursor::None;
    current_ = 0;
    streaming_ = false;
    return fail(NoError);
}

Status RecordFile::remove() {
    if (isOpen()) return fail(IsOpenErr);
    if (name_.empty()) return fail(BadNameErr);
    store_.forget(name_);
    // Somebody else has the file open when the open byte of its lock file is taken.
    int fd = ::open((name_ + ".lck").c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        bool free = ofdLock(fd, F_WRLCK, kOpenLockByte, 0);
        ::close(fd);
        if (!free) return fail(IsOpenErr);
    }
    if (::unlink(name_.c_str()) != 0) {
        int e = errno;
        if (e == ENOENT) return fail(FileNotFoundErr);
        if (e == EACCES || e == EPERM) return fail(AccessDeniedErr);
        return fail(FileSystemErr, std::strerror(e));
    }
    (void)removeIfThere(name_ + "-journal");
    (void)removeIfThere(name_ + ".lck");
    return fail(NoError);
}

// --- reads -----------------------------------------------------------------

Status RecordFile::takeHold(int64_t id) {
    int wait = holdWait_;
    holdWait_ = -1;
    if (held_ == id) return NoError;
    if (held_) release();
    if (!ofdLock(lockFd_, F_WRLCK, kRecordLockBase + id, wait)) return fail(IsHeldErr);
    held_ = id;
    return NoError;
}

// A read that met a damaged file, or a lock that outlasted the wait, is
// reported as such; any other condition is an ordinary store error.
Status RecordFile::readFail(int rc) {
    int primary = rc & 0xFF;
    int code = 0;
    std::string text;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        code = IsLockedErr;
        text = "file locked";
    } else if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_IOERR) {
        code = FileSystemErr;
        text = sqlite3_errstr(primary);
    }
    if (!code) return sqlFail(rc);
    if (store_.onReadFault) store_.onReadFault(name_, code, text);
    return fail(code, text);
}

// Takes the hold on a record, then reads it afresh. No statement is open
// while the hold is awaited, so the holder can still commit its write, and
// the image read is the one the holder left behind.
Status RecordFile::holdThenRead(int64_t id) {
    Status h = takeHold(id);
    if (!h) return h;
    Status s = getByNumber(id);
    if (!s) release();
    return s;
}

// Fills the buffer from a row (id, data, memo[, key]) and moves the cursor to it.
Status RecordFile::readRow(sqlite3_stmt* st, int keyColumn) {
    int64_t id = sqlite3_column_int64(st, 0);
    if (holdWait_ >= 0) {
        Status h = takeHold(id);
        if (!h) return h;
    }
    const void* data = sqlite3_column_blob(st, 1);
    int n = sqlite3_column_bytes(st, 1);
    if (n != int(desc_->recordSize)) return fail(BadRecErr);
    std::memcpy(buf_, data, std::size_t(n));
    if (desc_->memoMax) {
        const char* m = static_cast<const char*>(sqlite3_column_blob(st, 2));
        memo.assign(m ? m : "", std::size_t(sqlite3_column_bytes(st, 2)));
    }
    current_ = id;
    curId_ = id;
    if (keyColumn >= 0) {
        const char* k = static_cast<const char*>(sqlite3_column_blob(st, 3));
        curValue_.assign(k ? k : "", std::size_t(sqlite3_column_bytes(st, 3)));
    }
    return fail(NoError);
}

Status RecordFile::get(int key) {
    dropAhead();
    if (!isOpen() && !active_) return fail(FileNotOpenErr);
    if (key < 0 || key >= int(desc_->keys.size())) return fail(RecordNotFoundErr);
    std::string kc = "k" + std::to_string(key);
    sqlite3_stmt* st = conn().prepare("SELECT id, data, memo FROM " + table() + " WHERE " + kc + " = ?1 ORDER BY " +
                                      kc + ", id LIMIT 1");
    if (!st) return readFail(sqlite3_errcode(conn().db));
    Reset r{st};
    std::string v = keyValue(key);
    sqlite3_bind_blob(st, 1, v.data(), int(v.size()), SQLITE_STATIC);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW && holdWait_ >= 0) {
        int64_t id = sqlite3_column_int64(st, 0);
        sqlite3_reset(st);
        return holdThenRead(id);
    }
    if (rc == SQLITE_ROW) return readRow(st, -1);
    if (rc == SQLITE_DONE) return fail(RecordNotFoundErr);
    return readFail(rc);
}

Status RecordFile::getByNumber(int64_t recordNumber) {
    dropAhead();
    if (!isOpen() && !active_) return fail(FileNotOpenErr);
    sqlite3_stmt* st = conn().prepare("SELECT id, data, memo FROM " + table() + " WHERE id = ?1");
    if (!st) return readFail(sqlite3_errcode(conn().db));
    Reset r{st};
    sqlite3_bind_int64(st, 1, recordNumber);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW && holdWait_ >= 0) {
        sqlite3_reset(st);
        return holdThenRead(recordNumber);
    }
    if (rc == SQLITE_ROW) return readRow(st, -1);
    if (rc == SQLITE_DONE) return fail(RecordNotFoundErr);
    return readFail(rc);
}

Status RecordFile::reget(const Position& pos) { return getByNumber(pos.id); }

void RecordFile::set(int key) {
    dropAhead();
    aheadNext_ = 1;
    cursor_ = Cursor::Start;
    curKey_ = key;
}

void RecordFile::setFrom(int key) {
    dropAhead();
    aheadNext_ = 1;
    cursor_ = Cursor::FromValue;
    curKey_ = key;
    curValue_ = keyValue(key);
}

void RecordFile::setPhysical() {
    dropAhead();
    aheadNext_ = 1;
    cursor_ = Cursor::Start;
    curKey_ = -1;
}

void RecordFile::reset(const Position& pos) {
    dropAhead();
    aheadNext_ = 1;
    cursor_ = Cursor::At;
    curKey_ = pos.key;
    curValue_ = pos.keyValue;
    curId_ = pos.id;
}

// Copies a read-ahead row into the buffer and moves the cursor to it.
Status RecordFile::applyRow(Row& row) {
    if (holdWait_ >= 0) {
        int64_t id = row.id;
        std::string key = row.key;
        Status h = holdThenRead(id);
        if (!h) return h;
        curId_ = id;
        if (curKey_ >= 0) curValue_ = key;
        return h;
    }
    if (row.data.size() != desc_->recordSize) return fail(BadRecErr);
    std::memcpy(buf_, row.data.data(), row.data.size());
    if (desc_->memoMax) memo.swap(row.memo);
    current_ = row.id;
    curId_ = row.id;
    if (curKey_ >= 0) curValue_.swap(row.key);
    return fail(NoError);
}

// Runs a prepared traversal query and keeps its rows; returns how many, or
// -1 on a store error.
int RecordFile::collect(sqlite3_stmt* st, int limit) {
    sqlite3_bind_int(st, 3, limit);
    int n = 0, rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        Row r;
        r.id = sqlite3_column_int64(st, 0);
        const char* d = static_cast<const char*>(sqlite3_column_blob(st, 1));
        r.data.assign(d ? d : "", std::size_t(sqlite3_column_bytes(st, 1)));
        if (desc_->memoMax) {
            const char* m = static_cast<const char*>(sqlite3_column_blob(st, 2));
            r.memo.assign(m ? m : "", std::size_t(sqlite3_column_bytes(st, 2)));
        }
        if (curKey_ >= 0) {
            const char* k = static_cast<const char*>(sqlite3_column_blob(st, 3 + 0));
            r.key.assign(k ? k : "", std::size_t(sqlite3_column_bytes(st, 3)));
        }
        ahead_.push_back(std::move(r));
        ++n;
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE) {
        lastReadRc_ = rc;
        return -1;
    }
    return n;
}

// One step of a traversal. The cursor remembers the key value and record
// number last returned and every fetch seeks afresh from there, so the loop
// may add, change or delete records of the file it walks. Rows are fetched
// a batch at a time; the loop's own writes drop the batch.
Status RecordFile::step(bool forward) {
    if (!isOpen() && !active_) return fail(FileNotOpenErr);
    if (cursor_ == Cursor::None) return fail(RecordNotAvailErr);
    // Rows read ahead serve the rest of their batch: every batch is read
    // afresh, so another program's commit is seen by the next batch. Asking
    // the file for its data version on each step instead cost a lock, a
    // journal check and a page read per record returned. A batch is small
    // (8 rows of a file with texts, 64 otherwise) and a walk under holds
    // reads one row at a time.
    if (cursor_ == Cursor::After && aheadForward_ == forward && aheadPos_ < ahead_.size() && holdWait_ < 0)
        return applyRow(ahead_[aheadPos_++]);
    dropAhead();
    aheadForward_ = forward;
    int most = desc_->memoMax ? 8 : 64;
    int batch = holdWait_ >= 0 ? 1 : std::min(aheadNext_, most);
    aheadNext_ = std::min(batch * 2, most);
    const char* cmp = forward ? ">" : "<";
    const char* cmpEq = forward ? ">=" : "<=";
    const char* dir = forward ? "" : " DESC";
    std::string t = table();
    int found = 0;
    if (curKey_ < 0) {
        std::string where = " WHERE ?1 IS NULL";
        if (cursor_ == Cursor::After) where = std::string(" WHERE id ") + cmp + " ?2";
        else if (cursor_ == Cursor::At) where = std::string(" WHERE id ") + cmpEq + " ?2";
        sqlite3_stmt* st = conn().prepare("SELECT id, data, memo FROM " + t + where + " ORDER BY id" + dir + " LIMIT ?3");
        if (!st) return readFail(sqlite3_errcode(conn().db));
        if (cursor_ == Cursor::After || cursor_ == Cursor::At) sqlite3_bind_int64(st, 2, curId_);
        found = collect(st, batch);
    } else {
        std::string kc = "k" + std::to_string(curKey_);
        std::string cols = "SELECT id, data, memo, " + kc + " FROM " + t;
        std::string order = " ORDER BY " + kc + dir + ", id" + dir + " LIMIT ?3";
        auto run = [&](const std::string& where, bool bindValue, bool bindId, int limit) -> int {
            sqlite3_stmt* st = conn().prepare(cols + where + order);
            if (!st) return -1;
            if (bindValue) sqlite3_bind_blob(st, 1, curValue_.data(), int(curValue_.size()), SQLITE_TRANSIENT);
            if (bindId) sqlite3_bind_int64(st, 2, curId_);
            return collect(st, limit);
        };
        switch (cursor_) {
            case Cursor::Start:
                found = run(" WHERE " + kc + " IS NOT NULL AND (?1 IS NULL OR ?2 IS NULL)", false, false, batch);
                break;
            case Cursor::FromValue:
                found = run(" WHERE " + kc + " " + cmpEq + " ?1 AND ?2 IS NULL", true, false, batch);
                break;
            case Cursor::After:
            case Cursor::At:
                found = run(" WHERE " + kc + " = ?1 AND id " + (cursor_ == Cursor::At ? cmpEq : cmp) + " ?2", true, true,
                            batch);
                if (found >= 0 && found < batch) {
                    int more = run(" WHERE " + kc + " " + cmp + " ?1 AND ?2 IS NULL", true, false, batch - found);
                    found = more < 0 ? -1 : found + more;
                }
                break;
            case Cursor::None:
                break;
        }
    }
    if (found < 0) {
        dropAhead();
        int rc = lastReadRc_ ? lastReadRc_ : sqlite3_errcode(conn().db);
        lastReadRc_ = 0;
        return readFail(rc);
    }
    if (found == 0) return fail(RecordNotAvailErr);
    Row& first = ahead_[aheadPos_++];
    Status s = applyRow(first);
    if (!s) {
        dropAhead();
        return s;
    }
    cursor_ = Cursor::After;
    if (holdWait_ >= 0) dropAhead();
    return s;
}

Status RecordFile::next() { return step(true); }
Status RecordFile::previous() { return step(false); }

// --- writes ----------------------------------------------------------------

Status RecordFile::writeRow(bool insert) {
    dropAhead();
    if (!active_) return fail(FileNotOpenErr);
    if (mode_ == OpenMode::ReadOnly) return fail(AccessDeniedErr);
    // A new record's position lies above every position the file ever gave
    // out, also above those of deleted records (kept in meta as lastid).
    sqlite3_stmt* st = conn().prepare(
        insert ? "INSERT INTO " + table() + "(id, data, memo) VALUES(max(coalesce((SELECT max(id) FROM " + table() +
                     "), 0), coalesce((SELECT CAST(value AS INTEGER) FROM " + schema_ +
                     ".meta WHERE name = 'lastid'), 0)) + 1, ?1, ?2)"
               : "UPDATE " + table() + " SET data = ?1, memo = ?2 WHERE id = ?3");
    if (!st) return sqlFail(sqlite3_errcode(conn().db));
    Reset r{st};
    sqlite3_bind_blob(st, 1, buf_, int(desc_->recordSize), SQLITE_STATIC);
    if (desc_->memoMax) {
        std::size_t n = memo.size() < desc_->memoMax ? memo.size() : desc_->memoMax;
        sqlite3_bind_blob(st, 2, memo.data(), int(n), SQLITE_STATIC);
    } else {
        sqlite3_bind_null(st, 2);
    }
    if (!insert) sqlite3_bind_int64(st, 3, current_);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return sqlFail(sqlite3_extended_errcode(conn().db));
    if (insert) {
        current_ = sqlite3_last_insert_rowid(conn().db);
    } else if (sqlite3_changes(conn().db) == 0) {
        return fail(RecordNotFoundErr);
    }
    return fail(NoError);
}

Status RecordFile::add() {
    if (!active_) return fail(FileNotOpenErr);
    return writeRow(true);
}

Status RecordFile::dropIndexes() {
    for (std::size_t k = 0; k < desc_->keys.size(); ++k) {
        int rc = conn().exec("DROP INDEX IF EXISTS " + schema_ + ".kidx" + std::to_string(k));
        if (rc != SQLITE_OK) return sqlFail(rc);
    }
    int rc = conn().exec("UPDATE " + schema_ + ".meta SET value = '0' WHERE name = 'keysvalid'");
    if (rc != SQLITE_OK) return sqlFail(rc);
    conn().dropStatements();
    keysValid_ = false;
    return NoError;
}

// Append adds without keeping the keys: the first append drops them, and
// build makes them again in one sorted pass. Outside a transaction the
// appends are gathered into one store transaction that build, flush or
// close commits.
Status RecordFile::append() {
    if (!active_) return fail(FileNotOpenErr);
    if (!store_.inTransaction(*this) && !batch_) {
        int rc = conn().exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return sqlFail(rc);
        batch_ = true;
    }
    if (keysValid_ && !desc_->keys.empty()) {
        Status s = dropIndexes();
        if (!s) return s;
    }
    return writeRow(true);
}

Status RecordFile::addMany(std::size_t count, const std::function<void(std::size_t)>& fill) {
    dropAhead();
    if (!active_) return fail(FileNotOpenErr);
    if (mode_ == OpenMode::ReadOnly) return fail(AccessDeniedErr);
    if (count == 0) return fail(NoError);
    if (int rc = conn().exec("SAVEPOINT many"); rc != SQLITE_OK) return sqlFail(rc);
    auto undo = [&](int rc) {
        Status failed = sqlFail(rc);  // the reason, before the rollback's text replaces it
        conn().exec("ROLLBACK TO many; RELEASE many");
        return failed;
    };
    // The new positions lie above every position the file ever gave out,
    // as those of add do; the savepoint holds the file, so they are drawn
    // once for the whole batch.
    int64_t base = 0;
    {
        sqlite3_stmt* top = conn().prepare("SELECT max(coalesce((SELECT max(id) FROM " + table() +
                                           "), 0), coalesce((SELECT CAST(value AS INTEGER) FROM " + schema_ +
                                           ".meta WHERE name = 'lastid'), 0))");
        if (!top) return undo(sqlite3_errcode(conn().db));
        Reset r{top};
        int rc = sqlite3_step(top);
        if (rc != SQLITE_ROW) return undo(sqlite3_extended_errcode(conn().db));
        base = sqlite3_column_int64(top, 0);
    }
    // Rows go in by statements of 64 rows (then 8, then 1 for the rest),
    // which spares most of the per-statement work of a row at a time.
    auto statementFor = [&](std::size_t rows) {
        std::string sql = "INSERT INTO " + table() + "(id, data, memo) VALUES(?, ?, ?)";
        for (std::size_t r = 1; r < rows; ++r) sql += ", (?, ?, ?)";
        return conn().prepare(sql);
    };
    for (std::size_t i = 0; i < count;) {
        std::size_t left = count - i;
        std::size_t rows = left >= 64 ? 64 : left >= 8 ? 8 : 1;
        sqlite3_stmt* st = statementFor(rows);
        if (!st) return undo(sqlite3_errcode(conn().db));
        Reset r{st};
        for (std::size_t k = 0; k < rows; ++k, ++i) {
            fill(i);
            int col = int(k) * 3;
            sqlite3_bind_int64(st, col + 1, base + int64_t(i) + 1);
            sqlite3_bind_blob(st, col + 2, buf_, int(desc_->recordSize), SQLITE_TRANSIENT);
            if (desc_->memoMax) {
                std::size_t n = memo.size() < desc_->memoMax ? memo.size() : desc_->memoMax;
                sqlite3_bind_blob(st, col + 3, memo.data(), int(n), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_null(st, col + 3);
            }
        }
        if (sqlite3_step(st) != SQLITE_DONE) {
            int ext = sqlite3_extended_errcode(conn().db);
            sqlite3_reset(st);
            return undo(ext);
        }
    }
    if (int rc = conn().exec("RELEASE many"); rc != SQLITE_OK) return undo(rc);
    current_ = base + int64_t(count);
    return fail(NoError);
}

Status RecordFile::put() {
    if (!active_) return fail(FileNotOpenErr);
    if (current_ == 0) return fail(RecordNotAvailErr);
    return writeRow(false);
}

Status RecordFile::del() {
    dropAhead();
    if (!active_) return fail(FileNotOpenErr);
    if (current_ == 0) return fail(RecordNotAvailErr);
    sqlite3_stmt* st = conn().prepare("DELETE FROM " + table() + " WHERE id = ?1");
    if (!st) return sqlFail(sqlite3_errcode(conn().db));
    Reset r{st};
    sqlite3_bind_int64(st, 1, current_);
    // The delete and the note of the highest position given out are one
    // change of the file.
    if (int rc = conn().exec("SAVEPOINT del"); rc != SQLITE_OK) return sqlFail(rc);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) {
        int ext = sqlite3_extended_errcode(conn().db);
        sqlite3_reset(st);
        conn().exec("ROLLBACK TO del; RELEASE del");
        return sqlFail(ext);
    }
    if (sqlite3_changes(conn().db) == 0) {
        conn().exec("RELEASE del");
        return fail(RecordNotFoundErr);
    }
    sqlite3_reset(st);
    Status kept = keepLastId(current_);
    if (!kept) {
        conn().exec("ROLLBACK TO del; RELEASE del");
        return kept;
    }
    if (int rc2 = conn().exec("RELEASE del"); rc2 != SQLITE_OK) return sqlFail(rc2);
    if (held_ == current_) release();
    current_ = 0;
    return fail(NoError);
}

bool RecordFile::duplicate(int key) {
    if (!active_) return false;
    for (std::size_t k = 0; k < desc_->keys.size(); ++k) {
        if (key >= 0 && int(k) != key) continue;
        if (!desc_->keys[k].unique) continue;
        if (desc_->keys[k].opt && keyIsAllBlank(int(k))) continue;
        std::string kc = "k" + std::to_string(k);
        sqlite3_stmt* st = conn().prepare("SELECT 1 FROM " + table() + " WHERE " + kc + " = ?1 AND id <> ?2 LIMIT 1");
        if (!st) continue;
        Reset r{st};
        std::string v = keyValue(int(k));
        sqlite3_bind_blob(st, 1, v.data(), int(v.size()), SQLITE_STATIC);
        sqlite3_bind_int64(st, 2, current_);
        if (sqlite3_step(st) == SQLITE_ROW) return true;
    }
    return false;
}

// --- holds, locks, bulk mode -------------------------------------------------

void RecordFile::hold(int waitSeconds) {
    dropAhead();
    holdWait_ = waitSeconds < 0 ? 0 : waitSeconds;
}

void RecordFile::release() {
    if (held_ && lockFd_ >= 0) ofdUnlock(lockFd_, kRecordLockBase + held_);
    held_ = 0;
    holdWait_ = -1;
}

Status RecordFile::lock(int waitSeconds) {
    if (!isOpen()) return fail(FileNotOpenErr);
    if (fileLocked_) return fail(NoError);
    if (!ofdLock(lockFd_, F_WRLCK, kFileLockByte, waitSeconds)) return fail(IsLockedErr);
    fileLocked_ = true;
    return fail(NoError);
}

void RecordFile::unlock() {
    if (fileLocked_ && lockFd_ >= 0) ofdUnlock(lockFd_, kFileLockByte);
    fileLocked_ = false;
}

// Bulk-write mode gathers every write of the file into one store
// transaction until flush.
Status RecordFile::stream() {
    if (!isOpen()) return fail(FileNotOpenErr);
    streaming_ = true;
    if (!store_.inTransaction(*this) && !batch_) {
        int rc = conn().exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return sqlFail(rc);
        batch_ = true;
    }
    return fail(NoError);
}

Status RecordFile::beginAlone(int waitSeconds) {
    dropAhead();
    if (!isOpen()) return fail(FileNotOpenErr);
    if (store_.inTransaction(*this) || batch_) return fail(TransactionActiveErr);
    sqlite3_busy_timeout(own_->db, (waitSeconds > 0 ? waitSeconds : 0) * 1000 + 100);
    int rc = own_->exec("BEGIN IMMEDIATE");
    sqlite3_busy_timeout(own_->db, 5000);
    if (rc != SQLITE_OK) {
        int primary = rc & 0xFF;
        return fail(primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? IsLockedErr : FileSystemErr,
                    sqlite3_errmsg(own_->db));
    }
    return fail(NoError);
}

Status RecordFile::endAlone(bool commit) {
    dropAhead();
    if (!own_) return fail(FileNotOpenErr);
    if (!commit) {
        own_->exec("ROLLBACK");
        return fail(NoError);
    }
    int rc = own_->exec("COMMIT");
    if (rc != SQLITE_OK) {
        std::string msg = sqlite3_errmsg(own_->db);
        own_->exec("ROLLBACK");
        return fail(FileSystemErr, msg);
    }
    return fail(NoError);
}

void RecordFile::reloadKeysValid() {
    sqlite3_stmt* st = conn().prepare("SELECT value FROM " + schema_ + ".meta WHERE name = 'keysvalid'");
    if (!st) return;
    Reset r{st};
    if (sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* v = sqlite3_column_text(st, 0);
        keysValid_ = v && v[0] == '1';
    }
}

Status RecordFile::endBatch() {
    if (!batch_) return NoError;
    batch_ = false;
    int rc = own_->exec("COMMIT");
    if (rc != SQLITE_OK) {
        // The reason is that of the commit, not of the rollback after it.
        std::string why = sqlite3_errmsg(own_->db);
        own_->exec("ROLLBACK");
        Status s = sqlFail(rc);
        if (s.code() == FileSystemErr) store_.setError(FileSystemErr, why);
        return s;
    }
    return NoError;
}

Status RecordFile::flush() {
    streaming_ = false;
    Status s = endBatch();
    if (!s) return s;
    return fail(NoError);
}

// --- read scopes --------------------------------------------------------------

void RecordFile::beginRead() {
    if (reading_ || !own_ || active_ != own_.get() || batch_ || !sqlite3_get_autocommit(own_->db)) return;
    dropAhead();
    // A deferred transaction: the first read takes the shared lock, and the
    // reads after it keep the page cache without asking the file again.
    reading_ = own_->exec("BEGIN") == SQLITE_OK;
}

void RecordFile::endRead() {
    if (!reading_) return;
    reading_ = false;
    dropAhead();
    if (own_ && !sqlite3_get_autocommit(own_->db)) own_->exec("COMMIT");
}

ReadScope::ReadScope(std::vector<RecordFile*> files) : files_(std::move(files)) {
    for (RecordFile* f : files_)
        if (f) f->beginRead();
}

ReadScope::~ReadScope() {
    for (RecordFile* f : files_)
        if (f) f->endRead();
}

// --- whole-file operations ---------------------------------------------------

int64_t RecordFile::records() {
    if (!active_) {
        store_.setError(FileNotOpenErr);
        return 0;
    }
    sqlite3_stmt* st = conn().prepare("SELECT count(*) FROM " + table());
    if (!st) {
        (void)readFail(sqlite3_errcode(conn().db));
        return 0;
    }
    Reset r{st};
    if (int rc = sqlite3_step(st); rc != SQLITE_ROW) {
        (void)readFail(rc);
        return 0;
    }
    store_.setError(NoError);
    return sqlite3_column_int64(st, 0);
}

// Notes a position as given out when it is above the file's remembered
// highest, so that no later record gets it again.
Status RecordFile::keepLastId(int64_t id) {
    sqlite3_stmt* st = conn().prepare("INSERT OR REPLACE INTO " + schema_ +
                                      ".meta(name, value) SELECT 'lastid', ?1 WHERE ?1 > coalesce((SELECT CAST(value "
                                      "AS INTEGER) FROM " + schema_ + ".meta WHERE name = 'lastid'), 0)");
    if (!st) return sqlFail(sqlite3_errcode(conn().db));
    Reset r{st};
    sqlite3_bind_int64(st, 1, id);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return sqlFail(sqlite3_extended_errcode(conn().db));
    return NoError;
}

Status RecordFile::empty() {
    dropAhead();
    if (!active_) return fail(FileNotOpenErr);
    if (int rc = conn().exec("SAVEPOINT emp"); rc != SQLITE_OK) return sqlFail(rc);
    int64_t top = 0;
    if (sqlite3_stmt* mx = conn().prepare("SELECT coalesce(max(id), 0) FROM " + table())) {
        Reset r{mx};
        if (sqlite3_step(mx) == SQLITE_ROW) top = sqlite3_column_int64(mx, 0);
    }
    int rc = conn().exec("DELETE FROM " + table());
    if (rc == SQLITE_OK) rc = keepLastId(top).code() ? SQLITE_ERROR : SQLITE_OK;
    if (rc != SQLITE_OK) {
        conn().exec("ROLLBACK TO emp; RELEASE emp");
        return sqlFail(rc);
    }
    rc = conn().exec("RELEASE emp");
    if (rc != SQLITE_OK) return sqlFail(rc);
    current_ = 0;
    cursor_ = Cursor::None;
    return fail(NoError);
}

Status RecordFile::pack() {
    if (!isOpen()) return fail(FileNotOpenErr);
    if (store_.inTransaction(*this)) return fail(TransactionActiveErr);
    Status s = endBatch();
    if (!s) return s;
    own_->dropStatements();
    int rc = own_->exec("VACUUM");
    if (rc != SQLITE_OK) return sqlFail(rc);
    return fail(NoError);
}

Status RecordFile::createIndex(int key) {
    const KeyDesc& k = desc_->keys[std::size_t(key)];
    std::string kc = "k" + std::to_string(key);
    std::string idx = schema_ + ".kidx" + std::to_string(key);
    int rc = conn().exec("DROP INDEX IF EXISTS " + idx);
    if (rc != SQLITE_OK) return sqlFail(rc);
    bool dropped = false;
    if (k.unique) {
        // A unique key over records that break it keeps the first record of
        // each key value (in physical order) and reports the duplicates.
        rc = conn().exec("DELETE FROM " + table() + " WHERE " + kc + " IS NOT NULL AND id NOT IN (SELECT min(id) FROM " +
                         table() + " WHERE " + kc + " IS NOT NULL GROUP BY " + kc + ")");
        if (rc != SQLITE_OK) return sqlFail(rc);
        dropped = sqlite3_changes(conn().db) > 0;
    }
    rc = conn().exec(std::string("CREATE ") + (k.unique ? "UNIQUE " : "") + "INDEX " + idx + " ON rec(" + kc + ")");
    if (rc != SQLITE_OK) return sqlFail(rc);
    return dropped ? DupKeyErr : NoError;
}

Status RecordFile::buildKey(int key) {
    dropAhead();
    if (key < 0 || key >= int(desc_->keys.size())) return fail(NoError);
    bool opened = false;
    if (!active_) {
        if (!isOpen()) {
            // A closed file is opened for the build alone.
            Status s = open(OpenMode::Exclusive);
            if (!s && s.code() != RebuildKeyErr) return s;
            if (!s) {
                Status c = openConnection();
                if (!c) return c;
                if (lockFd_ < 0) lockFd_ = ::open((name_ + ".lck").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            }
            opened = true;
        }
    }
    Status s = createIndex(key);
    conn().dropStatements();
    if (opened) (void)close();
    return fail(s.code());
}

Status RecordFile::build() {
    dropAhead();
    bool opened = false;
    if (!active_) {
        Status s = open(OpenMode::Exclusive);
        if (!s && s.code() != RebuildKeyErr) return s;
        if (!s) {
            mode_ = OpenMode::Exclusive;
            lockFd_ = ::open((name_ + ".lck").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (lockFd_ < 0 || !ofdLock(lockFd_, F_WRLCK, kOpenLockByte, 0)) {
                if (lockFd_ >= 0) ::close(lockFd_);
                lockFd_ = -1;
                return fail(AccessDeniedErr);
            }
            Status c = openConnection();
            if (!c) return c;
        }
        opened = true;
    }
    bool inTxn = store_.inTransaction(*this);
    if (!inTxn) {
        if (!batch_) {
            int rc = conn().exec("BEGIN IMMEDIATE");
            if (rc != SQLITE_OK) return sqlFail(rc);
            batch_ = true;
        }
    }
    int result = NoError;
    for (std::size_t k = 0; k < desc_->keys.size(); ++k) {
        Status s = createIndex(int(k));
        if (!s && s.code() != DupKeyErr) {
            if (!inTxn) {
                own_->exec("ROLLBACK");
                batch_ = false;
            }
            conn().dropStatements();
            if (opened) (void)close();
            return s;
        }
        if (!s) result = DupKeyErr;
    }
    int rc = conn().exec("UPDATE " + schema_ + ".meta SET value = '1' WHERE name = 'keysvalid'");
    if (rc != SQLITE_OK) return sqlFail(rc);
    conn().dropStatements();
    if (!inTxn) {
        Status e = endBatch();
        if (!e) return e;
    }
    keysValid_ = true;
    if (opened) (void)close();
    return fail(result);
}

Position RecordFile::position(int key) const {
    Position p;
    p.id = current_;
    p.key = key;
    if (key >= 0 && key < int(desc_->keys.size())) p.keyValue = keyValue(key);
    return p;
}

}  // namespace quill

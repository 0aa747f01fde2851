#include "database/Common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "database/FileMask.h"
#include "database/Types.h"

namespace quill {

namespace {

std::string three(int n) {
    char b[8];
    std::snprintf(b, sizeof b, "%03d", n);
    return b;
}

std::string centred40(const std::string& t) {
    if (t.size() >= 40) return t;
    std::size_t left = (40 - t.size()) / 2;
    return std::string(left, ' ') + t + std::string(40 - t.size() - left, ' ');
}

bool sameDirNoCase(const std::string& a, const std::string& b) {
    std::string x = a, y = b;
    while (x.size() > 1 && x.back() == '/') x.pop_back();
    while (y.size() > 1 && y.back() == '/') y.pop_back();
    return upper1252(x) == upper1252(y);
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

void ensureIndexDir(Session& s) {
    if (s.MasIdxPath.empty() || sameDirNoCase(s.MasIdxPath, s.Mem.FileDir)) return;
    std::error_code ec;
    std::filesystem::create_directories(joinPath(s.MasIdxPath, s.Mem.Dirnamn), ec);
}

// Opens with the recovery steps for a missing file, a missing path, denied
// access, a bad name, damaged keys and a file of another layout.
void openWithRecovery(Session& s, int number, RecordFile& f, OpenMode mode) {
    const std::string& name = f.name();
    for (int attempt = 0;; ++attempt) {
        Status st = f.open(mode);
        if (st || st.code() == IsOpenErr) return;
        int code = st.code();
        if (attempt >= 8) code = FileSystemErr;  // recovery did not take: report what is left
        switch (code) {
            case FileNotFoundErr: {
                Status c = f.create();
                if (!c) {
                    s.stop("The file " + name + " is missing!\r\nThis file cannot be created by the program\r\nand Quillmer will terminate.",
                           "File Open Error");
                }
                continue;
            }
            case PathNotFoundErr:
                s.stop("The path " + dirName(name) + " does not exist.\r\nQuillmer will terminate.", "Path Not Found",
                       "Check your directory setup in Preferences and run File/Rebuild.");
            case AccessDeniedErr:
                s.stop("The file " + name + " cannot be opened!\r\nQuillmer will terminate.",
                       " File Open Error - Access denied",
                       "Check your network access rights or the possible need for SHARE or VSHARE");
            case BadNameErr:
                s.stop("The file " + name + " cannot be opened.\r\nThe filename is not a valid DOS file name \r\nQuillmer will terminate.",
                       "Invalid File Name Error");
            case RebuildKeyErr: {
                // Keys dropped by another program that is appending in bulk
                // come back when it builds them: wait for that, never take
                // them for damage.
                if (fileOpenByAnyone(name)) {
                    for (int i = 0; i < 600 && fileOpenByAnyone(name); ++i) ::usleep(100000);
                    if (fileOpenByAnyone(name))
                        s.stop("The file " + name + " cannot be opened.\r\nError no " + std::to_string(IsLockedErr) +
                                   "\r\n" + errorTextFor(IsLockedErr) + "\r\nQuillmer will terminate.",
                               "File Open Error");
                    continue;
                }
                s.tell("The file " + name + " cannot be opened\r\ndue to corrupted indices.\r\nAutomatic rebuild will take place.",
                       "File Open Error - Bad keys");
                Status b = f.build();
                if (!b && b.code() != DupKeyErr) {
                    s.stop("The file " + name + " cannot be rebuilt.\r\nQuillmer will terminate.", "File Rebuild Error");
                }
                (void)f.close();
                continue;
            }
            case BadRecErr: {
                const FileDesc& d = f.desc();
                // Only a file known to hold no records is replaced: its record
                // count decides, never its size (a file busy in another
                // program never gets here: that is a lock).
                bool replace = d.alwaysRecreate || (d.emptyThreshold && storedRecordCount(name) == 0);
                if (replace) {
                    s.openCount(number) = 0;
                    (void)f.close();
                    Status r = f.remove();
                    if (!r && r.code() != FileNotFoundErr) {
                        s.stop("The file " + name + " cannot be opened.\r\nError no " + std::to_string(r.code()) +
                                   "\r\n" + s.store.errorText() + "\r\nQuillmer will terminate.",
                               "File Open Error");
                    }
                    continue;
                }
                s.stop("The file " + name + " cannot be opened\r\nas the file definition is incorrect.\r\nQuillmer will terminate.",
                       " File Open Error - Invalid record declaration");
            }
            default:
                s.stop("The file " + name + " cannot be opened.\r\nError no " + std::to_string(st.code()) + "\r\n" +
                           s.store.errorText() + "\r\nQuillmer will terminate.",
                       "File Open Error");
        }
    }
}

}  // namespace

std::string buildName(Session& s, int number) {
    const FileDesc* d = fileDesc(number);
    std::string name;
    std::string file = "IDX" + three(number);
    bool databaseRule = false;
    if (d) {
        switch (d->rule) {
            case NameRule::Config: name = joinPath(joinPath(s.Mem.Net, "CFG"), file + ".TPS"); break;
            case NameRule::Database: databaseRule = true; name = joinPath(joinPath(s.Mem.FileDir, s.Mem.Dirnamn), file + ".TPS"); break;
            case NameRule::DatabaseDat: databaseRule = true; name = joinPath(joinPath(s.Mem.FileDir, s.Mem.Dirnamn), file + ".DAT"); break;
            case NameRule::Index: databaseRule = true; name = joinPath(joinPath(s.MasIdxPath, s.Mem.Dirnamn), file + ".TPS"); break;
            case NameRule::IndexDat: databaseRule = true; name = joinPath(joinPath(s.MasIdxPath, s.Mem.Dirnamn), file + ".DAT"); break;
            case NameRule::Temporary: {
                // The import staging files lie in a directory of the running
                // import's own, so that imports side by side never share them.
                bool staging = number == 10 || number == 19 || number == 24;
                name = joinPath(staging && !s.StagingDir.empty() ? s.StagingDir : s.Mem.TempDir, file + ".TPS");
                break;
            }
            case NameRule::User: name = s.FileTmpName; break;
        }
    }
    // A database file without a selected database has no name: it must never
    // land in the data top directory itself.
    if (databaseRule && s.Mem.Dirnamn.empty()) name.clear();
    s.FileName = name;
    if (name.empty()) {
        s.stop("The file " + name + " cannot be opened.\r\nThe filename is not a valid DOS file name or the path does not exist \r\nQuillmer will terminate.",
               "Invalid File Name Error");
    }
    if (RecordFile* f = s.file(number)) f->setName(name);
    return name;
}

void OP_CLOSE(Session& s, int action, std::initializer_list<int> files) {
    for (int number : files) {
        if (number == 28 || number == 29 || number == 30 || number == 32) continue;
        const FileDesc* d = fileDesc(number);
        if (!d) {
            s.stop(centred40("File no " + std::to_string(number) + " not defined!") + "\r\n" +
                       centred40("Quillmer will terminate!"),
                   "Program Failure!");
        }
        RecordFile* f = s.file(number);
        int& counter = s.openCount(number);
        if (!f) {
            // Foreign tables and byte files are opened by the readers that use
            // them; here only their counters move.
            if (action == OpOpenShared || action == OpOpenExclusive) ++counter;
            else if (action == OpClose) counter = counter > 0 ? counter - 1 : 0;
            else counter = 0;
            continue;
        }
        switch (action) {
            case OpClose:
                if (counter <= 1) {
                    counter = 0;
                    (void)f->close();
                } else {
                    --counter;
                }
                break;
            case OpOpenShared:
            case OpOpenExclusive:
                if (counter == 0 || !f->isOpen()) {
                    buildName(s, number);
                    if (d->rule == NameRule::Index || d->rule == NameRule::IndexDat) ensureIndexDir(s);
                    OpenMode mode = action == OpOpenExclusive ? OpenMode::Exclusive
                                    : d->readOnly             ? OpenMode::ReadOnly
                                                              : OpenMode::Shared;
                    openWithRecovery(s, number, *f, mode);
                }
                ++counter;
                break;
            case OpEmpty:
            case OpPack: {
                buildName(s, number);
                (void)f->close();
                openWithRecovery(s, number, *f, OpenMode::Exclusive);
                Status st = action == OpEmpty ? f->empty() : f->pack();
                (void)f->close();
                counter = 0;
                if (!st && action == OpEmpty) {
                    s.stop("The file " + f->name() + " cannot be emptied.\r\nExclusive access not granted \r\nQuillmer will terminate.",
                           "File Empty Error");
                }
                break;
            }
            case OpForceClose:
                counter = 0;
                (void)f->close();
                break;
            case OpRemove: {
                counter = 0;
                (void)f->close();
                std::string name = buildName(s, number);
                if (::access(name.c_str(), F_OK) == 0) (void)DOSFunc(s, 3, name, {});
                break;
            }
            case OpLayoutCheck: {
                buildName(s, number);
                (void)f->close();
                Status st = f->open(OpenMode::Exclusive);
                if (st.code() == BadRecErr) s.IndexingInProgress = true;
                (void)f->close();
                counter = 0;
                break;
            }
            default:
                break;
        }
    }
}

bool UppDat(Session& s, RecordFile& file, int operation, int mode) {
    Status st = NoError;
    switch (operation) {
        case UpdAdd: st = file.add(); break;
        case UpdPut: st = file.put(); break;
        case UpdDelete: st = file.del(); break;
        case UpdAppend: st = file.append(); break;
        default: return false;
    }
    if (st) return true;
    return reportWriteFailure(s, file, operation, st.code(), mode);
}

bool reportWriteFailure(Session& s, RecordFile& file, int operation, int code, int mode) {
    std::string heading = operation == UpdPut      ? "Record update error!"
                          : operation == UpdDelete ? "Record delete error!"
                                                   : "Record add error!";
    std::string cause;
    if (code == AccessDeniedErr || code == RecordNotAvailErr || code == RecordNotFoundErr)
        cause = "Record not available!";
    else if (code == DupKeyErr)
        cause = "A record with identical key already exists!";
    else
        cause = s.store.errorText();
    if (mode == UpdReport) {
        if (operation == UpdPut || operation == UpdDelete) file.release();
        s.tell(heading + "\r\n" + cause, file.name());
    } else if (mode == UpdReportRollback) {
        (void)s.store.rollback();
        s.tell(heading + "\r\n" + cause + "\r\n" + "The last transaction is rolled back.", file.name());
    }
    s.store.setError(code);
    return false;
}

int HoldRec(Session& s, RecordFile& file, int key, bool byKey, const Position& position) {
    file.hold(1);
    Status st = byKey ? file.get(key) : file.reget(position);
    if (st) return 1;
    file.release();
    if (st.code() == RecordNotFoundErr) {
        s.tell("The record has been deleted by another user!\r\n                   Update is cancelled!", file.name());
    } else if (st.code() == IsHeldErr) {
        s.tell("The record is locked by another user!\r\nUpdate is cancelled, try again later!",
               "The record is not accessible!");
    } else {
        s.tell("               The record cannot be read!\r\nUpdate is cancelled, try again later!",
               "The record is not accessible!");
    }
    return 0;
}

namespace {
std::string imageOf(RecordFile& f) {
    return std::string(reinterpret_cast<const char*>(f.buffer()), f.recordSize()) + f.memo;
}
void loadImage(RecordFile& f, const std::string& image) {
    std::memcpy(f.buffer(), image.data(), f.recordSize());
    f.memo = image.substr(f.recordSize());
}
}  // namespace

std::string SaveRec(Session& s, RecordFile& file, SaveRecList& list, int action, bool opening, Position& pos) {
    if (opening) {
        list.entries.assign(2, imageOf(file));
        list.current = 2;
        if (action == 1) return "";
        pos = file.position();
        return std::to_string(pos.id);
    }
    // The edited image becomes entry 2; entry 1 is the image as read.
    if (list.entries.size() < 2) list.entries.resize(2);
    list.entries[1] = imageOf(file);
    std::string edited = list.entries[1];
    if (action != 2 && action != 3) {
        return "OK";
    }
    if (!HoldRec(s, file, -1, false, pos)) {
        loadImage(file, edited);
        return "";
    }
    std::string current = imageOf(file);
    if (current != list.entries[0]) {
        // The form stays open showing the record as it now stands: the
        // user's edit is not kept, so a second OK cannot write it over the
        // other user's change unseen.
        s.tell("The record has just been changed by another user!\r\nTry again!", "Warning!");
        list.entries[0] = current;
        list.entries[1] = current;
        file.release();
        return "";
    }
    bool ok;
    if (action == 2) {
        loadImage(file, edited);
        ok = UppDat(s, file, UpdPut, UpdReport);
    } else {
        ok = UppDat(s, file, UpdDelete, UpdReport);
    }
    file.release();
    return ok ? "OK" : "0";
}

bool QError(Session& s, int mode) {
    int code = s.store.errorCode();
    if (code == NoError || code == EntryNotFoundErr) return false;
    std::string cause, caption;
    if (code == NoMemoryErr) {
        cause = "Insufficient memory!";
        caption = "Fatal error!";
    } else if (code == InvalidFieldTypeErr) {
        cause = "Invalid field type descriptor!";
        caption = "Fatal error!";
    } else {
        cause = s.store.errorText();
        caption = "Warning!";
    }
    if (mode == 7) {
        s.tell("Queue access error\r\n" + cause, caption);
    } else if (mode == 8) {
        (void)s.store.rollback();
        s.tell("Queue access error\r\n" + cause + "\r\nThe last transaction is rolled back.", "Fatal error");
    }
    return true;
}

bool SemaFore(Session& s, int code) {
    if (code != 212) return false;
    if (s.store.errorCode() == NoError) return false;
    s.tell("Transaction Frame Error!\r\n" + s.store.errorText(), "Warning!");
    (void)s.store.rollback();
    return true;
}

bool beginWrites(Session& s, const std::vector<RecordFile*>& files, int waitSeconds) {
    Status st = s.store.beginTransaction(waitSeconds, files);
    (void)st;
    return !SemaFore(s, 212);
}

namespace {
// A record file whose lock file shows that some program has it open.
bool openElsewhere(const std::string& name) {
    std::string lck = name + ".lck";
    if (::access(lck.c_str(), F_OK) != 0) return false;
    Store probeStore;
    RecordFile probe(probeStore, 8, nullptr);
    probe.setName(name);
    return probe.remove().code() == IsOpenErr;
}

bool removeOne(Session& s, const std::string& name) {
    if (openElsewhere(name)) {
        s.tell("The file " + name + " is open and cannot be removed", "File Deletion Error!");
        return false;
    }
    if (::unlink(name.c_str()) == 0 || errno == ENOENT) {
        ::unlink((name + "-journal").c_str());
        ::unlink((name + ".lck").c_str());
        return true;
    }
    if (errno == EACCES || errno == EPERM) {
        s.tell("No access rights - the file " + name + " cannot be removed", "File Deletion Error!");
    }
    return false;
}
}  // namespace

bool DOSFunc(Session& s, int operation, const std::string& name, const std::string& directory) {
    switch (operation) {
        case 3:
            return removeOne(s, directory.empty() ? name : joinPath(directory, name));
        case 4: {
            bool all = true;
            for (auto& n : listMatching(directory, name)) {
                // Lock files and journals go with the file they belong to.
                if (!removeOne(s, joinPath(directory, n))) all = false;
            }
            if (!all) s.tell("One or more files have not been \r\nremoved in subdirectory " + directory, "File Deletion Error!");
            return all;
        }
        case 5: {
            std::string full = directory.empty() ? name : joinPath(directory, name);
            return !listMatching(dirName(full).empty() ? "." : dirName(full), baseName(full)).empty();
        }
        default:
            return false;
    }
}

uint64_t GetFSize(const std::string& nameOrPattern) {
    std::string dir = dirName(nameOrPattern);
    if (dir.empty()) dir = ".";
    uint64_t total = 0;
    for (auto& n : listMatching(dir, baseName(nameOrPattern))) {
        int64_t sz = fileSize(joinPath(dir, n));
        if (sz > 0) total += uint64_t(sz);
    }
    return total;
}

}  // namespace quill

#include "people/Databases.h"

#include <unistd.h>

#include <algorithm>
#include <functional>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Preferences.h"
#include "people/Persons.h"

namespace quill {

namespace {

std::string clipped(std::string_view v, std::size_t width) {
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    if (v.size() > width) v = v.substr(0, width);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return std::string(v);
}

// Opens files by number for the life of the guard (with the common open
// counters) and closes them again on every way out.
class OpenFiles {
public:
    OpenFiles(Session& s, std::vector<int> files) : s_(s), files_(std::move(files)) {
        for (int n : files_) {
            OP_CLOSE(s_, OpOpenShared, {n});
            ++opened_;
        }
    }
    ~OpenFiles() {
        for (std::size_t i = opened_; i-- > 0;) OP_CLOSE(s_, OpClose, {files_[i]});
    }
    OpenFiles(const OpenFiles&) = delete;
    OpenFiles& operator=(const OpenFiles&) = delete;

private:
    Session& s_;
    std::vector<int> files_;
    std::size_t opened_ = 0;
};

// Database files of another database than the selected one are reached by
// pointing Mem.Dirnamn at its directory for a while. The selected database's
// directory name comes back afterwards, and so do those of the given files
// that were open in it (with their open counters and buffers), so that a
// browse of the selected database never writes into the new one or the
// other way round.
class OtherDatabaseDirectory {
public:
    OtherDatabaseDirectory(Session& s, const std::string& dirnamn, std::vector<int> files)
        : s_(s), saved_(s.Mem.Dirnamn), files_(std::move(files)) {
        for (int n : files_) {
            RecordFile* f = s_.file(n);
            if (!f || !f->isOpen()) continue;
            Parked p{n, s_.openCount(n),
                     std::string(reinterpret_cast<const char*>(f->buffer()), f->recordSize()), f->memo};
            parked_.push_back(std::move(p));
            OP_CLOSE(s_, OpForceClose, {n});
        }
        s_.Mem.Dirnamn = dirnamn;
    }
    ~OtherDatabaseDirectory() {
        for (int n : files_) OP_CLOSE(s_, OpForceClose, {n});
        s_.Mem.Dirnamn = saved_;
        for (auto& p : parked_) {
            try {
                OP_CLOSE(s_, OpOpenShared, {p.number});
                s_.openCount(p.number) = p.count;
                RecordFile* f = s_.file(p.number);
                std::copy(p.image.begin(), p.image.end(), f->buffer());
                f->memo = p.memo;
            } catch (const ProgramStop&) {
                // The file opened a moment ago cannot be opened again: the
                // window that uses it will meet the same failure and stop.
            }
        }
    }
    OtherDatabaseDirectory(const OtherDatabaseDirectory&) = delete;
    OtherDatabaseDirectory& operator=(const OtherDatabaseDirectory&) = delete;

private:
    struct Parked {
        int number;
        int count;
        std::string image;
        std::string memo;
    };
    Session& s_;
    std::string saved_;
    std::vector<int> files_;
    std::vector<Parked> parked_;
};

// Rolls back a transaction that is still open when the work leaves early
// (a stop of the program unwinding through it).
class RollbackOnExit {
public:
    explicit RollbackOnExit(Session& s) : s_(s) {}
    ~RollbackOnExit() {
        if (s_.store.inTransaction()) (void)s_.store.rollback();
    }
    RollbackOnExit(const RollbackOnExit&) = delete;
    RollbackOnExit& operator=(const RollbackOnExit&) = delete;

private:
    Session& s_;
};

// Creates the database directory F<number> under the data top directory
// (quietly; a failure stops the program).
void makeDatabaseDirectory(Session& s, uint32_t dirNumber) {
    (void)ExistPath(s, 3, 0, joinPath(s.Mem.FileDir, directoryName(dirNumber)), "", true);
}

DbResult failedWrite(Session& s, DbResult r = {}) {
    r.storeError = s.store.errorCode();
    r.status = r.storeError == DupKeyErr ? DbStatus::Duplicate : DbStatus::WriteFailed;
    return r;
}

// The alternative addresses without blank ones; false when more than ten.
bool compactAddresses(const std::vector<std::string>& given, std::vector<std::string>& out) {
    out.clear();
    for (auto& a : given) {
        std::string v = clipped(a, mailAddressWidth);
        if (!v.empty()) out.push_back(std::move(v));
    }
    return out.size() <= altAddressCount;
}

void storeAltAddresses(ForumsRecord& f, const std::vector<std::string>& addresses) {
    for (std::size_t i = 0; i < altAddressCount; ++i) {
        if (i < addresses.size()) f.ALTADDRESS[i] = addresses[i];
        else f.ALTADDRESS[i].clear();
    }
}

// The fields every new catalogue entry starts with; the buffer has been
// cleared, so counts, flags and the other dates are 0.
void newEntryFields(Session& s, uint32_t id, uint32_t dirNumber, uint8_t type, const std::string& name) {
    s.FOR.ID = id;
    s.FOR.DIRNUMBER = dirNumber;
    s.FOR.CREATED = today();
    s.FOR.TYPE = type;
    s.FOR.WORDLISTINDEXNEEDSUPDATE = 1;
    s.FOR.INDEXTYPE = 1;
    s.FOR.DESCRIPTION = name;
    s.FOR.MSGCOUNT = 0;
    s.FOR.DUMMY = StatusNormal;
}

}  // namespace

std::vector<std::string> altAddressesOf(const ForumsRecord& f) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < altAddressCount; ++i) {
        if (f.ALTADDRESS[i].empty()) break;
        out.push_back(f.ALTADDRESS[i].str());
    }
    return out;
}

bool readDatabaseEntry(Session& s, uint32_t forumId, ForumsRecord& out) {
    OpenFiles files(s, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.ID = forumId;
    if (!s.Forums.get(ForumsFile::FORUMKEY)) return false;
    out = s.FOR;
    return true;
}

std::vector<ForumsRecord> listMailDatabases(Session& s) {
    std::vector<ForumsRecord> out;
    OpenFiles files(s, {ForumsFile::Number});
    s.Forums.set(ForumsFile::ALPHAKEY);
    while (s.Forums.next())
        if (s.FOR.TYPE == TypeMail) out.push_back(s.FOR);
    return out;
}

namespace {

// Writes a new catalogue entry of the given type with its ForumRef copy in a
// new database directory. The entry, its identifier, its copy and what
// fillEntry writes (the owner of a mail database) are one transaction: a
// program ending halfway leaves no entry without its copy. The directory
// number is chosen again inside the transaction; when another program took
// it meanwhile, the next one is tried, so programs creating databases at the
// same moment never share a directory nor fail on each other's number. Each
// retry means another program's entry was written, so the retries end; the
// limit only guards against a catalogue that cannot be read consistently.
// fillEntry runs inside the transaction with the Forums buffer holding the
// new entry's fields; on failure it returns false with the result set (the
// transaction is rolled back afterwards).
DbResult createDatabase(Session& s, uint8_t type, const std::string& description, int entryErrors,
                        const std::vector<int>& directoryFiles,
                        const std::function<bool(DbResult&)>& beforeEntry,
                        const std::function<void()>& fillEntry) {
    OpenFiles files(s, {ForumsFile::Number, ControlFile::Number});
    for (int attempt = 0;; ++attempt) {
        const uint32_t dirNumber = nextDirNumber(s);
        const std::string dirPath = joinPath(s.Mem.FileDir, directoryName(dirNumber));
        const bool madeDir = ExistPath(s, 3, 0, dirPath, "", true) == 0;
        DbResult r{DbStatus::Ok, 0, dirNumber};
        bool retry = false;
        std::vector<std::string> fileNames;
        {
            OtherDatabaseDirectory dir(s, directoryName(dirNumber), directoryFiles);
            for (int f : directoryFiles) fileNames.push_back(buildName(s, f));
            OpenFiles inDir(s, directoryFiles);
            RollbackOnExit unwind(s);
            std::vector<RecordFile*> writes{&s.Forums};
            for (int f : directoryFiles) writes.push_back(s.file(f));
            writes.push_back(&s.Control);
            if (!beginWrites(s, writes)) {
                r = failedWrite(s, r);
            } else if (nextDirNumber(s) != dirNumber && attempt < 100) {
                (void)s.store.rollback();
                retry = true;
            } else if (!beforeEntry(r)) {
                (void)s.store.rollback();
            } else if (const uint32_t id = NextNr(s); id == 0) {
                (void)s.store.rollback();
                r.status = DbStatus::NoIdentifier;
            } else {
                s.Forums.clearBuffer();
                newEntryFields(s, id, dirNumber, type, description);
                fillEntry();
                if (!UppDat(s, s.Forums, UpdAdd, entryErrors)) {
                    int code = s.store.errorCode();
                    (void)s.store.rollback();
                    s.store.setError(code);
                    r = failedWrite(s, r);
                } else if (!UpdREF(s, UpdReportRollback) || !s.store.commit()) {
                    // UpdREF writes from the Forums buffer, which still holds the new entry.
                    r = failedWrite(s, r);
                } else {
                    r.id = id;
                }
            }
        }
        if (r.ok() && r.id) return r;
        // A directory made for an entry that was not written goes again,
        // unless something was stored in it meanwhile.
        if (madeDir) {
            bool unused = true;
            for (const std::string& name : fileNames)
                unused = unused && storedRecordCount(name) == 0 && !fileOpenByAnyone(name);
            if (unused) {
                for (const std::string& name : fileNames) {
                    for (const char* tail : {"", ".lck", "-journal"}) ::unlink((name + tail).c_str());
                }
                ::rmdir(dirPath.c_str());
            }
        }
        if (!retry) return r;
    }
}

}  // namespace

DbResult addForumDatabase(Session& s, std::string_view name) {
    const std::string description = clipped(name, databaseNameWidth);
    if (description.empty()) {
        s.beep();
        return {DbStatus::EmptyName};
    }
    return createDatabase(s, TypeForum, description, UpdReport, {ForumRefFile::Number}, [](DbResult&) { return true; }, [] {});
}

DbResult addMailDatabase(Session& s, std::string_view name, std::string_view defaultAddress,
                         const std::vector<std::string>& altAddresses, bool rememberId) {
    const std::string description = clipped(name, databaseNameWidth);
    const std::string address = clipped(defaultAddress, mailAddressWidth);
    if (description.empty() || address.empty()) {
        s.beep();
        return {description.empty() ? DbStatus::EmptyName : DbStatus::MissingAddress};
    }
    std::vector<std::string> alternatives;
    if (!compactAddresses(altAddresses, alternatives)) return {DbStatus::TooManyAddresses};

    uint32_t owner = 0;
    DbResult r = createDatabase(
        s, TypeMail, description, UpdReportRollback, {PersonFile::Number, ForumRefFile::Number, PLINKFile::Number},
        // The owner: the database name at the default address, in the new
        // directory's person file.
        [&](DbResult& result) {
            if (AddPers(s, address, description)) {
                result = failedWrite(s, result);
                return false;
            }
            owner = s.PER.PERSONID;
            return true;
        },
        [&] {
            s.FOR.MAILADDRESS = address;
            s.FOR.PERSONID = owner;
            storeAltAddresses(s.FOR, alternatives);
        });
    if (r.ok() && rememberId) {
        setKonfigNumber(s, 19, int32_t(r.id));
        int32_t unused = 0;
        std::string none;
        (void)Konfig(s, 4, 19, unused, 0, none);
    }
    return r;
}

DbResult setAltAddresses(Session& s, uint32_t forumId, const std::vector<std::string>& altAddresses) {
    std::vector<std::string> alternatives;
    if (!compactAddresses(altAddresses, alternatives)) return {DbStatus::TooManyAddresses};

    OpenFiles config(s, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.ID = forumId;
    if (!s.Forums.get(ForumsFile::FORUMKEY)) return {DbStatus::NotFound};
    if (s.FOR.TYPE != TypeMail) return {DbStatus::NotMail, forumId};
    const uint32_t dirNumber = s.FOR.DIRNUMBER;
    DbResult r{DbStatus::Ok, forumId, dirNumber};

    makeDatabaseDirectory(s, dirNumber);
    OtherDatabaseDirectory dir(s, directoryName(dirNumber), {ForumRefFile::Number});
    OpenFiles files(s, {ForumRefFile::Number});
    RollbackOnExit unwind(s);
    if (!beginWrites(s, {&s.Forums, &s.ForumRef})) return failedWrite(s, r);
    // Read again inside the transaction, so that the put rewrites the entry
    // as it stands now.
    s.Forums.clearBuffer();
    s.FOR.ID = forumId;
    if (!s.Forums.get(ForumsFile::FORUMKEY)) {
        (void)s.store.rollback();
        return {DbStatus::NotFound};
    }
    storeAltAddresses(s.FOR, alternatives);
    if (!UppDat(s, s.Forums, UpdPut, UpdReportRollback)) return failedWrite(s, r);
    if (!UpdREF(s, UpdReportRollback)) return failedWrite(s, r);
    if (!s.store.commit()) return failedWrite(s, r);
    return r;
}

ForumLookup ForumLup(Session& s, std::string_view typed, bool showList, uint8_t type) {
    ForumLookup r;
    const std::string text = clipped(typed, databaseNameWidth);
    {
        OpenFiles files(s, {ForumsFile::Number});
        s.Forums.set(ForumsFile::ALPHAKEY);
        while (s.Forums.next()) {
            if (type != 0 && s.FOR.TYPE != type) continue;
            r.list.push_back({s.FOR.ID, s.FOR.DESCRIPTION.str(), s.FOR.TYPE, s.FOR.DIRNUMBER});
        }
    }
    if (text.empty()) {
        r.outcome = LookupOutcome::Empty;
        r.showList = showList;
        return r;
    }

    // The list is in the order of FOR:ALPHAKEY: upper case, blank-padded to
    // the field width. The lookup opens where the typed text would stand.
    auto keyOf = [](std::string_view d) {
        std::string k = upper1252(d);
        k.resize(databaseNameWidth, ' ');
        return k;
    };
    const std::string typedKey = keyOf(text);
    const std::string prefix = upper1252(text);
    std::size_t first = 0;
    while (first < r.list.size() && keyOf(r.list[first].description) < typedKey) ++first;
    auto startsWithTyped = [&](const ForumCandidate& c) {
        return c.description.size() >= prefix.size() && upper1252(c.description).compare(0, prefix.size(), prefix) == 0;
    };
    std::size_t count = 0;
    while (first + count < r.list.size() && startsWithTyped(r.list[first + count])) ++count;
    r.matchCount = count;

    if (count == 1) {
        const ForumCandidate& c = r.list[first];
        r.outcome = LookupOutcome::Unique;
        r.id = c.id;
        r.name = c.description;
        r.type = c.type;
        r.position = first;
        r.showList = showList;
    } else if (count > 1) {
        r.outcome = LookupOutcome::Several;
        r.position = first;
        r.showList = true;
    } else {
        r.outcome = LookupOutcome::None;
        r.position = first > 0 ? first - 1 : 0;
        r.showList = true;
    }
    return r;
}

uint32_t findDatabaseByName(Session& s, std::string_view name) {
    const std::string description = clipped(name, databaseNameWidth);
    if (description.empty()) return 0;
    OpenFiles files(s, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.DESCRIPTION = description;
    if (!s.Forums.get(ForumsFile::ALPHAKEY)) return 0;
    return s.FOR.ID;
}

bool saveActiveDatabase(Session& s, uint32_t forumId) {
    OpenFiles files(s, {ControlFile::Number});
    s.Control.clearBuffer();
    s.CTL.ID = activeDatabaseKind;
    bool exists = bool(s.Control.get(ControlFile::IDKEY));
    if (exists && HoldRec(s, s.Control, ControlFile::IDKEY, true, {}) != 1) return false;
    if (!exists) {
        s.Control.clearBuffer();
        s.CTL.ID = activeDatabaseKind;
    }
    s.CTL.NEXTNUMBER = 0;
    s.CTL.CTLGROUP = forumId ? std::to_string(forumId) : std::string();
    bool ok = UppDat(s, s.Control, exists ? UpdPut : UpdAdd, UpdReport);
    s.Control.release();
    return ok;
}

uint32_t loadActiveDatabase(Session& s) {
    OpenFiles files(s, {ControlFile::Number});
    s.Control.clearBuffer();
    s.CTL.ID = activeDatabaseKind;
    if (!s.Control.get(ControlFile::IDKEY)) return 0;
    uint64_t id = 0;
    for (char ch : s.CTL.CTLGROUP.view()) {
        if (ch < '0' || ch > '9') return 0;
        id = id * 10 + uint64_t(ch - '0');
        if (id > UINT32_MAX) return 0;
    }
    return uint32_t(id);
}

bool restoreActiveDatabase(Session& s) {
    uint32_t id = loadActiveDatabase(s);
    if (id == 0) return false;
    return selectDatabase(s, id);
}

bool activateDatabase(Session& s, uint32_t forumId) {
    if (!selectDatabase(s, forumId)) return false;
    return saveActiveDatabase(s, forumId);
}

}  // namespace quill

#include "import/TargetList.h"

#include <sys/stat.h>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Types.h"
#include "import/TaskLink.h"

namespace quill {

namespace {
// A name as the catalogue keeps it: control characters (NUL among them)
// are blanks, trailing blanks go, at most 100 characters.
std::string clip(std::string_view v) {
    std::string n(v.substr(0, 100));
    for (char& ch : n)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
}
std::string keyOf(std::string_view name) { return upper1252(clip(name)); }

bool isDirectory(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool isFile(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

enum class Created { Failed, Made, FoundOther };

// Adds the catalogue entry of a new target in one transaction (Forums
// open). Another program, an import beside this one, may have created a
// database of the same name since the catalogue was read: that database is
// used, with its identifier and directory. A directory number taken
// meanwhile is replaced by the next free one; the directory comes before
// the entry, so that an entry never lacks it.
Created createEntry(Session& s, TargetEntry& e) {
    if (!beginWrites(s, {&s.Forums})) return Created::Failed;
    s.Forums.clearBuffer();
    s.FOR.DESCRIPTION = e.description;
    if (s.Forums.get(ForumsFile::ALPHAKEY)) {
        const uint8_t type = s.FOR.TYPE;
        const uint32_t id = s.FOR.ID, dirNumber = s.FOR.DIRNUMBER;
        (void)s.store.rollback();
        if (type != e.type) {
            s.tell("The messages for " + e.description + " are not imported: another program has created it as a " +
                       (type == TypeMail ? "Mail" : type == TypeNewsgroup ? "Newsgroup" : "Forum") + " database.",
                   "Warning!");
            return Created::Failed;
        }
        e.id = id;
        e.dirNumber = dirNumber;
        e.isNew = false;
        return Created::FoundOther;
    }
    s.Forums.clearBuffer();
    s.FOR.DIRNUMBER = e.dirNumber;
    if (s.Forums.get(ForumsFile::DIRKEY)) e.dirNumber = nextDirNumber(s);
    (void)ExistPath(s, 3, 0, joinPath(s.Mem.FileDir, directoryName(e.dirNumber)), "", true);
    s.Forums.clearBuffer();
    s.FOR.ID = e.id;
    s.FOR.DESCRIPTION = e.description;
    s.FOR.DIRNUMBER = e.dirNumber;
    s.FOR.CREATED = today();
    s.FOR.TYPE = e.type;
    s.FOR.WORDLISTINDEXNEEDSUPDATE = 1;
    s.FOR.INDEXTYPE = 1;
    if (!UppDat(s, s.Forums, UpdAdd, UpdReportRollback)) return Created::Failed;
    if (!s.store.commit()) {
        s.tell("Transaction Frame Error!\r\n" + s.store.errorText(), "Warning!");
        return Created::Failed;
    }
    e.isNew = false;
    return Created::Made;
}
}  // namespace

void TargetList::load(Session& s) {
    clear();
    struct Raw {
        TargetEntry e;
        uint32_t redir = 0;
    };
    std::map<uint32_t, Raw> byId;
    uint32_t highest = 0;
    s.Forums.setPhysical();
    while (s.Forums.next()) {
        Raw r;
        r.e.id = s.FOR.ID;
        r.e.stagingId = r.e.id;
        r.e.description = clip(s.FOR.DESCRIPTION.view());
        r.e.upper = keyOf(r.e.description);
        r.e.dirNumber = s.FOR.DIRNUMBER;
        r.e.isNew = false;
        r.e.importAllowed = s.FOR.NOIMPORT == 0;
        r.e.type = s.FOR.TYPE;
        r.redir = s.FOR.REDIRNOW;
        if (r.e.dirNumber > highest) highest = r.e.dirNumber;
        byId[r.e.id] = r;
    }
    for (auto& [id, r] : byId) {
        TargetEntry e = r.e;
        if (r.redir != 0) {
            auto t = byId.find(r.redir);
            // A missing target, or one that is itself redirected, gives no
            // redirection: chains are never followed.
            if (t != byId.end() && t->second.redir == 0 && t->first != id) {
                e.redirTarget = r.redir;
                e.redirName = t->second.e.description;
            }
        }
        byName_[e.upper] = e;
    }
    nextDir_ = highest + 1;
}

TargetFound TargetList::FindTargetDatabase(Session& s, std::string_view name, uint8_t& kind,
                                           uint32_t* identifierCounter) {
    std::string key = keyOf(name);
    auto it = byName_.find(key);
    if (it == byName_.end()) {
        TargetEntry e;
        e.id = identifierCounter ? (*identifierCounter)++ : NextNr(s);
        e.stagingId = e.id;
        e.description = clip(name);
        e.upper = key;
        e.dirNumber = nextDir_++;
        e.isNew = true;
        e.importAllowed = true;
        e.type = kind == TypeNewsgroup ? TypeNewsgroup : TypeForum;
        if (e.id == 0) {
            kind = e.type;
            return {};
        }
        it = byName_.emplace(key, e).first;
    }
    const TargetEntry* e = &it->second;
    if (e->type == TypeNewsgroup) {
        // A newsgroup is its own section, in its own database or in the
        // database it is redirected to.
        s.NHR.SECTIONNUMBER = e->id;
        s.NHR.SEC_DESCRIPTION = e->description;
    }
    if (e->redirTarget != 0) {
        auto t = byName_.find(keyOf(e->redirName));
        if (t != byName_.end()) e = &t->second;
    }
    // Messages of one kind never go into a database of another kind: forum
    // messages staged into a Mail database would be stored as mail (and
    // collide there), mail into a forum as forum messages.
    uint8_t wanted = kind == TypeMail ? TypeMail : kind == TypeNewsgroup ? TypeNewsgroup : TypeForum;
    if (e->type != wanted) {
        if (refused_.insert(e->upper).second && !s.unattended())
            s.tell("The messages for " + e->description + " are not imported: it is a " +
                       (e->type == TypeMail ? "Mail" : e->type == TypeNewsgroup ? "Newsgroup" : "Forum") +
                       " database.",
                   "Warning!");
        kind = e->type;
        return {e->id, false, e->type};
    }
    kind = e->type;
    if (e->importAllowed) touch(*e);
    return {e->id, e->importAllowed, e->type};
}

void TargetList::touch(const TargetEntry& e) {
    for (auto& t : touched_)
        if (t.id == e.id) return;
    touched_.push_back(e);
}

bool TargetList::find(std::string_view name) const { return byName_.count(keyOf(name)) != 0; }

const TargetEntry* TargetList::entry(std::string_view name) const {
    auto it = byName_.find(keyOf(name));
    return it == byName_.end() ? nullptr : &it->second;
}

bool TargetList::prune(Session& s, TaskLink* task) {
    std::map<std::string, TargetEntry> kept;
    for (auto& t : touched_) {
        auto it = byName_.find(t.upper);
        if (it != byName_.end()) kept.emplace(it->first, it->second);
    }
    byName_ = std::move(kept);
    if (s.Mem.DoTask == 2 && task) {
        for (auto& [k, e] : byName_) task->CleanUp(2, e.id);
    }
    return !byName_.empty();
}

bool TargetList::select(Session& s, std::string_view name) {
    auto it = byName_.find(keyOf(name));
    if (it == byName_.end()) return false;
    return selectEntry(s, it->second);
}

bool TargetList::selectEntry(Session& s, TargetEntry& e) {
    OP_CLOSE(s, OpOpenShared, {2});
    bool created = false, foundOther = false;
    if (e.isNew) {
        Created c = createEntry(s, e);
        if (c == Created::Failed) {
            OP_CLOSE(s, OpClose, {2});
            return false;
        }
        created = c == Created::Made;
        foundOther = c == Created::FoundOther;
    }
    if (!created) {
        s.Forums.clearBuffer();
        s.FOR.ID = e.id;
        if (!s.Forums.get(ForumsFile::FORUMKEY)) {
            OP_CLOSE(s, OpClose, {2});
            return false;
        }
    }
    std::string dir = joinPath(s.Mem.FileDir, directoryName(s.FOR.DIRNUMBER));
    s.Mem.Dirnamn = directoryName(s.FOR.DIRNUMBER);
    bool missing = !isDirectory(dir);
    if (missing) (void)ExistPath(s, 3, 0, dir, "", true);
    // A new database, or one whose directory or reference record went
    // missing, gets its reference record; the program that has just created
    // a database writes its own.
    if (created || missing || (!foundOther && !isFile(joinPath(dir, "IDX022.DAT")))) {
        if (!UpdREF(s, 7)) {
            OP_CLOSE(s, OpClose, {2});
            return false;
        }
    }
    OP_CLOSE(s, OpClose, {2});
    if (!selectDatabase(s, e.id)) return false;
    return true;
}

bool TargetList::takeNextTouched(Session& s) {
    if (touched_.empty()) return false;
    TargetEntry e = touched_.front();
    touched_.erase(touched_.begin());
    if (!selectDatabase(s, e.id)) {
        // Not in the catalogue (yet): the variables still name it.
        s.Mem.ForumNumber = e.id;
        s.Mem.Description = e.description;
        s.Mem.Dirnamn = directoryName(e.dirNumber);
        s.Mem.ForumType = e.type;
    }
    return true;
}

bool TargetList::takeFirst(TargetEntry& out) {
    if (byName_.empty()) return false;
    out = byName_.begin()->second;
    byName_.erase(byName_.begin());
    return true;
}

void TargetList::clear() {
    byName_.clear();
    touched_.clear();
    refused_.clear();
}

std::vector<TargetEntry> TargetList::entries() const {
    std::vector<TargetEntry> v;
    v.reserve(byName_.size());
    for (auto& [k, e] : byName_) v.push_back(e);
    return v;
}

}  // namespace quill

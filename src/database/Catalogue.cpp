#include "database/Catalogue.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "database/Common.h"
#include "database/FileMask.h"

namespace quill {

bool reserveIdentifiers(Session& s, uint32_t count, uint32_t& first) {
    first = 0;
    const bool alone = !s.store.inTransaction(s.Control);
    auto report = [&](Status st) {
        int code = st.code() ? st.code() : s.store.errorCode();
        std::string text = s.store.errorText();
        if (alone) (void)s.Control.endAlone(false);
        s.store.setError(code, text);
        s.tell(text + "\r\n" + "Next ID cannot be generated!", "Control File Error");
        return false;
    };
    if (alone) {
        Status b = s.Control.beginAlone(5);
        if (!b) return report(b);
    }
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    Status st = s.Control.get(ControlFile::IDKEY);
    if (!st) {
        if (st.code() != RecordNotFoundErr) return report(st);
        s.Control.clearBuffer();
        s.CTL.ID = 1;
        s.CTL.NEXTNUMBER = 1;
        if (Status a = s.Control.add(); !a) return report(a);
    }
    uint32_t id = s.CTL.NEXTNUMBER;
    if (id == 0 || uint64_t(id) + count > 0xFFFFFFFFull) return report(Status(FileSystemErr));
    s.CTL.NEXTNUMBER = id + count;
    if (Status p = s.Control.put(); !p) return report(p);
    if (alone) {
        if (Status c = s.Control.endAlone(true); !c) {
            s.tell(s.store.errorText() + "\r\n" + "Next ID cannot be generated!", "Control File Error");
            return false;
        }
    }
    first = id;
    return true;
}

void giveBackIdentifiers(Session& s, uint32_t from, uint32_t end) {
    if (from >= end || s.store.inTransaction(s.Control)) return;
    if (!s.Control.beginAlone(5)) return;
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    bool ok = false;
    if (s.Control.get(ControlFile::IDKEY) && uint32_t(s.CTL.NEXTNUMBER) == end) {
        s.CTL.NEXTNUMBER = from;
        ok = bool(s.Control.put());
    }
    (void)s.Control.endAlone(ok);
}

uint32_t NextNr(Session& s) {
    uint32_t id = 0;
    return reserveIdentifiers(s, 1, id) ? id : 0;
}

bool UpdREF(Session& s, int mode) {
    OP_CLOSE(s, OpOpenShared, {22});
    bool exists = bool(s.ForumRef.getByNumber(1));
    if (!exists) {
        // The file holds exactly one record: the first one found is
        // rewritten, anything after it is cleared (positions are never
        // reused, so a record once deleted cannot come back at number 1).
        s.ForumRef.setPhysical();
        exists = bool(s.ForumRef.next());
        if (exists) {
            int64_t keep = s.ForumRef.pointer();
            while (s.ForumRef.next()) (void)s.ForumRef.del();
            exists = bool(s.ForumRef.getByNumber(keep));
        }
        if (!exists) s.ForumRef.clearBuffer();
    }
    s.REF.TYPE = s.FOR.TYPE;
    s.REF.DESCRIPTION = s.FOR.DESCRIPTION.view();
    s.REF.TARGETNG = s.FOR.TARGETNG;
    s.REF.PERSONID = int32_t(uint32_t(s.FOR.PERSONID));
    s.REF.MAILADDRESS = s.FOR.MAILADDRESS.view();
    for (int i = 0; i < 10; ++i) s.REF.ALTADDRESS[i] = s.FOR.ALTADDRESS[i].view();
    bool ok = UppDat(s, s.ForumRef, exists ? UpdPut : UpdAdd, mode);
    OP_CLOSE(s, OpClose, {22});
    return ok;
}

namespace {
bool isDirectory(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}
}  // namespace

int ExistPath(Session& s, int kind, int fileNumber, const std::string& givenPath, const std::string& tail, bool quiet) {
    std::string path = givenPath;
    if (kind == 1 || kind == 3) {
        // Only an absolute path is usable; relative and network names are
        // refused without a word.
        while (!path.empty() && path.back() == ' ') path.pop_back();
        if (path.empty() || path[0] != '/') return 0;
    } else {
        path = dirName(buildName(s, fileNumber));
    }
    if (isDirectory(path)) return 1;
    if (!quiet && !s.unattended()) {
        s.beep();
        s.tell("The specified path " + path + " does not exist.\r\n" + tail, " Path Not Found");
    }
    if (kind == 3 || kind == 4) {
        if (::mkdir(path.c_str(), 0755) != 0 && !isDirectory(path)) {
            s.beep();
            s.stop("The specified directory " + path + " could not be created.\r\nQuillmer will be halted.",
                   " Directory Creation Error", "Probable access rights violation");
        }
    }
    return 0;
}

namespace {
void invalidKind(Session& s, int kind) {
    s.stop("Internal Error - invalid xType =" + std::to_string(kind), "Program Failure!");
}

// The directory setting keeps a directory inside the installation relative
// to it ("TEMP", "." for the installation itself), so that a copied or moved
// installation uses its own directories; a directory elsewhere is kept whole.
std::string storedDirectory(const std::string& path, const std::string& net) {
    if (path == net) return ".";
    if (path.size() > net.size() && path.compare(0, net.size(), net) == 0 && path[net.size()] == '/')
        return path.substr(net.size() + 1);
    return path;
}

std::string resolvedDirectory(const std::string& stored, const std::string& net) {
    if (stored.empty()) return "";
    if (stored == ".") return net;
    if (stored[0] != '/') return joinPath(net, stored);
    return stored;
}

constexpr std::size_t kDirectoryField = 100;

std::string clippedNeo(Session& s, uint32_t number) {
    std::string t = CallNeo(s, number);
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

bool loadDirectoryRecord(Session& s) {
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 4;
    if (!s.Control.get(ControlFile::IDKEY)) {
        s.Control.clearBuffer();
        s.CTL.ID = 4;
        s.CTL.NEXTNUMBER = 0;
        std::string area(257, ' ');
        area.replace(0, 4, "TEMP");
        area.replace(kDirectoryField, 1, ".");
        s.CTL.CTLGROUP = area;
        // Another program starting at the same moment may have added it:
        // then its record is the one to take.
        if (Status a = s.Control.add(); !a && a.code() == DupKeyErr) {
            s.Control.clearBuffer();
            s.CTL.ID = 4;
            if (!s.Control.get(ControlFile::IDKEY)) s.CTL.CTLGROUP = area;
        } else if (!a) {
            s.tell("Record add error!\r\n" + s.store.errorText(), s.Control.name());
        }
    }
    std::string area(reinterpret_cast<const char*>(s.CTL.CTLFIELD), 257);
    auto clip = [](std::string v) {
        while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.pop_back();
        return v;
    };
    std::string temp = clip(area.substr(0, kDirectoryField));
    std::string data = clip(area.substr(kDirectoryField, kDirectoryField));
    // A setting written with whole paths names the installation it was
    // written in by its temporary directory ("<home>/TEMP"). When that is
    // another directory (the installation was copied or moved), its
    // directories are taken at the same places in this one.
    const std::string net = s.Mem.Net;
    if (temp.size() > 5 && temp[0] == '/' && temp.compare(temp.size() - 5, 5, "/TEMP") == 0) {
        std::string oldHome = temp.substr(0, temp.size() - 5);
        if (oldHome != net) {
            temp = storedDirectory(temp, oldHome);
            data = storedDirectory(data, oldHome);
        }
    }
    s.prefs.savedTempDir = resolvedDirectory(temp, net);
    s.prefs.savedFileDir = resolvedDirectory(data, net);
    OP_CLOSE(s, OpClose, {8});
    return true;
}
}  // namespace

bool AutoPath(Session& s, int operation, int kind, std::string& text) {
    if (kind != 17 && kind != 18) invalidKind(s, kind);
    std::string& slot = kind == 17 ? s.prefs.savedTempDir : s.prefs.savedFileDir;
    switch (operation) {
        case 1:
            return loadDirectoryRecord(s);
        case 2:
            slot = text;
            return true;
        case 3:
            text = slot;
            return true;
        case 4: {
            std::string temp = storedDirectory(s.prefs.savedTempDir, s.Mem.Net);
            std::string data = storedDirectory(s.prefs.savedFileDir, s.Mem.Net);
            // A directory that does not fit its field is refused, never cut
            // (a cut path names some other directory).
            for (const std::string* d : {&temp, &data}) {
                if (d->size() > kDirectoryField) {
                    s.tell("The directory " + *d + " is longer than " + std::to_string(kDirectoryField) +
                               " characters and cannot be saved.\r\nThe directory setting is not changed.",
                           clippedNeo(s, 27));
                    return false;
                }
            }
            OP_CLOSE(s, OpOpenShared, {8});
            s.Control.clearBuffer();
            s.CTL.ID = 4;
            bool ok = HoldRec(s, s.Control, ControlFile::IDKEY, true, {}) == 1;
            if (ok) {
                std::string area(257, ' ');
                area.replace(0, temp.size(), temp);
                area.replace(kDirectoryField, data.size(), data);
                s.CTL.CTLGROUP = area;
                ok = UppDat(s, s.Control, UpdPut, UpdReport);
                s.Control.release();
            }
            OP_CLOSE(s, OpClose, {8});
            if (!ok) s.tell(CallNeo(s, 28), CallNeo(s, 27));
            return ok;
        }
        default:
            return true;
    }
}

std::string CallNeo(Session& s, uint32_t number) {
    OP_CLOSE(s, OpOpenShared, {43});
    s.Neo.clearBuffer();
    s.NEO.ID = number;
    std::string text(100, ' ');
    if (s.Neo.get(NeoFile::IDKEY)) text = std::string(reinterpret_cast<const char*>(s.NEO.NEOFIELD), 100);
    OP_CLOSE(s, OpClose, {43});
    return text;
}

void installNeoTexts(Session& s) {
    static const std::pair<uint32_t, const char*> texts[] = {
        {27, "Preferences Error"},
        {28, "The settings could not be saved."},
    };
    OP_CLOSE(s, OpOpenShared, {43});
    for (auto& [id, text] : texts) {
        s.Neo.clearBuffer();
        s.NEO.ID = id;
        if (s.Neo.get(NeoFile::IDKEY)) continue;
        s.Neo.clearBuffer();
        s.NEO.ID = id;
        s.NEO.NEOGROUP = text;
        // A duplicate means another program installed the same text.
        if (Status a = s.Neo.add(); !a && a.code() != DupKeyErr) (void)UppDat(s, s.Neo, UpdAdd, UpdReport);
    }
    OP_CLOSE(s, OpClose, {43});
}

bool startDirectories(Session& s, const std::string& startDir) {
    s.Mem.Net = startDir;
    while (s.Mem.Net.size() > 1 && s.Mem.Net.back() == '/') s.Mem.Net.pop_back();
    s.Mem.TempDir = joinPath(s.Mem.Net, "TEMP");
    s.Mem.FileDir = s.Mem.Net;
    clearSelection(s);
    (void)ExistPath(s, 3, 0, joinPath(s.Mem.Net, "CFG"), "", true);
    bool controlExisted = ::access(joinPath(joinPath(s.Mem.Net, "CFG"), "IDX008.TPS").c_str(), F_OK) == 0;
    std::string dummy;
    (void)AutoPath(s, 1, 17, dummy);
    if (!s.prefs.savedTempDir.empty()) s.Mem.TempDir = s.prefs.savedTempDir;
    if (!s.prefs.savedFileDir.empty()) s.Mem.FileDir = s.prefs.savedFileDir;
    if (s.MasIdxPath.empty()) s.MasIdxPath = s.Mem.FileDir;
    return controlExisted;
}

void clearSelection(Session& s) {
    s.Mem.ForumNumber = 0;
    s.Mem.ForumType = 0;
    s.Mem.Description.clear();
    s.Mem.Dirnamn.clear();
    s.Mem.TargetNG = 0;
    s.Mem.PersonID = 0;
    s.Mem.ForumCheck = 0;
    s.Mem.WordListIndexNeedsUpdate = 0;
}

std::string directoryName(uint32_t dirNumber) { return "F" + std::to_string(dirNumber); }

bool selectDatabase(Session& s, uint32_t forumId) {
    OP_CLOSE(s, OpOpenShared, {2});
    s.Forums.clearBuffer();
    s.FOR.ID = forumId;
    bool found = bool(s.Forums.get(ForumsFile::FORUMKEY));
    if (found) {
        s.Mem.ForumNumber = s.FOR.ID;
        s.Mem.Description = s.FOR.DESCRIPTION.str();
        s.Mem.Dirnamn = directoryName(s.FOR.DIRNUMBER);
        s.Mem.ForumType = s.FOR.TYPE;
        s.Mem.TargetNG = s.FOR.TARGETNG;
        s.Mem.PersonID = s.FOR.PERSONID;
        s.Mem.ForumCheck = s.FOR.DUMMY;
        s.Mem.WordListIndexNeedsUpdate = s.FOR.WORDLISTINDEXNEEDSUPDATE;
        s.Mem.IndexType = s.FOR.INDEXTYPE;
    }
    OP_CLOSE(s, OpClose, {2});
    return found;
}

uint32_t nextDirNumber(Session& s) {
    s.Forums.set(ForumsFile::DIRKEY);
    if (s.Forums.previous()) return uint32_t(s.FOR.DIRNUMBER) + 1;
    return 1;
}

}  // namespace quill

#include "database/Catalogue.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "database/Common.h"
#include "database/FileMask.h"

namespace quill {

uint32_t NextNr(Session& s) {
    auto report = [&] {
        s.tell(s.store.errorText() + "\r\n" + "Next ID cannot be generated!", "Control File Error");
        return 0u;
    };
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    Status st = s.Control.get(ControlFile::IDKEY);
    if (!st) {
        if (st.code() != RecordNotFoundErr) return report();
        s.Control.clearBuffer();
        s.CTL.ID = 1;
        s.CTL.NEXTNUMBER = 1;
        if (!s.Control.add()) return report();
    }
    uint32_t id = s.CTL.NEXTNUMBER;
    s.CTL.NEXTNUMBER = id + 1;
    if (!s.Control.put()) return report();
    return id;
}

bool UpdREF(Session& s, int mode) {
    OP_CLOSE(s, OpOpenShared, {22});
    bool exists = bool(s.ForumRef.getByNumber(1));
    if (!exists) {
        // The file holds exactly one record: anything else is cleared first.
        s.ForumRef.setPhysical();
        while (s.ForumRef.next()) (void)s.ForumRef.del();
        s.ForumRef.clearBuffer();
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

bool loadDirectoryRecord(Session& s) {
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 4;
    if (!s.Control.get(ControlFile::IDKEY)) {
        s.Control.clearBuffer();
        s.CTL.ID = 4;
        s.CTL.NEXTNUMBER = 0;
        std::string area = std::string(100, ' ') + std::string(100, ' ') + std::string(57, ' ');
        std::string temp = joinPath(s.Mem.Net, "TEMP"), data = s.Mem.Net;
        area.replace(0, std::min<std::size_t>(temp.size(), 100), temp.substr(0, 100));
        area.replace(100, std::min<std::size_t>(data.size(), 100), data.substr(0, 100));
        s.CTL.CTLGROUP = area;
        (void)UppDat(s, s.Control, UpdAdd, UpdReport);
    }
    std::string area(reinterpret_cast<const char*>(s.CTL.CTLFIELD), 257);
    auto clip = [](std::string v) {
        while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.pop_back();
        return v;
    };
    s.prefs.savedTempDir = clip(area.substr(0, 100));
    s.prefs.savedFileDir = clip(area.substr(100, 100));
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
            OP_CLOSE(s, OpOpenShared, {8});
            s.Control.clearBuffer();
            s.CTL.ID = 4;
            bool ok = HoldRec(s, s.Control, ControlFile::IDKEY, true, {}) == 1;
            if (ok) {
                std::string area(257, ' ');
                area.replace(0, std::min<std::size_t>(s.prefs.savedTempDir.size(), 100), s.prefs.savedTempDir.substr(0, 100));
                area.replace(100, std::min<std::size_t>(s.prefs.savedFileDir.size(), 100), s.prefs.savedFileDir.substr(0, 100));
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
        (void)UppDat(s, s.Neo, UpdAdd, UpdReport);
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

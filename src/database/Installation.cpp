#include "database/Installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Preferences.h"

namespace quill {

namespace {
bool isDirectory(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

bool openInstallation(Session& s, const std::string& home, const DataPathQuestion& dataPathMissing) {
    std::string dir = home;
    if (dir.empty() || dir[0] != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd)) dir = joinPath(cwd, dir.empty() || dir == "." ? "" : dir);
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    ::mkdir(dir.c_str(), 0755);
    bool existed = startDirectories(s, dir);
    // A saved temporary directory that is gone is reset to the installation's
    // own; the default one is created when missing.
    std::string defaultTemp = joinPath(s.Mem.Net, "TEMP");
    if (s.Mem.TempDir != defaultTemp && !isDirectory(s.Mem.TempDir)) s.Mem.TempDir = defaultTemp;
    (void)ExistPath(s, 3, 0, s.Mem.TempDir, "", true);
    // A saved data directory that is gone is never created on a guess: the
    // databases are somewhere else, and the user has to say where.
    if (s.Mem.FileDir != s.Mem.Net && !isDirectory(s.Mem.FileDir) && dataPathMissing) {
        const std::string before = s.Mem.FileDir;
        if (!dataPathMissing(s) || !isDirectory(s.Mem.FileDir))
            throw ProgramStop("The path to your data files cannot be found.", " Path to database files", {});
        // The word index follows the data unless it was set apart.
        if (s.MasIdxPath == before) s.MasIdxPath = s.Mem.FileDir;
    }
    if (s.Mem.FileDir != s.Mem.Net && !isDirectory(s.Mem.FileDir))
        s.stop("The previously saved path to your data files is no longer valid: " + s.Mem.FileDir +
                   "\r\nPlease make it available again or set the top directory of your database files anew.",
               " Path to database files", "Data directory missing");
    // Configuration files are created on their first open; files that exist
    // are left alone (another program may be writing them in bulk).
    for (int n : {2, 8, 18, 26, 27, 34, 35, 41, 42}) {
        if (::access(buildName(s, n).c_str(), F_OK) == 0) continue;
        OP_CLOSE(s, OpOpenShared, {n});
        OP_CLOSE(s, OpClose, {n});
    }
    if (!existed) installNeoTexts(s);
    (void)loadAllPreferences(s);
    if (!existed) {
        setKonfigNumber(s, kPrefProgramVersion, kProgramVersion);
        int32_t unused = 0;
        std::string none;
        (void)Konfig(s, 4, kPrefProgramVersion, unused, 0, none);
    }
    return existed;
}

const char* databaseTypeName(uint8_t type) {
    switch (type) {
        case TypeForum: return "forum";
        case TypeMail: return "mail";
        case TypeNewsgroup: return "news";
        default: return "unknown";
    }
}

std::vector<CatalogueEntry> listCatalogue(Session& s) {
    std::vector<CatalogueEntry> out;
    OP_CLOSE(s, OpOpenShared, {2});
    s.Forums.set(ForumsFile::ALPHAKEY);
    while (s.Forums.next()) {
        CatalogueEntry e;
        e.id = s.FOR.ID;
        e.type = s.FOR.TYPE;
        e.description = s.FOR.DESCRIPTION.str();
        e.dirNumber = s.FOR.DIRNUMBER;
        e.msgCount = s.FOR.MSGCOUNT;
        e.status = s.FOR.DUMMY;
        e.noImport = s.FOR.NOIMPORT != 0;
        out.push_back(e);
    }
    OP_CLOSE(s, OpClose, {2});
    return out;
}

}  // namespace quill

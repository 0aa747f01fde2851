#include "search/ScratchFiles.h"

#include <sqlite3.h>

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string_view>
#include <vector>

#include "database/RecordStore.h"

namespace quill {

namespace {

namespace fs = std::filesystem;

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}
// The absolute paths of the scratch files.
std::vector<std::string>& registry() {
    static std::vector<std::string> v;
    return v;
}

std::string absoluteOf(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? path : p.string();
}

bool registered(std::string_view name) {
    std::lock_guard<std::mutex> lock(registryMutex());
    for (const std::string& p : registry()) {
        if (name == p) return true;
        // SQLite names the file by its full path, which may reach it through
        // another spelling; a name that ends the same is compared on disk.
        std::string_view base = std::string_view(p).substr(p.find_last_of('/') + 1);
        if (name.size() >= base.size() && name.substr(name.size() - base.size()) == base) {
            std::error_code ec;
            if (fs::equivalent(fs::path(std::string(name)), fs::path(p), ec)) return true;
        }
    }
    return false;
}

// Runs for every connection the process opens, after its main file is open.
int onOpen(sqlite3* db, const char**, const sqlite3_api_routines*) {
    const char* name = sqlite3_db_filename(db, "main");
    // The journal file stays between commits (its header is cleared instead
    // of the file being removed), which spares two directory changes per
    // search; it still guards every commit against a crash of the program.
    if (name && *name && registered(name))
        sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=PERSIST", nullptr, nullptr, nullptr);
    return SQLITE_OK;
}

}  // namespace

bool markScratchFile(const std::string& path) {
    std::string abs = absoluteOf(path);
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        for (const std::string& p : registry())
            if (p == abs) return true;
        if (registry().empty()) sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(&onOpen));
        registry().push_back(abs);
    }
    // Once per process: a file left damaged by a crash of the machine is
    // removed (unless some program has it open) and made anew by its opener.
    std::error_code ec;
    if (!fs::exists(path, ec) || fileOpenByAnyone(path)) return true;
    if (integrityCheck(path).empty()) return true;
    for (const char* tail : {"-journal", ""}) {
        std::string f = path + tail;
        if (::unlink(f.c_str()) != 0 && errno != ENOENT) return false;
    }
    return true;
}

bool isScratchFile(const std::string& path) { return registered(absoluteOf(path)); }

}  // namespace quill

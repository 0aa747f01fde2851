// Opening an installation the way a program starts: directories, the
// configuration files and the preferences.
#pragma once

#include <functional>
#include <string>

#include "database/Session.h"

namespace quill {

// Sets up the directories of the installation at home (creating CFG and the
// temporary directory), creates the configuration files that are missing and
// loads the preferences. Returns whether the installation existed before.
// A new installation is marked with the program's version.
//
// When the saved data top directory no longer exists, dataPathMissing is
// asked for a new one: it returns true once it has set s.Mem.FileDir to an
// existing directory and saved the setting, false when the user chose to end
// the program (the stop then unwinds without a further message). Without it,
// the program stops with a message that says what to do.
using DataPathQuestion = std::function<bool(Session&)>;
bool openInstallation(Session& s, const std::string& home, const DataPathQuestion& dataPathMissing = {});

// One catalogue entry as the tools list it.
struct CatalogueEntry {
    uint32_t id = 0;
    uint8_t type = 0;
    std::string description;
    uint32_t dirNumber = 0;
    uint32_t msgCount = 0;
    uint8_t status = 0;
    bool noImport = false;
};
std::vector<CatalogueEntry> listCatalogue(Session& s);
const char* databaseTypeName(uint8_t type);

}  // namespace quill

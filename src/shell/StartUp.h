// What the desktop program does before its frame opens: the directories, the
// configuration files, the data top directory (asked for anew when it is
// gone), the preferences and the version check.
#pragma once

#include <string>

#include "database/Preferences.h"
#include "shell/QtInterface.h"

namespace quill::shell {

struct StartUpResult {
    bool configExisted = false;  // the installation existed before
    VersionCheck version;        // upgraded (the notice was shown), first start
};

// Runs the start-up sequence on the installation at home. False when the
// program is to end (the user exited from the path dialog, or a fatal error
// that has been shown); error then holds its text.
bool startUp(Session& s, const std::string& home, StartUpResult& result, std::string& error);

}  // namespace quill::shell

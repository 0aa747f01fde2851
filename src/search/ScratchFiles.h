// Record files that hold only scratch data, rebuilt by the next run that
// writes them (the search result set): their commits do not wait for the
// disk. A crash of the program cannot harm them (the rollback journal still
// guards every commit); a crash of the machine may leave one damaged, which
// its first open in a process finds and removes, so that it is created anew.
#pragma once

#include <string>

namespace quill {

// From now on every SQLite connection of this process whose main file is
// path commits without syncing. Returns false when the file was found
// damaged and could not be removed.
bool markScratchFile(const std::string& path);

// Whether connections to path commit without syncing (for the tests).
bool isScratchFile(const std::string& path);

}  // namespace quill

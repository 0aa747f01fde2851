// Checking an archive: SQLite's integrity check of every record file (with
// the key function the indexes use) and the archive's own invariants:
// headers and texts belong together, stored counts equal the records, the
// identifier generator stands above every identifier, every catalogue entry
// has its directory and ForumRef copy, no journal is left behind by a
// program that died. The repair recounts, rebuilds keys, raises the
// generator and rewrites missing ForumRef copies; it never deletes a message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/Session.h"

namespace quill {

struct VerifyFault {
    std::string file;  // the file (or directory) the fault is in
    std::string text;
};

struct VerifyResult {
    std::vector<VerifyFault> faults;   // found (after the repair: what is left)
    std::vector<VerifyFault> repairs;  // what the repair changed
};

// Checks the configuration files and the given databases (FOR:ID; none
// given: every database of the catalogue). With repair, mends what it can
// and checks again. Files that do not exist are not created.
VerifyResult verifyArchive(Session& s, const std::vector<uint32_t>& databases, bool repair);

}  // namespace quill

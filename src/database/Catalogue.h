// The catalogue of archive databases, their directories, the installation's
// directories and the one identifier generator.
#pragma once

#include <cstdint>
#include <string>

#include "database/Session.h"

namespace quill {

// The lowest identifier a running installation hands out.
constexpr uint32_t kIdentifierFloor = 250000;

// The next identifier, or 0 when none can be generated. Control must be open.
// Every identifier of every program comes from here or from
// reserveIdentifiers: a read-modify-write of the generator record inside a
// write transaction over Control (the caller's, or a short one of its own),
// so draws by several programs never interleave.
[[nodiscard]] uint32_t NextNr(Session& s);
// Reserves count consecutive identifiers at once and gives the first; false
// (and the user told) when none could be reserved. Control must be open.
[[nodiscard]] bool reserveIdentifiers(Session& s, uint32_t count, uint32_t& first);
// Gives the reserved identifiers from..end-1 back when the generator still
// stands at end (nobody drew after them); otherwise they stay unused.
void giveBackIdentifiers(Session& s, uint32_t from, uint32_t end);
// Writes the ForumRef record of the selected database from the Forums buffer.
[[nodiscard]] bool UpdREF(Session& s, int mode);
// Kinds 1 and 3 check the given path, 2 and 4 the directory of a file number;
// 3 and 4 create it when missing. 1 = it existed.
int ExistPath(Session& s, int kind, int fileNumber, const std::string& path, const std::string& tail, bool quiet);
// 1 load, 2 set, 3 read, 4 save; kind 17 the temporary directory, 18 the data
// top directory.
bool AutoPath(Session& s, int operation, int kind, std::string& text);
// The text of a Neo record (100 characters, blank when missing).
std::string CallNeo(Session& s, uint32_t number);

// The start-up sequence of the directories for an installation whose
// configuration top directory is startDir. Returns whether Control existed.
bool startDirectories(Session& s, const std::string& startDir);
// Makes the database with this FOR:ID the selected one; false (and nothing
// changed) when its catalogue record is missing. Opens and closes Forums.
bool selectDatabase(Session& s, uint32_t forumId);
// Clears the selection.
void clearSelection(Session& s);
// The directory number for a new database. Forums must be open.
uint32_t nextDirNumber(Session& s);
// "F" and the number.
std::string directoryName(uint32_t dirNumber);

// The texts that the Neo file of a new installation holds.
void installNeoTexts(Session& s);

}  // namespace quill

// The common record layer: opening and closing files by number with open
// counters and open-time recovery, and the write, hold and save helpers that
// report failures to the user in fixed words.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "database/Session.h"

namespace quill {

// OP_CLOSE actions.
enum OpAction : int {
    OpClose = 0,
    OpOpenShared = 1,
    OpOpenExclusive = 2,
    OpEmpty = 3,
    OpForceClose = 4,
    OpPack = 5,
    OpRemove = 6,
    OpLayoutCheck = 7,
};

// UppDat operations and modes.
enum UppDatOp : int { UpdAdd = 1, UpdPut = 2, UpdDelete = 3, UpdAppend = 4 };
enum UppDatMode : int { UpdSilent = 0, UpdReport = 7, UpdReportRollback = 8 };

// Builds the physical name of a file number from the shared directory
// variables, puts it into the file and into FileName; stops the program when
// it cannot be built.
std::string buildName(Session& s, int fileNumber);

// Runs an action on each file number in turn (at most ten).
void OP_CLOSE(Session& s, int action, std::initializer_list<int> files);

[[nodiscard]] bool UppDat(Session& s, RecordFile& file, int operation, int mode);
// Reports a write of the operation that failed with the store's code as
// UppDat does in the mode (UpdReportRollback also rolls back); returns false.
bool reportWriteFailure(Session& s, RecordFile& file, int operation, int code, int mode);
[[nodiscard]] int HoldRec(Session& s, RecordFile& file, int key, bool byKey, const Position& position);

// The state an edit form keeps for SaveRec: the record image as read
// (entry 1) and as edited (entry 2).
struct SaveRecList {
    std::vector<std::string> entries;  // record bytes followed by the memo
    std::size_t current = 0;           // 1-based
};
// action: 1 insert, 2 change, 3 delete. The opening call returns "" for an
// insert and the record's position otherwise (kept by the caller in pos);
// the saving call returns "OK", "0" or "" (the form stays open).
std::string SaveRec(Session& s, RecordFile& file, SaveRecList& list, int action, bool opening, Position& pos);

// Reports the last error of an in-memory list operation (the store's error
// condition); false when there was none or it was entry-not-found.
[[nodiscard]] bool QError(Session& s, int mode);
// The transaction check after beginning a transaction: true when it could
// not be started (the user has been told and it was rolled back).
[[nodiscard]] bool SemaFore(Session& s, int code);

// 3 remove a file, 4 remove every file matching a pattern in a directory,
// 5 does a file matching the name exist.
[[nodiscard]] bool DOSFunc(Session& s, int operation, const std::string& name, const std::string& directory);
// Sum of the sizes of the regular files matching a name or pattern.
uint64_t GetFSize(const std::string& nameOrPattern);

// Begins a transaction over the given files with the usual wait and runs the
// transaction check; false when it could not be started.
[[nodiscard]] bool beginWrites(Session& s, const std::vector<RecordFile*>& files, int waitSeconds = 5);

}  // namespace quill

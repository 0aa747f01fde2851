// An import definition: what an import run reads (file type, files) and
// where it stores (forum database, mailbox), as the import wizard fills it,
// as it is saved as a predefined import procedure (a Batches record with its
// FileSpecs) and loaded again to run unattended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database/Session.h"

namespace quill {

// File selection methods (BAT:SELMETHOD).
enum SelectionMethod : uint8_t {
    SelectTree = 0,       // every file matching the masks in a directory tree
    SelectDirectory = 1,  // every file matching the masks in one directory
    SelectFiles = 2,      // the selected files only
};

// BAT:TYPE of a predefined import procedure.
inline constexpr uint32_t ImportProcedureType = 1;

struct ImportDefinition {
    uint32_t id = 0;               // BAT:ID once saved
    std::string description;       // BAT:DESCRIPTION
    uint32_t database = 0;         // BAT:DATABASE: target Forum database (FOR:ID)
    uint8_t fileType = 17;         // BAT:FILETYPE: number in the file type table
                                   // (17 "WinCIM" until a type is chosen)
    std::string typeName = "WinCIM";  // the import type name (22 characters)
    std::string impPath;           // BAT:IMPPATH: top directory / directory
    uint8_t selMethod = SelectTree;
    uint32_t mailbox = 0;          // BAT:MAILBOX: target Mail database (FOR:ID)
    uint8_t mailMsg = 1;           // BAT:MAILMSG
    uint8_t forumMsg = 1;          // BAT:FORUMMSG
    uint8_t newsgroupMsg = 1;      // BAT:NEWSGROUPMSG
    uint8_t msgFilter = 0;         // BAT:MSGFILTER: 2 = the readers skip every message
    uint8_t allowReimp = 0;        // BAT:ALLOWREIMP
    uint32_t mailTopic = 0;        // BAT:MAILTOPIC (COD:ID), 0 = none
    // The masks (methods 0 and 1) or the selected file names (method 2),
    // separated by ";" ("##" between Outlook folders). A selected name that
    // is an absolute path is taken as it stands.
    std::string masks;
    // The run's forum name when no forum database is given by identifier
    // (the forum readers then create the database under this name).
    std::string forumName;
};

// The separator of the mask or selection string of a type: "##" for
// "Outlook Mail", ";" for every other.
std::string selectionSeparator(const std::string& typeName);
// Splits a mask or selection string from its end, as the run and the saved
// FileSpecs take it: the last entry first. Empty entries are left out.
std::vector<std::string> splitSelectionFromEnd(const std::string& text, const std::string& separator);

// "Saved from ImportWizard  " + date (long date form) + " " + time. When that
// exceeds BAT:DESCRIPTION, the date goes without its weekday, so the time
// is never clipped off.
std::string savedDescription(int32_t date, int32_t time);

// Saves the definition as a new predefined import procedure: a Batches record
// with a new identifier (BAT:TYPE 1) and one FileSpecs record per mask or
// selected name, in one transaction; then the keys of FileSpecs are built.
// An empty description becomes savedDescription(now). Returns the new
// BAT:ID, 0 on failure (the user has been told).
[[nodiscard]] uint32_t saveImportDefinition(Session& s, ImportDefinition& def);

// Loads a saved procedure with its FileSpecs (the mask or selection string
// rebuilt, joined with ";" or "##"). The type name comes from the file type
// table. Empty when the Batches record is missing or is not an import
// procedure.
std::optional<ImportDefinition> loadImportDefinition(Session& s, uint32_t batchId);

// Every saved import procedure, in BAT:ID order.
std::vector<ImportDefinition> listImportDefinitions(Session& s);

// Copies a definition into / out of the Batches buffer.
void definitionToBatches(const ImportDefinition& def, BatchesRecord& BAT);
ImportDefinition definitionFromBatches(const BatchesRecord& BAT);

}  // namespace quill

// The choices of the import wizard (or of the command line) turned into an
// import definition: the file type by name, the files by one of the three
// selection methods, the target forum database (existing, or new by name) and
// mailbox, the message kinds, re-import and the mail topic. The rules are
// those of quillmer-cli import, so that the same choices give the same
// definition whichever way they were made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/Session.h"
#include "import/ImportDefinition.h"
#include "import/ImportTypes.h"

namespace quill {

struct ImportChoices {
    std::string type;                 // a table name or number (resolveImportType)
    SelectionMethod method = SelectTree;
    std::string directory;            // methods 0 and 1
    std::string masks;                // methods 0 and 1; "" = the type's default masks
    std::vector<std::string> files;   // method 2: the selected files
    std::string forumDatabase;        // a forum database by name, new or existing; "" = none
    std::string mailbox;              // an existing mail database by name; "" = none
    bool mailMsg = true, forumMsg = true, newsgroupMsg = true;
    bool allowReimport = false;
    uint32_t mailTopic = 0;           // a topic (COD:ID) of the mailbox, 0 = none
    bool save = false;                // saved as a predefined import procedure
    std::string description;          // its description ("" = "Saved from ImportWizard ...")
};

struct DefinitionOutcome {
    ImportDefinition def;
    std::string error;                // why the choices make no definition ("" = they do)
    bool ok() const { return error.empty(); }
};

// Names are archive text (Windows-1252). Relative paths are taken from the
// current directory. Nothing is written.
DefinitionOutcome buildImportDefinition(Session& s, const ImportChoices& c,
                                        const ReaderRegistry& registry = ReaderRegistry::builtin());

// A topic of a mail database: Codes records of kind 2.
struct MailTopic {
    uint32_t id = 0;
    std::string name;
};
// The topics of the mail database mailbox, in name order; the selected
// database is unchanged afterwards.
std::vector<MailTopic> mailTopicsOf(Session& s, uint32_t mailbox);

}  // namespace quill

// The import types (the file type table of the import wizard), the reader
// contract that every format reader implements, and the registry that maps
// an import type name to its reader.
//
// File type table: fifty rows of 25 characters, the type name blank-padded
// to 22 followed by the type number in three digits. Rows 41 to 50 are
// "Reserv" and are never offered; type 17 ("WinCIM") is the default.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database/Session.h"
#include "import/Headers.h"
#include "import/ImportDefinition.h"

namespace quill {

class TargetList;
class MailboxOwner;

// How the run opens and drives a file of a type.
enum class ReaderFamily : uint8_t {
    None,         // "Reserv" rows
    TextCapture,  // a line file, opened read-only, its capture format identified
    ForumTable,   // a forum reader's table, read record by record
    ByteFile,     // a raw byte file read through a window
    WholeFile,    // a reader that reads the whole file in one call
    Automation,   // no file: folders of a running mail program
};

struct ImportType {
    int number = 0;
    std::string_view name;
    std::string_view masks;       // default masks, ";"-separated ("" = none)
    ReaderFamily family = ReaderFamily::None;
    bool offered() const { return family != ReaderFamily::None; }
};

inline constexpr int ImportTypeRows = 50;
inline constexpr int OfferedImportTypes = 40;
inline constexpr int DefaultImportType = 17;
inline constexpr std::size_t ImportTypeNameWidth = 22;

// Number of the diagnostic type "Test Fixture" (not in the table, never
// offered by the wizard; see readers/FixtureReader.h).
inline constexpr int FixtureImportType = 200;
inline constexpr std::string_view FixtureImportTypeName = "Test Fixture";

// The table row of a type number 1..50 (nullptr outside).
const ImportType* importTypeByNumber(int number);
// The row whose name equals name (letter case and trailing blanks aside);
// nullptr when none. "Reserv" rows are never found.
const ImportType* importTypeByName(std::string_view name);
// The 25-character row: name blank-padded to 22, number in three digits.
std::string fileTypeRow(int number);
// The rows that the wizard offers (1..40), in number order.
std::vector<const ImportType*> offeredImportTypes();

// The run's type test: the import type name against a table name, over the
// shorter name's length ("OzWin I" also matches "OzWin II").
bool isImportType(std::string_view typeName, std::string_view tableName);

// True for the families whose progress total is the sum of the file sizes
// (byte files, whole-file readers, automation).
bool sizeDrivenFamily(ReaderFamily f);

// ---------------------------------------------------------------------------
// Reader contract

// The reader state byte: the run sets Open before the first call of a file,
// every later call carries Read.
enum ReaderState : uint8_t { ReaderRead = 99, ReaderOpen = 199 };

// What the run hands a reader, and what the reader hands back: the staged
// records (through stage...), the skipped count and the progress position.
class ReaderContext {
public:
    ReaderContext(Session& s, const ImportDefinition& def, TargetList& targets, MailboxOwner& owner,
                  uint32_t& identifierCounter);

    Session& s;
    const ImportDefinition& def;       // import type name, BAT fields
    TargetList& targets;
    MailboxOwner& owner;
    uint32_t& identifierCounter;       // the next staging number
    std::string forumName;             // the run's forum name
    std::string mailboxName;           // the full name of the run's Mail database
    int32_t batchSize = 25;            // the readers' batch size (SpeedVal setting 31)
    uint8_t state = ReaderOpen;
    double progress = 0;               // position in the current file: bytes or records
    uint32_t staged = 0;               // records appended to NewHR by this run
    uint32_t skipped = 0;              // messages the readers skipped
    std::string status;                // a status line a reader wants shown ("" = unchanged)
    // A write to a staging file failed (a full disk, most often): the run
    // ends staging at once with one message.
    bool stagingFailed = false;
    // The group each cross-posted article of the run was filed under, by its
    // identifier: a copy of it in another group's spool follows it there.
    std::unordered_map<std::string, std::string> crossPosted;

    // The target of a forum or newsgroup name (TargetList::FindTargetDatabase
    // with the run's counter).
    struct Target {
        uint32_t id = 0;
        bool importAllowed = false;
        uint8_t type = 0;
    };
    Target findTarget(std::string_view name, uint8_t kind);

    // The next staging number (the counter is incremented).
    uint32_t nextNumber() { return identifierCounter++; }

    // Appends NHR with NewHR.memo to NewHR and counts it.
    [[nodiscard]] bool stage();
    // Appends a carbon copy of the current NHR mail to TempCC.
    [[nodiscard]] bool stageCarbonCopy();
    // Appends an identifier string to TempID under a new staging number and
    // returns the number (0 on failure).
    uint32_t stageId(std::string_view idString);
    void skip() { ++skipped; }

    // The header parsers over this run (owner, identifier counter, TempID,
    // target list), applied to s.NHR. Each call hands the counter to the
    // parser and takes it back before it returns, so no other drawing of
    // numbers (findTarget, nextNumber, stageId) can fall between the two and
    // hand out a number twice.
    MailHeaderResult parseMailHeaders(LineQueue& queue, std::size_t firstLine);
    MailHeaderResult parseSeparatedMailHeaders(LineQueue& queue, std::size_t firstLine);
    InternetHeaderResult parseInternetHeaders(LineQueue& queue, std::size_t firstLine,
                                              const KnownValues* known = nullptr);

private:
    HeaderContext headerContext();
};

// How opening a file went.
enum class OpenOutcome : uint8_t {
    Ok,
    CannotOpen,      // errorText says why; the file is skipped
    NotRecognised,   // not a file of this type; the file is skipped
    Fatal,           // the run cannot go on (errorText is the message)
};

struct ReaderOpening {
    OpenOutcome outcome = OpenOutcome::Ok;
    std::string errorText;
    // Table readers: the record count; text captures: the file size. Size-
    // driven readers need not set it.
    double progressTotal = 0;
};

// One record of a table reader.
enum class RecordOutcome : uint8_t { Read, Bad, End };

class Reader {
public:
    virtual ~Reader() = default;
    // Called with state Open: opens the file (a folder for automation) and
    // gets ready to read.
    virtual ReaderOpening open(ReaderContext& c, const std::string& path) = 0;
    // Called with state Read, once per tick: stages a bounded amount
    // (batchSize messages or one window of bytes), advances c.progress, and
    // returns true when the file is finished. A whole-file reader reads
    // everything in its first call.
    virtual bool read(ReaderContext& c) = 0;
    // Table readers: one table record per call. Bad: a record the table
    // cannot deliver (the run counts it and abandons the file at the fifth).
    virtual RecordOutcome readRecord(ReaderContext& c) { return read(c) ? RecordOutcome::End : RecordOutcome::Read; }
    // Releases the file.
    virtual void close() {}
};

using ReaderFactory = std::function<std::unique_ptr<Reader>()>;

// The explicit list of readers: import type name -> family and factory.
class ReaderRegistry {
public:
    struct Entry {
        std::string typeName;
        int number = 0;
        ReaderFamily family = ReaderFamily::None;
        ReaderFactory make;
        bool hidden = false;   // a diagnostic type, not in the file type table
    };
    // Adds (or replaces) the reader of a type of the table (family from the
    // table) or, with hidden, of a diagnostic type of its own number.
    void add(std::string_view typeName, ReaderFactory make);
    void addHidden(std::string_view typeName, int number, ReaderFamily family, ReaderFactory make);
    // The entry of a name (letter case and trailing blanks aside).
    const Entry* find(std::string_view typeName) const;
    const Entry* findNumber(int number) const;
    const std::vector<Entry>& entries() const { return entries_; }

    // The built-in readers (readers/ReaderList.cpp).
    static const ReaderRegistry& builtin();

private:
    std::vector<Entry> entries_;
};

// Fills a registry with every built-in reader, in file type order.
void registerBuiltinReaders(ReaderRegistry& r);

// The text a run shows for a type that has no reader yet.
std::string noReaderText(std::string_view typeName);

// The type name and number of a type given by the user: a table name (letter
// case aside), a number 1..40, or a hidden type of the registry. Empty name
// when unknown.
struct TypeChoice {
    std::string name;
    int number = 0;
};
TypeChoice resolveImportType(std::string_view given, const ReaderRegistry& registry);

}  // namespace quill

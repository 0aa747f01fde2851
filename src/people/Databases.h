// Catalogue entries as the user creates and changes them: forum databases,
// mail databases with their owner person and alternative addresses, the typed
// lookup of a database by name, and the remembered active database. Both the
// desktop windows and the command-line tool call these operations; the
// windows add only their fields and the selection list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/Session.h"

namespace quill {

// Widths of the catalogue fields the user types.
inline constexpr std::size_t databaseNameWidth = 100;   // FOR:DESCRIPTION
inline constexpr std::size_t mailAddressWidth = 60;     // FOR:MAILADDRESS, FOR:ALTADDRESS
inline constexpr std::size_t altAddressCount = 10;      // FOR:ALTADDRESS DIM(10)

enum class DbStatus {
    Ok,
    EmptyName,           // a blank database name (the user has heard a beep)
    MissingAddress,      // a mail database without a default address (beep)
    TooManyAddresses,    // more than ten alternative addresses
    NotFound,            // no catalogue entry with that identifier
    NotMail,             // the entry is not a mail database
    NoIdentifier,        // the identifier generator failed (reported, rolled back)
    Duplicate,           // the name (or directory number) exists already (reported)
    WriteFailed,         // another write or transaction failure (reported)
};

struct [[nodiscard]] DbResult {
    DbStatus status = DbStatus::Ok;
    uint32_t id = 0;          // FOR:ID of the entry created or changed
    uint32_t dirNumber = 0;   // FOR:DIRNUMBER of the entry created
    int storeError = 0;       // the store's error number of a failed write
    bool ok() const { return status == DbStatus::Ok; }
};

// Add New Forum: a forum database named name. The catalogue record gets the
// next identifier and the next directory number (the highest FOR:DIRNUMBER
// plus 1); a name that differs from an existing one only in letter case is
// refused with the write routine's message. Then the directory F<number> is
// created under Mem.FileDir and its ForumRef written. The selected database
// (Mem.Dirnamn and the files open in it) is unchanged afterwards.
DbResult addForumDatabase(Session& s, std::string_view name);

// Add New Mail Database: creates the directory, then in one transaction over
// Forums, ForumRef, Person, PLINK and Control finds or creates the owner
// person (AddPers with the default address and the name), adds the catalogue
// record (FOR:TYPE 2, FOR:PERSONID the owner) and writes ForumRef. Both name
// and default address must be non-blank. Blank alternative addresses are
// skipped (the stored list ends at the first blank). With rememberId the new
// identifier is saved as preference 19.
DbResult addMailDatabase(Session& s, std::string_view name, std::string_view defaultAddress,
                         const std::vector<std::string>& altAddresses, bool rememberId = false);

// Update alternative addresses: replaces the alternative addresses of the
// mail database forumId and rewrites its ForumRef, in one transaction over
// Forums and ForumRef.
DbResult setAltAddresses(Session& s, uint32_t forumId, const std::vector<std::string>& altAddresses);

// The non-blank alternative addresses of the entry in the Forums buffer.
std::vector<std::string> altAddressesOf(const ForumsRecord& f);

// The catalogue entry forumId as it stands now; false when it has gone.
bool readDatabaseEntry(Session& s, uint32_t forumId, ForumsRecord& out);
// Every mail database of the catalogue, in name order, as its entry stands now.
std::vector<ForumsRecord> listMailDatabases(Session& s);

// One entry of the database selection list.
struct ForumCandidate {
    uint32_t id = 0;
    std::string description;
    uint8_t type = 0;
    uint32_t dirNumber = 0;
};

enum class LookupOutcome {
    Empty,     // nothing was typed
    Unique,    // one entry starts with the typed text
    Several,   // two or more entries start with it
    None,      // no entry starts with it
};

struct ForumLookup {
    LookupOutcome outcome = LookupOutcome::None;
    // Unique: the entry chosen.
    uint32_t id = 0;
    std::string name;
    uint8_t type = 0;
    // The selection list: every entry (of the type, when one was given) in
    // name order, where the list opens (the first match, or without one the
    // nearest name before the typed text), and how many entries from there
    // start with the typed text.
    std::vector<ForumCandidate> list;
    std::size_t position = 0;
    std::size_t matchCount = 0;
    // Whether the caller shows the selection list: always for several or no
    // matches, and for an empty text or a unique match when the show-list
    // flag was given.
    bool showList = false;
    bool chosen() const { return outcome == LookupOutcome::Unique; }
};

// The typed lookup of a database by name: entries whose name starts with the
// typed text (letter case and trailing blanks ignored), of FOR:TYPE type when
// type is not 0. The selection list is the caller's: when showList is set in
// the result it lets the user choose, and the choice replaces the returned
// entry.
ForumLookup ForumLup(Session& s, std::string_view typed, bool showList = false, uint8_t type = 0);

// The catalogue entry whose name equals name (letter case and trailing blanks
// ignored); 0 when there is none. Leaves it in the Forums buffer.
uint32_t findDatabaseByName(Session& s, std::string_view name);

// The active database of the installation, remembered across program runs
// in the Control record of kind activeDatabaseKind (its FOR:ID in the value
// area).
inline constexpr uint8_t activeDatabaseKind = 21;
// Stores forumId (0 = none) as the remembered active database.
[[nodiscard]] bool saveActiveDatabase(Session& s, uint32_t forumId);
// The remembered FOR:ID, 0 when none was stored.
uint32_t loadActiveDatabase(Session& s);
// Selects the remembered database (selectDatabase); false, with no database
// selected, when none is remembered or its entry has gone.
bool restoreActiveDatabase(Session& s);
// Selects forumId and remembers it; false when its entry is missing.
[[nodiscard]] bool activateDatabase(Session& s, uint32_t forumId);

}  // namespace quill

// The target databases of an import run: every catalogue entry, the new
// forum and newsgroup databases the readers meet, and the entries that
// received staged messages ("touched"). Kept in memory for one run.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "database/Session.h"

namespace quill {

class TaskLink;

struct TargetEntry {
    uint32_t id = 0;               // FOR:ID
    uint32_t stagingId = 0;        // the FOR:ID its staged messages carry: id, unless another program
                                   // created the database of this name first (then id is that one's)
    std::string description;       // FOR:DESCRIPTION (100)
    std::string upper;             // upper-cased description: the list's order
    uint32_t dirNumber = 0;        // FOR:DIRNUMBER
    bool isNew = false;            // not yet in Forums
    bool importAllowed = true;     // not FOR:NOIMPORT
    uint8_t type = 0;              // 1 Forum, 2 Mail, 3 Newsgroup
    uint32_t redirTarget = 0;      // FOR:REDIRNOW, 0 = none
    std::string redirName;         // the redirection target's description
};

struct TargetFound {
    uint32_t id = 0;
    bool importAllowed = false;
    uint8_t type = 0;
};

class TargetList {
public:
    // load: empties both lists and fills the target list from every Forums
    // record (Forums must be open). A redirection whose target is missing or
    // itself redirected is dropped. The run's next directory number becomes
    // the highest FOR:DIRNUMBER plus 1.
    void load(Session& s);

    // The target of a name that a reader met (kind 3 = Newsgroup, anything
    // else a forum). An unknown name becomes a new entry with a new
    // identifier and the run's next directory number. A newsgroup entry
    // writes its identifier and name into NHR.SECTIONNUMBER and
    // NHR.SEC_DESCRIPTION (a newsgroup is its own section); a redirected
    // entry gives its target. An import-allowed result is added to the
    // touched list. kind is set to the result's type.
    //
    // While staging, new identifiers come from the run's identifier counter
    // (identifierCounter, incremented): the run holds the Control counter
    // then, and NextNr would hand out numbers the run also gives to staged
    // messages. Without a counter NextNr is used (Control must be open).
    TargetFound FindTargetDatabase(Session& s, std::string_view name, uint8_t& kind,
                                   uint32_t* identifierCounter = nullptr);

    // find: is the name (letter case aside) in the target list?
    bool find(std::string_view name) const;
    const TargetEntry* entry(std::string_view name) const;

    // prune: keeps only the touched entries; in a scheduled run each one is
    // passed to the task runner (CleanUp code 2). False when none is left.
    bool prune(Session& s, TaskLink* task);

    // select: makes the named entry the active database. A new entry gets its
    // Forums record now; a missing directory is created (and the database's
    // ForumRef written). False when the name is not in the list or the
    // catalogue entry cannot be written.
    [[nodiscard]] bool select(Session& s, std::string_view name);
    // The same for an entry already taken out of the list (takeFirst).
    [[nodiscard]] bool selectEntry(Session& s, TargetEntry& entry);

    // Takes the first touched entry out of the touched list and makes it the
    // active database; false when the touched list is empty.
    bool takeNextTouched(Session& s);

    // The first entry of the target list (the store phase's next database),
    // taken out of the list; false when the list is empty.
    bool takeFirst(TargetEntry& out);

    void clear();

    std::vector<TargetEntry> entries() const;          // in name order
    const std::vector<TargetEntry>& touched() const { return touched_; }
    std::size_t size() const { return byName_.size(); }
    uint32_t nextDirNumber() const { return nextDir_; }

private:
    void touch(const TargetEntry& e);

    std::map<std::string, TargetEntry> byName_;  // keyed by the upper-cased description
    std::vector<TargetEntry> touched_;
    std::set<std::string> refused_;  // names already reported as of another kind
    uint32_t nextDir_ = 1;
};

}  // namespace quill

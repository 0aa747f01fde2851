// Threads and sections of an archive database as the import finds and
// creates them while it writes messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "database/Session.h"

namespace quill {

// Width of THR:HEADING (the subject) and of its leading part THR:ALPHA.
inline constexpr std::size_t threadHeadingWidth = 100;
inline constexpr std::size_t threadAlphaWidth = 10;

struct [[nodiscard]] ThreadRef {
    bool ok = false;        // false: the transaction has been rolled back, stop the message
    bool created = false;   // a new thread was added
    uint32_t number = 0;    // THR:THREADNUMBER
    std::string alpha;      // THR:ALPHA (the first 10 characters of the subject)
};

// The thread of a subject in a section: the thread whose whole heading equals
// the subject (both without trailing blanks, letter case counts, the subject
// clipped to 100 characters), else a new thread with the next identifier.
// Threads and Control must be open and the call inside a transaction over
// them (writes use UppDat mode 8). Leaves the thread in the Threads buffer.
ThreadRef lookupThread(Session& s, uint32_t secSysId, std::string_view subject);
// The second half of lookupThread alone: a new thread of the subject, for
// callers that know there is none yet.
ThreadRef addThread(Session& s, uint32_t secSysId, std::string_view subject);

// The heading of thread number (Threads must be open); empty when there is
// no such thread.
std::string threadHeading(Session& s, uint32_t number);

// A new section of a forum database: SEC:SECSYSID the next identifier, the
// section number as the message gives it, the name, count 0. Sections and
// Control must be open, inside a transaction over them. Returns the new
// SEC:SECSYSID, 0 on failure (the transaction has been rolled back).
[[nodiscard]] uint32_t addForumSection(Session& s, uint32_t sectionNumber, std::string_view name);

// The section of a newsgroup in a newsgroup database: SEC:SECSYSID and
// SEC:SECTIONNUMBER are both the newsgroup's own FOR:ID. An existing section
// gets the name as its description, otherwise it is added with count 0.
// Sections must be open, inside a transaction over it. False on failure (the
// transaction has been rolled back).
[[nodiscard]] bool addNewsgroupSection(Session& s, uint32_t newsgroupForumId, std::string_view name);

}  // namespace quill

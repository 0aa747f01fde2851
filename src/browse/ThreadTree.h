// The reply tree of one thread: every message of the thread as a node under
// the message it replies to, in pre-order with the lowest-numbered child
// first. Building the levels and the order needs no display; the thread tree
// window only puts the rows into its tree control.
#pragma once

#include "database/PreferenceNumbers.h"

#include <cstdint>
#include <string>
#include <vector>

#include "database/Session.h"

namespace quill {

// One message of the thread, as the tree works on it.
struct ThreadEntry {
    uint32_t msgNumber = 0;   // MSG:MSGNUMBER
    uint32_t parent = 0;      // MSG:REFNUMBER; 0 when 0 or the message's own number
    std::string sender;       // first name, a blank and last name (at most 35 characters)
    int32_t date = 0;         // MSG:DATE
    int level = 0;            // 0 not known; 1 a root; n + 1 a reply to a message of level n
    bool hasReplies = false;  // another message of the thread names it as parent
    bool shown = false;       // added to the tree
};

// One row of the tree control.
struct TreeRow {
    std::string text;         // at most 200 characters, Windows-1252
    bool folder = false;      // the folder icon (a message with replies), else the file icon
    int level = 0;            // 1 for a root
    uint32_t msgNumber = 0;
    bool operator==(const TreeRow&) const = default;
};

// The number of the preference that chooses the row text (1 to 5).
inline constexpr int kThreadTreeDisplayPreference = pref::ThreadTreeDisplay;
inline constexpr std::size_t kTreeSenderLength = 35;
inline constexpr std::size_t kTreeRowLength = 200;

// An entry with the parent rule applied: a reference to itself or to 0 is no
// parent.
ThreadEntry threadEntry(uint32_t msgNumber, uint32_t refNumber, std::string sender = {}, int32_t date = 0);

// Gives every entry its level: a message whose parent is not in the list is a
// root (level 1), a reply gets its parent's level + 1 and marks the parent as
// having replies. A message whose chain of parents never reaches a root (a
// cycle such as a -> b -> a, or a reply into one) keeps level 0.
void assignLevels(std::vector<ThreadEntry>& entries);

// The rows in pre-order: the lowest-numbered root first, under each node its
// replies in ascending number, each subtree complete before the next sibling.
// Entries of level 0 are left out. Marks the entries it shows. assignLevels
// must have run.
std::vector<TreeRow> treeRows(std::vector<ThreadEntry>& entries, int display, const std::string& datePicture);

// The row text by the display preference: 1 sender; 2 sender and number;
// 3 sender and date; 4 sender, number and date; 5 sender, date and number.
// Other values are taken as 1.
std::string treeRowText(const ThreadEntry& e, int display, const std::string& datePicture);

// The messages of a thread of the selected forum or newsgroup database, by
// number, read along MSG:THREADKEY; empty when the thread does not exist.
std::vector<ThreadEntry> readThread(Session& s, uint32_t threadNumber);

// The whole tree of a thread with the user's display preference and date
// format.
std::vector<TreeRow> buildThreadTree(Session& s, uint32_t threadNumber);

}  // namespace quill

// Key words and topics of the selected database: the Codes file (one record
// per code) and the SIndex links between codes and messages, with the
// invariant that COD:COUNT equals the number of a code's links. The topic
// form, the topic lists, the per-message topic marks, set classification,
// the key word indexing and the purge upkeep all work through these
// operations; the windows add only their controls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/Session.h"

namespace quill {

enum CodeType : uint8_t { CodeKeyWord = 1, CodeTopic = 2 };

struct CodeEntry {
    uint32_t id = 0;
    uint8_t type = 0;
    std::string name;       // COD:INDEX
    uint32_t count = 0;
    int32_t date = 0, time = 0;
    bool charCase = false, wordOnly = false;
};

enum class CodeStatus {
    Ok,
    EmptyName,      // a blank name (the user has heard a beep)
    Duplicate,      // the name exists in this kind, letter case aside (reported)
    NotFound,       // no code with that identifier
    NoIdentifier,   // the identifier generator failed
    NoTopic,        // set classification without a topic ("No topic selected!")
    WriteFailed,    // reported; a failed deletion was rolled back
};

struct [[nodiscard]] CodeResult {
    CodeStatus status = CodeStatus::Ok;
    uint32_t id = 0;
    bool ok() const { return status == CodeStatus::Ok; }
};

// The topic form. Insert: a new code of the kind with a fresh identifier,
// count 0 and no date; Match case and Match word only for key words.
CodeResult addCode(Session& s, uint8_t type, std::string_view name, bool charCase = false, bool wordOnly = false);
// Change: a new name (and, for key words, the two flags).
CodeResult changeCode(Session& s, uint32_t id, std::string_view name, bool charCase = false, bool wordOnly = false);
// Delete: the code and all its links in one transaction; when the code's
// deletion fails every link is back.
CodeResult deleteCode(Session& s, uint32_t id);
// A code by identifier; id 0 when absent.
CodeEntry findCode(Session& s, uint32_t id);
// A code of a kind by name (letter case aside); id 0 when absent.
CodeEntry findCodeByName(Session& s, uint8_t type, std::string_view name);

// Lkup1: the codes of a kind in COD:CLASSKEY order (alphabetical).
std::vector<CodeEntry> Lkup1(Session& s, uint8_t type);
// The window title of a code list: " " + description + " Topics [n]" or " Key Words [n]".
std::string codeListTitle(Session& s, uint8_t type, std::size_t count);

// The recount each time the topic list opens: every topic's count is set to
// its number of links. Returns the number of topics.
std::size_t recountTopics(Session& s);

// The per-message topic window: every topic with a mark telling whether the
// message is linked to it; toggling flips the link and moves the count by one.
struct TopicMark {
    CodeEntry code;
    bool linked = false;
};
std::vector<TopicMark> topicsOfMessage(Session& s, uint32_t message);
[[nodiscard]] bool toggleTopic(Session& s, uint32_t codeId, uint32_t message);

// Set classification: attaches (or removes) a topic on every message of a
// set, when a date range is given only on messages dated inside it. Adds only
// missing links and deletes only existing ones; counts are left to the next
// recount. Codes 0 is refused with "No topic selected!".
CodeResult classifySet(Session& s, uint32_t codeId, const std::vector<uint32_t>& messages, bool attach,
                       int32_t fromDate = 0, int32_t toDate = 0);

// Key word indexing: every message text is searched for every key word
// (Match case: letter case must agree; Match word: the whole-word rule of
// AISINB); a missing link is added, counts are set to the links and
// COD:DATE/COD:TIME stamped. Returns the number of links added, -1 on failure.
int64_t indexKeyWords(Session& s);

// Purge upkeep, in this order:
// "Removing orphaned search indexes": links of messages that no longer exist.
[[nodiscard]] bool removeOrphanedSearchIndexes(Session& s, int64_t* removed = nullptr);
// Links whose code no longer exists, even when the message does.
[[nodiscard]] bool removeLinksOfMissingCodes(Session& s, int64_t* removed = nullptr);
// "Updating key word index counts": every code's count set to its links.
[[nodiscard]] bool updateKeyWordIndexCounts(Session& s);

}  // namespace quill

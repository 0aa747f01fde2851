// The message browse over the selected database: one view of the header file
// (MsgNmbr, or Mail in a mail database) in one of several orders, optionally
// limited to one thread, section, sender, receiver or partner, read a page at
// a time by key from a row the caller already has. Nothing of the file is
// kept beyond the pages asked for, so a view opens at once on any size and
// shows what another program added when it is next read. The key word, topic
// and search views list the messages of the word index, SIndex and the
// search result set; their lists are as long as the word, topic or result.
//
// The view works on the files of its own session (a window's session), which
// must have a database selected.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "database/PreferenceNumbers.h"
#include "database/Session.h"

namespace quill {

enum class BrowseKind { Forum, Mail };  // Newsgroup databases browse as forums

enum class BrowseMode {
    Date, Thread, Section, Sender, Receiver, MsgNo,   // forum and newsgroup
    Subject, Partner,                                 // mail
    KeyWord, Topic, Search,                           // both
};

// One tab of a browse: its caption, locator width and the tool tips of its
// filter buttons (empty for a mode without a filter).
struct BrowseModeInfo {
    BrowseMode mode;
    const char* tab;
    int locatorWidth;     // characters of the locator field (0: a number or date)
    const char* limitTip;
    const char* previousTip;
    const char* nextTip;
    const char* lookupTip;
};
const std::vector<BrowseModeInfo>& browseModes(BrowseKind kind);
const BrowseModeInfo& browseModeInfo(BrowseKind kind, BrowseMode mode);

// Preferences for the person columns: 1 the name, 2 the name and address.
inline constexpr int messageBrowsePersonPref = pref::MessageBrowsePersonFormat;
inline constexpr int mailBrowsePersonPref = pref::MailBrowsePersonFormat;

struct BrowseRow {
    uint32_t id = 0;              // MSG:MSGNUMBER or MAI:MAILID
    Position pos;                 // in the view's key order (keyed modes)
    std::size_t listIndex = 0;    // in the list (key word, topic, search)
    std::string image;            // the header record as read
    int32_t date = 0, time = 0;
    uint32_t threadNumber = 0, secSysId = 0, fromId = 0, toId = 0, pairId = 0;
    uint8_t status = 0;
    // The columns as shown, in Windows-1252: forum "Date", "Thread",
    // "Sender", "Receiver", "Section"; mail "Date", "Time", "Subject",
    // "Sender", "Receiver".
    std::vector<std::string> columns;
    std::string subject;          // mail: MAI:SUBJECT
    bool operator==(const BrowseRow& o) const { return id == o.id; }
};

const std::vector<std::string>& browseColumns(BrowseKind kind);

// What a status command marks.
enum class StatusTarget { Message, Thread, Section, Partner, Database };
// The status pop-up's entries in order ("-" separators and the empty entry
// included), as the list the menu is built from.
std::string statusMenuText(BrowseKind kind);
// The target and value of a status pop-up entry text; false for a separator.
bool statusMenuEntry(BrowseKind kind, const std::string& entry, StatusTarget& target, uint8_t& value);

class BrowseView {
public:
    explicit BrowseView(Session& s);
    ~BrowseView();
    BrowseView(const BrowseView&) = delete;
    BrowseView& operator=(const BrowseView&) = delete;

    // Opens the files of the selected database; false when none is selected.
    bool open();
    void close();
    bool isOpen() const { return open_; }
    BrowseKind kind() const { return kind_; }
    Session& session() { return s_; }

    BrowseMode mode() const { return mode_; }
    void setMode(BrowseMode m);
    bool isListMode() const;

    // The filter of the current mode (thread number, section identifier or
    // person identifier); 0 = the whole file.
    uint32_t filter() const;
    bool canFilter() const;
    // Limits the view to the value of row in the current mode.
    void limitTo(const BrowseRow& row);
    void setFilter(uint32_t value);
    void clearFilter();

    // The key word, topic and search views: what they list.
    void setKeyWord(const std::string& word);
    void setTopic(uint32_t codeId);
    const std::string& keyWord() const { return keyWord_; }
    uint32_t topic() const { return topic_; }
    // Reads the lists of the list views afresh (after another window wrote them).
    void reloadList();

    // Pages, in view order.
    std::vector<BrowseRow> first(std::size_t n);
    std::vector<BrowseRow> last(std::size_t n);
    std::vector<BrowseRow> after(const BrowseRow& row, std::size_t n);
    std::vector<BrowseRow> before(const BrowseRow& row, std::size_t n);
    // From row on: row itself when it still exists, else the rows after its place.
    std::vector<BrowseRow> from(const BrowseRow& row, std::size_t n);

    // The first row at or after the locator value in view order (date
    // "yyyy-mm-dd", message number, or the leading characters of the key's
    // text); nullopt when there is none in the view.
    std::optional<BrowseRow> locate(const std::string& locator);
    std::optional<BrowseRow> locateDate(int32_t date);
    // The row of message id in this view; nullopt when it is not in it.
    std::optional<BrowseRow> locateMessage(uint32_t id);
    // The first row of the neighbouring value (thread, sender, receiver,
    // partner; the next thread within the section in the section view) in
    // key order. In a limited view the filter moves to the new value.
    std::optional<BrowseRow> neighbour(const BrowseRow& row, bool forward);

    // The text shown for a row (mail: "Subject: " subject CR LF CR LF text);
    // empty when the message has no text.
    std::string text(const BrowseRow& row);
    // Reads the row's header afresh; nullopt when it is gone.
    std::optional<BrowseRow> reread(const BrowseRow& row);

    // Writes value into the status byte of the one record the target names,
    // under a hold. Refused (false, the user told) when the record is held by
    // another program or the message changed since row was read; row is
    // brought up to date on success.
    bool setStatus(StatusTarget target, uint8_t value, BrowseRow& row);

    // Whether another program (or this one) wrote the header file since the
    // last call.
    bool fileChanged();
    // Forgets the cached names (persons, threads, sections) so a refresh
    // shows them as they now stand.
    void clearCaches();

private:
    int key() const;
    bool keyed() const { return !isListMode(); }
    bool readCurrent(BrowseRow& row);
    bool inFilter() const;
    void seekFilterStart(bool forward);
    std::vector<BrowseRow> walk(std::size_t n, bool forward);
    std::vector<BrowseRow> listRows(std::size_t from, std::size_t n, bool forward);
    bool readById(uint32_t id);
    std::string personText(uint32_t id);
    std::string threadText(uint32_t number);
    std::string sectionText(uint32_t secSysId);
    RecordFile& headers();
    uint32_t groupValue() const;
    bool seekGroupStart(uint32_t value, const BrowseRow* like);
    bool statusRecord(StatusTarget target, uint8_t value, const BrowseRow& row);

    Session& s_;
    bool open_ = false;
    BrowseKind kind_ = BrowseKind::Forum;
    BrowseMode mode_ = BrowseMode::Date;
    std::map<BrowseMode, uint32_t> filters_;
    std::map<BrowseMode, std::string> filterImages_;  // a header image holding the filter's key values
    std::string keyWord_;
    uint32_t topic_ = 0;
    std::vector<uint32_t> list_;
    std::vector<int> files_;
    std::string datePicture_, timePicture_;
    int personFormat_ = 1;
    std::map<uint32_t, std::string> persons_, threads_, sections_;
    struct Stamp {
        std::time_t sec = 0;
        long nsec = 0;
        off_t size = -1;
        bool operator==(const Stamp&) const = default;
    } stamp_;
};

// The lists the "Look up" buttons open: plain keyed pages of Threads,
// Sections, persons, key words or topics, from the leading characters typed.
enum class LookupKind { Threads, Sections, Persons, KeyWords, Topics };

struct LookupEntry {
    uint32_t id = 0;    // thread number, section identifier, person or code identifier
    std::string text;   // as shown (Windows-1252)
    Position pos;
};

class LookupList {
public:
    LookupList(Session& s, LookupKind kind);
    ~LookupList();
    LookupList(const LookupList&) = delete;
    LookupList& operator=(const LookupList&) = delete;
    // Entries from the first whose text starts at or after typed.
    std::vector<LookupEntry> from(const std::string& typed, std::size_t n);
    std::vector<LookupEntry> after(const LookupEntry& e, std::size_t n);

private:
    bool fill(LookupEntry& e);
    RecordFile& file();
    int key() const;
    Session& s_;
    LookupKind kind_;
    uint8_t codeType_ = 0;
};

}  // namespace quill

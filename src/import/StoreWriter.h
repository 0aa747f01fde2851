// The message store writer: turns one staged message (a NewHR record with its
// text, its carbon copies in TempCC and its identifier strings in TempID)
// into the records of an archive database: section, thread, persons, header
// (MsgNmbr or Mail), text (MsgText), carbon copies (CCR), identifier strings
// (MsgString) and the record of imported forum messages (ImportedMessages),
// and keeps the per-person, per-thread and per-section counts of what it
// stored. Also the mailbox-owner test that mail readers use.
//
// Staging files (temporary directory, written by the readers with append,
// keys built once when staging ends):
//   NewHR  (NHR)  one record per message + the text; key (INTERNAL, MSGNUMBER)
//   TempCC (CCT)  one record per further recipient of a mail; key (MAILID, ...)
//   TempID (TID)  one record per message identifier string met in news; key MSGNUMBER
//                 (an identifier of 60 characters or more has a companion
//                 record with its digest, see ArticleId)
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

#include "database/Session.h"

namespace quill {

// ---------------------------------------------------------------------------
// Mailbox owner

class MailboxOwner {
public:
    // Mode 2, set-up: reads the Forums record of the Mail database (Forums is
    // opened and closed) and fills the owner data; a missing record clears
    // them and Mem.PersonID becomes 0. The owner's sort name is cleared.
    void setUp(Session& s, uint32_t mailDatabaseId);
    // Mode 1, foreign test: true when the address (letter case aside) is none
    // of the eleven owner addresses.
    bool isForeign(std::string_view address) const;
    // Mode 3, direction: a sender that is not an owner address makes the
    // mail received (MAILTYPE 1, receiver = the owner's main address), else
    // it was sent (MAILTYPE 2, sender = the owner's main address). Both
    // addresses end lower-cased.
    void direction(NewHRRecord& NHR) const;

    // The same as one call with a mode, as the readers know it: mode 1 sets
    // result (1 foreign, 0 owner) for address; mode 2 sets up for forumId;
    // mode 3 applies the direction to NHR.
    void call(Session& s, int mode, uint32_t forumId, uint8_t& result, NewHRRecord& NHR,
              std::string_view address = {});

    uint32_t databaseId = 0;
    std::array<std::string, 11> addresses{};  // main + ten alternatives, lower-cased
    std::string name;                         // first 40 characters of FOR:DESCRIPTION
    std::string address;                      // FOR:MAILADDRESS
    uint32_t personId = 0;                    // FOR:PERSONID
    std::string sortName;                     // filled from the first owner message stored
};

// ---------------------------------------------------------------------------
// Staging

// Removes the three staging files and opens them anew, empty (OP_CLOSE
// counters move). Mem.TempDir must be set.
void openStagingFiles(Session& s);
// Closes the staging files (and removes them from disk when remove is set).
void closeStagingFiles(Session& s, bool remove);

// Appends the current NHR record with its text (NewHR.memo) to NewHR, with
// the control characters of its names, addresses and subject turned into
// blanks. The staging appends tell nothing: the run reports the first failed
// one.
[[nodiscard]] bool appendStagedMessage(Session& s);
void blankStagedControls(NewHRRecord& NHR);
// A carbon copy of the current staged mail: CCT.MAILID = NHR.REFNUMBER,
// CCT.R_NAME = the first 40 characters of NHR.R_NAME, CCT.R_CISADRESS,
// CCT.RECIPTYPE from NHR; appended to TempCC.
[[nodiscard]] bool AddStagedCarbonCopy(Session& s);
// An identifier string with its staging number, appended to TempID.
[[nodiscard]] bool appendStagedId(Session& s, std::string_view idString, uint32_t number);

// ---------------------------------------------------------------------------
// Article identifiers
//
// An identifier record (TID, MST) keeps 60 characters, and the MsgString key
// ignores letter case; two articles are the same only when their whole
// identifiers are equal, letter case included. So an identifier of 60
// characters or more is known by its first 60 characters and a 64-bit digest
// of the whole. Beside its record (first 60 characters -> number) it has a
// companion record: key DigestMark + 16 hex digits of the digest, number
// = the article's number + CompanionBit. An article whose 60-character key
// is held by another article (one that differs in letter case, or after 60
// characters) is registered by its companion record alone.
// Records written before companions existed are taken at their word: an
// identifier record without a companion stands for the identifier it holds.

struct ArticleId {
    std::string head;      // the first 60 characters
    bool isLong = false;   // 60 characters or more: head may not be the whole
    uint64_t digest = 0;   // of the whole identifier
};

inline constexpr uint32_t CompanionBit = 0x80000000u;
inline constexpr char DigestMark = '\x01';

ArticleId articleIdOf(std::string_view whole);
// The companion record's identifier string of a digest.
std::string digestString(uint64_t digest);

// The identifier staged under a staging number (TempID open), nullopt when
// there is none.
std::optional<ArticleId> stagedArticleId(Session& s, uint32_t number);

// The number registered for an identifier in the selected newsgroup
// database (MsgString open); nullopt when it is not there.
std::optional<uint32_t> findArticleNumber(Session& s, const ArticleId& id);

enum class Registration { Added, Taken, Failed };
// Registers an identifier under number (MsgString records added with op).
// Taken when its records are held already by others.
Registration registerArticle(Session& s, const ArticleId& id, uint32_t number,
                             const std::function<bool()>& add);

// ---------------------------------------------------------------------------
// Count lists of one target database

// Each entry is the change of a count by the messages of the open
// transaction: a message stored anew adds one; a message stored again under
// another thread, section or person moves one from the old to the new.
struct CountLists {
    // Changes to add; a message stored again under another sender, receiver,
    // thread or section takes one off what it had before.
    struct PersonCount {
        int64_t from = 0, to = 0;
    };
    std::map<uint32_t, PersonCount> persons;   // PQ: PERSONID -> FROMCOUNT, TOCOUNT
    std::map<uint32_t, int64_t> threads;       // TQ: THREADNUMBER -> MSGCOUNT
    std::map<uint32_t, int64_t> sections;      // SQ: SECSYSID -> MSGCOUNT
    void clear() {
        persons.clear();
        threads.clear();
        sections.clear();
    }
    bool empty() const { return persons.empty() && threads.empty() && sections.empty(); }
};

// Results of StoreStagedMessage.
enum StoreCode : uint8_t { StoreStored = 0, StoreDuplicate = 1, StoreFailed = 2 };

struct StoreResult {
    uint8_t code = StoreFailed;
    bool isNew = false;           // Forum/Newsgroup: a new header record was added
    uint32_t fromId = 0;          // sender PER:PERSONID
    uint32_t toId = 0;            // receiver PER:PERSONID
    uint32_t threadNumber = 0;
    // Forum/Newsgroup: the header this message replaced (isNew false), as it
    // stood before; its counts move to the new one.
    bool replaced = false;
    uint32_t oldThread = 0, oldSection = 0, oldFromId = 0, oldToId = 0;
};

// One thread found or created.
struct FoundThread {
    bool ok = false;
    uint32_t number = 0;
    std::string alpha;            // the thread's first ten heading characters
};

// ---------------------------------------------------------------------------
// The writer of one run

class StoreWriter {
public:
    StoreWriter(Session& s, MailboxOwner& owner) : s_(s), owner_(owner) {}

    // Run values: the import date and time of every stored text, re-import,
    // the mail topic.
    int32_t startDate = 0;
    int32_t startTime = 0;
    bool allowReimport = false;
    uint32_t mailTopic = 0;

    // Test hook: the text write of the k-th message stored by this writer
    // (counted from 1) fails like a failed record write. 0 = never.
    uint64_t failAtMessage = 0;

    // The section list of the selected Forum or Newsgroup database: loaded
    // from every Sections record (Sections open).
    void loadSections();
    // The section system identifier of the staged message (NHR.SECTIONNUMBER,
    // NHR.SEC_DESCRIPTION); a missing section is created. 0 for mail; 0 with
    // ok false on failure (the transaction has been rolled back).
    uint32_t sectionOf(uint8_t dbType, bool& ok);

    // Stores the current staged record (NHR and NewHR.memo) into the selected
    // database of type dbType. Must run inside the store transaction, with
    // the database's files open (see storeFiles). Code 0 adds the message
    // to the count lists.
    StoreResult StoreStagedMessage(uint8_t dbType, uint32_t secSysId);

    // The thread of a heading in a section: the first thread of the section
    // whose heading (clipped) equals it, else a new one. The threads of a
    // section are read once per database and then looked up by their whole
    // heading, so that many subjects with the same beginning cost no more
    // than varied ones.
    FoundThread FindThread(uint32_t secSysId, std::string_view heading);

    // The store transaction lost writes (a message was undone, or the whole
    // transaction rolled back), or a new one begins (another program may
    // have added sections and threads since the last): what the writer
    // remembers of the database (sections, threads) is read again from the
    // files.
    void forgetUncommitted(uint8_t dbType);

    // The identifier of a staging number (TempID); mode 1 for the message
    // itself, 2 for the message it refers to.
    std::optional<ArticleId> MessageIdLookup(int mode, uint32_t number);

    // The files the store transaction of a database type covers, and the
    // files a database type keeps open while it is stored.
    std::vector<RecordFile*> transactionFiles(uint8_t dbType);
    static std::vector<int> databaseFileNumbers(uint8_t dbType);

    // Applies the count lists (persons; threads for Forum and Newsgroup;
    // sections for Forum), at most limit entries per call, each record held
    // and updated; an entry whose record is missing is passed over. Returns
    // false on a failed write (rolled back). The applied entries leave the
    // lists.
    [[nodiscard]] bool applyPersonCounts(std::size_t limit);
    [[nodiscard]] bool applyThreadCounts(std::size_t limit);
    [[nodiscard]] bool applySectionCounts(std::size_t limit);

    CountLists counts;
    // Messages stored (code 0) by this writer.
    uint64_t stored() const { return stored_; }

    // The section list entry (SEQ) of a database.
    struct SectionEntry {
        uint32_t sectionNumber = 0;
        uint32_t secSysId = 0;
        std::string description;
    };
    const std::vector<SectionEntry>& sections() const { return sectionList_; }

private:
    StoreResult storeMail();
    StoreResult storeForum(uint32_t secSysId);
    StoreResult storeNews(uint32_t secSysId);
    bool threadOfAnswered(uint32_t number, FoundThread& thread);
    bool threadAndPersons(uint32_t secSysId, FoundThread& thread, StoreResult& r, std::string& fromLast,
                          std::string& toLast);
    [[nodiscard]] bool writeHeaderAndText(StoreResult& r, uint32_t secSysId, const FoundThread& thread,
                                          uint32_t fromId, const std::string& fromAlpha, uint32_t toId,
                                          const std::string& toAlpha);
    [[nodiscard]] bool addCarbonCopies(uint32_t stagedMailId, uint32_t mailId);
    [[nodiscard]] bool write(RecordFile& f, int op);
    [[nodiscard]] bool textWriteFails();
    void count(uint8_t dbType, const StoreResult& r, uint32_t secSysId);

    Session& s_;
    MailboxOwner& owner_;
    std::vector<SectionEntry> sectionList_;
    std::map<std::pair<uint32_t, std::string>, uint32_t> sectionIndex_;
    struct ThreadSlot {
        uint32_t number = 0;
        std::string alpha;
    };
    // Per section: the first thread of each whole heading.
    std::unordered_map<uint32_t, std::unordered_map<std::string, ThreadSlot>> threadIndex_;
    uint64_t stored_ = 0;
    uint64_t attempts_ = 0;
};

}  // namespace quill

// The message browse over a small archive imported through the fixture
// reader: orders, filters, locators, paging, refresh and the status writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "browse/BrowseTestKit.h"
#include "browse/BrowseView.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Preferences.h"
#include "import/ImportTestKit.h"
#include "people/Databases.h"
#include "search/Search.h"
#include "support/TestSupport.h"

using namespace quill;
using namespace quill::test;

namespace {

Fx message(const std::string& date, const std::string& section, const std::string& subject, const std::string& from,
           const std::string& to, const std::string& text = "Text.") {
    static uint32_t number = 1000;
    Fx m;
    m.number = ++number;
    m.date = date + " 10:00:00";
    m.section = section;
    m.subject = subject;
    m.from = from;
    m.to = to;
    m.text = text;
    return m;
}

const std::vector<Fx>& forumMessages() {
    static const std::vector<Fx> v = {
        message("2024-01-01", "1 General", "Apples", "Ann Lee <70000,1>", "Bob Ray <70000,2>", "first apple note"),
        message("2024-01-03", "1 General", "Pears", "Bob Ray <70000,2>", "Ann Lee <70000,1>"),
        message("2024-01-02", "2 Garden", "Roses", "Cy Doe <70000,3>", "All"),
        message("2024-01-05", "1 General", "Apples", "Bob Ray <70000,2>", "Cy Doe <70000,3>"),
        message("2024-01-05", "2 Garden", "Roses", "Ann Lee <70000,1>", "Bob Ray <70000,2>"),
        message("2024-01-04", "1 General", "Pears", "Cy Doe <70000,3>", "Ann Lee <70000,1>"),
        message("2024-01-07", "2 Garden", "Tulips", "Bob Ray <70000,2>", "All"),
        message("2024-01-06", "1 General", "Apples", "Ann Lee <70000,1>", "All"),
    };
    return v;
}

struct BrowseArchive : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    TempDir files;
    int runs = 0;
    uint32_t forumId = 0;

    void importInto(Session& session, const std::vector<Fx>& msgs, const std::string& forum = "Test Forum",
                     uint32_t mailbox = 0) {
        importFixture(session, files, runs, msgs, forum, mailbox);
    }
    void SetUp() override {
        importInto(s, forumMessages());
        forumId = findDatabaseByName(s, "Test Forum");
        ASSERT_NE(forumId, 0u);
        ASSERT_TRUE(selectDatabase(s, forumId));
    }
    static std::vector<uint32_t> ids(const std::vector<BrowseRow>& rows) {
        std::vector<uint32_t> v;
        for (auto& r : rows) v.push_back(r.id);
        return v;
    }
    // Every row of the view, paged forward from the start and backward from
    // the end, n rows at a time.
    static std::vector<uint32_t> pagedForward(BrowseView& v, std::size_t n) {
        std::vector<BrowseRow> all, page = v.first(n);
        while (!page.empty()) {
            all.insert(all.end(), page.begin(), page.end());
            page = v.after(all.back(), n);
        }
        return ids(all);
    }
    static std::vector<uint32_t> pagedBackward(BrowseView& v, std::size_t n) {
        std::vector<BrowseRow> all, page = v.last(n);
        while (!page.empty()) {
            all.insert(all.begin(), page.begin(), page.end());
            page = v.before(all.front(), n);
        }
        return ids(all);
    }
    static const BrowseRow& rowWith(const std::vector<BrowseRow>& rows, std::size_t column, const std::string& text) {
        for (auto& r : rows)
            if (r.columns[column] == text) return r;
        static BrowseRow none;
        ADD_FAILURE() << "no row with " << text;
        return none;
    }
};

const std::size_t colThread = 1, colSender = 2, colReceiver = 3, colSection = 4;

}  // namespace

TEST_F(BrowseArchive, EveryModeListsEveryMessageInItsKeyOrderWhetherPagedForwardOrBackward) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    for (BrowseMode m : {BrowseMode::Date, BrowseMode::Thread, BrowseMode::Section, BrowseMode::Sender,
                         BrowseMode::Receiver, BrowseMode::MsgNo}) {
        v.setMode(m);
        std::vector<BrowseRow> all = v.first(100);
        ASSERT_EQ(all.size(), forumMessages().size());
        for (std::size_t page : {1u, 2u, 3u, 7u}) {
            EXPECT_EQ(pagedForward(v, page), ids(all)) << int(m) << " page " << page;
            EXPECT_EQ(pagedBackward(v, page), ids(all)) << int(m) << " page " << page;
        }
        // Independent checks of each order on the shown values.
        for (std::size_t i = 1; i < all.size(); ++i) {
            const BrowseRow &a = all[i - 1], &b = all[i];
            switch (m) {
                case BrowseMode::Date:
                    EXPECT_TRUE(a.date > b.date || (a.date == b.date && a.id > b.id));
                    break;
                case BrowseMode::MsgNo:
                    EXPECT_GT(a.id, b.id);
                    break;
                case BrowseMode::Thread:
                    EXPECT_LE(a.columns[colThread], b.columns[colThread]);
                    break;
                case BrowseMode::Section:
                    EXPECT_LE(a.columns[colSection], b.columns[colSection]);
                    break;
                case BrowseMode::Sender:  // by last name
                    EXPECT_LE(a.columns[colSender].substr(a.columns[colSender].find(' ')),
                              b.columns[colSender].substr(b.columns[colSender].find(' ')));
                    break;
                default:
                    break;
            }
        }
    }
}

TEST_F(BrowseArchive, ALimitedViewShowsOneValueAndPreviousNextMoveTheFilterInKeyOrder) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    struct Case {
        BrowseMode mode;
        std::size_t column;
        std::string start;
        std::vector<std::string> forward;  // the values Next reaches in turn
        std::size_t count;                 // rows of the start value
    } cases[] = {
        {BrowseMode::Thread, colThread, "Apples", {"Pears", "Roses", "Tulips"}, 3},
        {BrowseMode::Sender, colSender, "Cy Doe <70000,3>", {"Ann Lee <70000,1>", "Bob Ray <70000,2>"}, 2},
        {BrowseMode::Receiver, colReceiver, "Cy Doe <70000,3>", {"Ann Lee <70000,1>", "Bob Ray <70000,2>"}, 1},
    };
    for (const Case& c : cases) {
        v.setMode(c.mode);
        std::vector<BrowseRow> all = v.first(100);
        v.limitTo(rowWith(all, c.column, c.start));
        std::vector<BrowseRow> rows = v.first(100);
        ASSERT_EQ(rows.size(), c.count) << c.start;
        for (auto& r : rows) EXPECT_EQ(r.columns[c.column], c.start);
        EXPECT_EQ(pagedBackward(v, 1), ids(rows));

        BrowseRow at = rows.front();
        for (const std::string& next : c.forward) {
            std::optional<BrowseRow> n = v.neighbour(at, true);
            ASSERT_TRUE(n) << next;
            EXPECT_EQ(n->columns[c.column], next);
            for (auto& r : v.first(100)) EXPECT_EQ(r.columns[c.column], next);
            at = *n;
        }
        EXPECT_FALSE(v.neighbour(at, true)) << "past the last value";
        std::optional<BrowseRow> back = v.neighbour(at, false);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->columns[c.column], c.forward.size() > 1 ? c.forward[c.forward.size() - 2] : c.start);
        // Previous lands on the first row of that value.
        EXPECT_EQ(back->id, v.first(1).front().id);
        v.clearFilter();
        EXPECT_EQ(v.first(100).size(), forumMessages().size());
    }
}

TEST_F(BrowseArchive, TheSectionViewStepsThreadByThreadWithinItsSection) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    v.setMode(BrowseMode::Section);
    std::vector<BrowseRow> all = v.first(100);
    v.limitTo(rowWith(all, colSection, "02 - Garden"));
    std::vector<BrowseRow> garden = v.first(100);
    ASSERT_EQ(garden.size(), 3u);
    std::optional<BrowseRow> next = v.neighbour(garden.front(), true);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->columns[colThread], "Tulips");
    EXPECT_FALSE(v.neighbour(*next, true));
    EXPECT_EQ(v.first(100).size(), 3u) << "the section filter stays";
}

TEST_F(BrowseArchive, LocatorsFindTheFirstRowAtOrAfterTheValue) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    struct Case {
        BrowseMode mode;
        std::string locator;
        std::size_t column;
        std::string expected;
    } cases[] = {
        {BrowseMode::Date, "2024-01-05", 0, "2024-01-05"},
        {BrowseMode::Date, "2024-01-04", 0, "2024-01-04"},
        {BrowseMode::Thread, "pe", colThread, "Pears"},
        {BrowseMode::Thread, "q", colThread, "Roses"},
        {BrowseMode::Section, "gar", colSection, "02 - Garden"},
        {BrowseMode::Section, "2", colSection, "02 - Garden"},
        {BrowseMode::Sender, "ray", colSender, "Bob Ray <70000,2>"},
        {BrowseMode::Receiver, "d", colReceiver, "Cy Doe <70000,3>"},
    };
    setKonfigNumber(s, 10, 10);  // dates as yyyy-mm-dd
    v.open();
    for (const Case& c : cases) {
        v.setMode(c.mode);
        std::optional<BrowseRow> r = v.locate(c.locator);
        ASSERT_TRUE(r) << c.locator;
        EXPECT_EQ(r->columns[c.column], c.expected) << c.locator;
    }
    v.setMode(BrowseMode::Date);
    EXPECT_EQ(v.locate("2024-01-06")->id, v.first(100)[1].id) << "the newest message of that day";
    EXPECT_FALSE(v.locate("2023-12-31")) << "nothing that old";
    EXPECT_FALSE(v.locate("no date"));

    v.setMode(BrowseMode::MsgNo);
    std::vector<BrowseRow> byNumber = v.first(100);
    EXPECT_EQ(v.locate(std::to_string(byNumber[3].id))->id, byNumber[3].id);
    EXPECT_EQ(v.locate(std::to_string(byNumber[3].id + 0))->id, byNumber[3].id);
    EXPECT_EQ(v.locate("99999999")->id, byNumber.front().id);
}

TEST_F(BrowseArchive, ABookmarkedMessageIsFoundAgainInAnyModeUnlessFilteredOut) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    std::vector<BrowseRow> byDate = v.first(100);
    uint32_t bookmark = byDate[4].id;
    for (BrowseMode m : {BrowseMode::Thread, BrowseMode::Sender, BrowseMode::MsgNo, BrowseMode::Date}) {
        v.setMode(m);
        std::optional<BrowseRow> r = v.locateMessage(bookmark);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->id, bookmark);
        // The located row continues the view as the walk does.
        std::vector<BrowseRow> all = v.first(100);
        auto at = std::find(all.begin(), all.end(), *r);
        ASSERT_NE(at, all.end());
        std::vector<BrowseRow> rest(at + 1, all.end());
        EXPECT_EQ(ids(v.after(*r, 100)), ids(rest));
    }
    v.setMode(BrowseMode::Thread);
    std::vector<BrowseRow> all = v.first(100);
    const BrowseRow& other = *std::find_if(all.begin(), all.end(), [&](auto& r) {
        return r.threadNumber != byDate[4].threadNumber;
    });
    v.limitTo(other);
    EXPECT_FALSE(v.locateMessage(bookmark));
}

TEST_F(BrowseArchive, ARowAnotherProgramAddsAppearsOnRefreshAndADeletedOneVanishes) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    std::vector<BrowseRow> before = v.first(100);
    EXPECT_FALSE(v.fileChanged());

    RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    importInto(*other, {message("2024-02-01", "1 General", "Plums", "Dee Fox <70000,4>", "All")});
    EXPECT_TRUE(v.fileChanged());
    std::vector<BrowseRow> now = v.first(100);
    ASSERT_EQ(now.size(), before.size() + 1);
    EXPECT_EQ(now.front().columns[colThread], "Plums");
    EXPECT_EQ(now.front().columns[colSender], "Dee Fox <70000,4>");
    // Paging on from a row read before the import reaches the new one too.
    EXPECT_EQ(v.before(before.front(), 10).size(), 1u);

    // The other program deletes a message the view has shown.
    ASSERT_TRUE(selectDatabase(*other, forumId));
    OP_CLOSE(*other, OpOpenShared, {MsgNmbrFile::Number});
    other->MsgNmbr.clearBuffer();
    other->MSG.MSGNUMBER = before[2].id;
    ASSERT_TRUE(other->MsgNmbr.get(MsgNmbrFile::IDKEY));
    ASSERT_TRUE(other->MsgNmbr.del());
    OP_CLOSE(*other, OpClose, {MsgNmbrFile::Number});

    EXPECT_FALSE(v.reread(before[2]));
    std::vector<BrowseRow> after = v.after(before[1], 100);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().id, before[3].id) << "the vanished row is skipped";
    EXPECT_EQ(v.from(before[2], 1).front().id, before[3].id);
}

TEST_F(BrowseArchive, AStatusCommandWritesExactlyOneStatusByte) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    auto snapshot = [&](RecordFile& f) {
        std::vector<std::string> images;
        f.setPhysical();
        while (f.next()) images.emplace_back(reinterpret_cast<const char*>(f.buffer()), f.recordSize());
        return images;
    };
    std::vector<BrowseRow> rows = v.first(100);
    BrowseRow row = rows[3];
    auto messagesBefore = snapshot(s.MsgNmbr);
    auto threadsBefore = snapshot(s.Threads);

    ASSERT_TRUE(v.setStatus(StatusTarget::Message, 2, row));
    EXPECT_EQ(row.status, 2);
    auto messagesAfter = snapshot(s.MsgNmbr);
    int changedBytes = 0;
    for (std::size_t i = 0; i < messagesBefore.size(); ++i)
        for (std::size_t b = 0; b < messagesBefore[i].size(); ++b) changedBytes += messagesBefore[i][b] != messagesAfter[i][b];
    EXPECT_EQ(changedBytes, 1);
    EXPECT_EQ(snapshot(s.Threads), threadsBefore);

    // Delete Thread marks the thread record only; its messages keep their status.
    ASSERT_TRUE(v.setStatus(StatusTarget::Thread, 2, row));
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = row.threadNumber;
    ASSERT_TRUE(s.Threads.get(ThreadsFile::THREADKEY));
    EXPECT_EQ(uint8_t(s.THR.DUMMY), 2);
    EXPECT_EQ(snapshot(s.MsgNmbr), messagesAfter);

    ASSERT_TRUE(v.setStatus(StatusTarget::Section, 1, row));
    s.Sections.clearBuffer();
    s.SEC.SECSYSID = row.secSysId;
    ASSERT_TRUE(s.Sections.get(SectionsFile::SYSIDKEY));
    EXPECT_EQ(uint8_t(s.SEC.DUMMY), 1);

    ASSERT_TRUE(v.setStatus(StatusTarget::Database, 1, row));
    EXPECT_EQ(s.Mem.ForumCheck, 1);
    OP_CLOSE(s, OpOpenShared, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.ID = forumId;
    ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY));
    EXPECT_EQ(uint8_t(s.FOR.DUMMY), 1);
    OP_CLOSE(s, OpClose, {ForumsFile::Number});
    EXPECT_FALSE(v.setStatus(StatusTarget::Partner, 1, row)) << "no partners in a forum";
}

TEST_F(BrowseArchive, AStatusCommandIsRefusedWhileAnotherProgramHoldsOrChangedTheMessage) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    BrowseRow row = v.first(1).front();

    RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    ASSERT_TRUE(selectDatabase(*other, forumId));
    OP_CLOSE(*other, OpOpenShared, {MsgNmbrFile::Number});
    other->MsgNmbr.clearBuffer();
    other->MSG.MSGNUMBER = row.id;
    ASSERT_EQ(HoldRec(*other, other->MsgNmbr, MsgNmbrFile::IDKEY, true, {}), 1);

    inst.ui.clear();
    EXPECT_FALSE(v.setStatus(StatusTarget::Message, 1, row));
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "The record is locked by another user!\r\nUpdate is cancelled, try again later!");
    EXPECT_EQ(v.reread(row)->status, 0);

    // The other program writes the record and lets go; the view's row is now stale.
    other->MSG.DUMMY = 1;
    ASSERT_TRUE(UppDat(*other, other->MsgNmbr, UpdPut, UpdReport));
    other->MsgNmbr.release();
    OP_CLOSE(*other, OpClose, {MsgNmbrFile::Number});
    BrowseRow stale = row;
    inst.ui.clear();
    EXPECT_FALSE(v.setStatus(StatusTarget::Message, 2, stale));
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "The record has just been changed by another user!\r\nTry again!");
    EXPECT_EQ(stale.status, 1) << "the other program's write stands and the row shows it";
    EXPECT_TRUE(v.setStatus(StatusTarget::Message, 2, stale));
    EXPECT_EQ(v.reread(stale)->status, 2);
}

TEST_F(BrowseArchive, PersonsAndSectionsAreShownAsThePreferencesAndDatabaseSay) {
    setKonfigNumber(s, messageBrowsePersonPref, 1);
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    v.setMode(BrowseMode::Sender);
    EXPECT_EQ(v.first(1).front().columns[colSender], "Cy Doe");
    s.Mem.TargetNG = 1;
    v.clearCaches();
    v.setMode(BrowseMode::Section);
    EXPECT_EQ(v.first(1).front().columns[colSection], "General");
}

TEST_F(BrowseArchive, ListViewsShowWhatTheirFilesHoldSkippingPurgedMessages) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    std::vector<BrowseRow> byDate = v.first(100);
    v.setMode(BrowseMode::KeyWord);
    EXPECT_TRUE(v.first(10).empty()) << "never indexed";
    EXPECT_FALSE(v.locate("apple"));
    v.setMode(BrowseMode::Search);
    EXPECT_TRUE(v.first(10).empty()) << "never searched";

    ASSERT_TRUE(writeResultSet(s, {byDate[5].id, byDate[1].id, 999999u, byDate[3].id}));
    v.setMode(BrowseMode::Search);
    std::vector<uint32_t> expected = {byDate[5].id, byDate[1].id, byDate[3].id};
    EXPECT_EQ(pagedForward(v, 1), expected);
    EXPECT_EQ(pagedBackward(v, 2), expected);
    EXPECT_EQ(v.locateMessage(byDate[1].id)->listIndex, 1u);

    // A topic links messages through SIndex.
    OP_CLOSE(s, OpOpenShared, {CodesFile::Number, SIndexFile::Number});
    s.Codes.clearBuffer();
    s.COD.TYPE = 2;
    s.COD.INDEX = "Fruit";
    s.COD.ID = 777;
    ASSERT_TRUE(s.Codes.add());
    for (uint32_t id : {byDate[0].id, byDate[2].id}) {
        s.SIndex.clearBuffer();
        s.SIN.ID = 777;
        s.SIN.MSGNUMBER = id;
        ASSERT_TRUE(s.SIndex.add());
    }
    OP_CLOSE(s, OpClose, {CodesFile::Number, SIndexFile::Number});
    v.setMode(BrowseMode::Topic);
    std::optional<BrowseRow> r = v.locate("fru");
    ASSERT_TRUE(r);
    EXPECT_EQ(v.topic(), 777u);
    std::vector<uint32_t> topicIds = ids(v.first(10));
    std::vector<uint32_t> want = {std::max(byDate[0].id, byDate[2].id), std::min(byDate[0].id, byDate[2].id)};
    EXPECT_EQ(topicIds, want) << "newest number first";

    LookupList topics(s, LookupKind::Topics);
    std::vector<LookupEntry> e = topics.from("", 10);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].text, "Fruit");
    EXPECT_TRUE(topics.after(e[0], 10).empty());
}

TEST_F(BrowseArchive, LookupListsPageThroughTheirFileFromTheTypedText) {
    struct Case {
        LookupKind kind;
        std::string typed;
        std::vector<std::string> texts;
    } cases[] = {
        {LookupKind::Threads, "", {"Apples", "Pears", "Roses", "Tulips"}},
        {LookupKind::Threads, "r", {"Roses", "Tulips"}},
        {LookupKind::Sections, "", {"General", "Garden"}},
        {LookupKind::Persons, "l", {"Ann Lee <70000,1>", "Bob Ray <70000,2>"}},
    };
    for (const Case& c : cases) {
        LookupList l(s, c.kind);
        std::vector<LookupEntry> all, page = l.from(c.typed, 1);
        while (!page.empty()) {
            all.insert(all.end(), page.begin(), page.end());
            page = l.after(all.back(), 1);
        }
        std::vector<std::string> texts;
        for (auto& e : all)
            if (e.text != "All") texts.push_back(e.text);
        if (c.kind == LookupKind::Sections) std::sort(texts.begin(), texts.end(), std::greater<>());
        EXPECT_EQ(texts, c.texts) << c.typed;
    }
}

namespace {
struct MailArchive : BrowseArchive {
    uint32_t mailId = 0;
    void SetUp() override {
        DbResult r = addMailDatabase(s, "Owner", "owner@example.com", {});
        ASSERT_TRUE(r.ok());
        mailId = r.id;
        std::vector<Fx> msgs;
        const char* partners[] = {"Ann Lee <ann@example.org>", "Bob Ray <bob@example.org>", "Ann Lee <ann@example.org>"};
        for (int i = 0; i < 3; ++i) {
            Fx m;
            m.kind = "mail";
            m.date = "2024-03-0" + std::to_string(i + 1) + " 09:00:00";
            m.from = partners[i];
            m.to = "Owner <owner@example.com>";
            m.subject = "Note " + std::to_string(i + 1);
            m.text = "Body " + std::to_string(i + 1);
            msgs.push_back(m);
        }
        importInto(s, msgs, "", mailId);
        ASSERT_TRUE(selectDatabase(s, mailId));
    }
};
}  // namespace

TEST_F(MailArchive, MailTextStartsWithTheSubjectAndThePartnerViewGroupsByPartner) {
    BrowseView v(s);
    ASSERT_TRUE(v.open());
    EXPECT_EQ(v.kind(), BrowseKind::Mail);
    std::vector<BrowseRow> byDate = v.first(10);
    ASSERT_EQ(byDate.size(), 3u);
    EXPECT_EQ(byDate[0].columns[2], "Note 3");
    EXPECT_EQ(v.text(byDate[0]), "Subject: Note 3\r\n\r\nBody 3");

    v.setMode(BrowseMode::Partner);
    std::vector<BrowseRow> rows = v.first(10);
    ASSERT_EQ(rows.size(), 3u);
    v.limitTo(rows.front());
    ASSERT_EQ(v.first(10).size(), 2u);
    EXPECT_EQ(v.first(10)[0].columns[2], "Note 3") << "each partner's mail newest first";
    std::optional<BrowseRow> next = v.neighbour(rows.front(), true);
    ASSERT_TRUE(next);
    EXPECT_EQ(ids(v.first(10)), std::vector<uint32_t>{next->id});

    v.setMode(BrowseMode::Subject);
    EXPECT_EQ(v.locate("note 2")->columns[2], "Note 2");

    BrowseRow row = byDate[1];
    ASSERT_TRUE(v.setStatus(StatusTarget::Partner, 2, row));
    s.Person.clearBuffer();
    s.PER.PERSONID = row.pairId;
    ASSERT_TRUE(s.Person.get(PersonFile::PERSONKEY));
    EXPECT_EQ(uint8_t(s.PER.DUMMY), 2);
    EXPECT_FALSE(v.setStatus(StatusTarget::Thread, 2, row)) << "no threads in mail";
}

TEST(BrowseStatusMenu, EveryEntryNamesItsTargetAndValue) {
    for (BrowseKind kind : {BrowseKind::Forum, BrowseKind::Mail}) {
        std::string menu = statusMenuText(kind);
        std::set<std::pair<int, int>> seen;
        std::size_t start = 0;
        int entries = 0;
        while (start <= menu.size()) {
            std::size_t bar = menu.find('|', start);
            std::string entry = menu.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            StatusTarget t;
            uint8_t value;
            if (statusMenuEntry(kind, entry, t, value)) {
                ++entries;
                EXPECT_TRUE(seen.insert({int(t), value}).second) << entry;
                EXPECT_EQ(entry.rfind(value == 0 ? "Normal" : value == 1 ? "Keep" : "Delete", 0), 0u);
            } else {
                EXPECT_TRUE(entry.empty() || entry == "-") << entry;
            }
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        EXPECT_EQ(entries, kind == BrowseKind::Mail ? 9 : 12);
    }
}

// The message store writer through whole runs of the fixture reader: threads,
// duplicates, re-import, identifier strings of news, carbon copies, sections,
// and the mailbox owner test.
#include <gtest/gtest.h>

#include <map>

#include "import/ImportTestKit.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

struct Stored {
    uint32_t number = 0, ref = 0, thread = 0, from = 0, to = 0, sec = 0;
    std::string text, threadHeading;
};

struct WriterFixture : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    TempDir files;
    int fileNo = 0;

    RunOutcome import(const std::vector<Fx>& msgs, bool reimport = false, uint32_t mailbox = 0, uint32_t topic = 0) {
        std::string name = "in" + std::to_string(++fileNo) + ".fix";
        writeFile(files / name, fixtureText(msgs));
        ImportDefinition d = fixtureDefinition(files.path(), {name});
        d.forumName = "Forum";
        d.allowReimp = reimport ? 1 : 0;
        d.mailbox = mailbox;
        d.mailTopic = topic;
        return runImport(s, d);
    }
    CatalogueEntry database(const std::string& name) {
        for (auto& e : listCatalogue(s))
            if (e.description == name) return e;
        ADD_FAILURE() << "no database " << name;
        return {};
    }
    // The headers of a forum or news database, in number order.
    std::vector<Stored> headers(const std::string& db) {
        kit::OpenDb open(s, database(db));
        std::vector<Stored> v;
        s.MsgNmbr.set(MsgNmbrFile::IDKEY);
        while (s.MsgNmbr.previous()) {
            Stored m{s.MSG.MSGNUMBER, s.MSG.REFNUMBER, s.MSG.THREADNUMBER, s.MSG.FROMID, s.MSG.TOID, s.MSG.SECSYSID, "", ""};
            v.push_back(m);
        }
        for (auto& m : v) {
            m.text = kit::textOf(s, m.number);
            s.Threads.clearBuffer();
            s.THR.THREADNUMBER = m.thread;
            if (s.Threads.get(ThreadsFile::THREADKEY)) m.threadHeading = s.THR.HEADING.str();
        }
        return v;
    }
    struct MailRow {
        uint32_t id;
        std::string subject, from, to, pair;
        uint8_t ccr;
        std::vector<std::string> copies;
    };
    std::vector<MailRow> mails(const std::string& db) {
        kit::OpenDb open(s, database(db));
        std::vector<MailRow> v;
        s.Mail.set(MailFile::IDKEY);
        while (s.Mail.previous())
            v.push_back({s.MAI.MAILID, s.MAI.SUBJECT.str(), std::to_string(s.MAI.FROMID), std::to_string(s.MAI.TOID),
                         std::to_string(s.MAI.PAIRID), s.MAI.CCR, {}});
        for (auto& m : v) {
            m.from = kit::personString(s, uint32_t(std::stoul(m.from)));
            m.to = kit::personString(s, uint32_t(std::stoul(m.to)));
            m.pair = kit::personString(s, uint32_t(std::stoul(m.pair)));
            s.CCR.clearBuffer();
            s.CCR.rec.MAILID = m.id;
            s.CCR.setFrom(CCRFile::IDKEY);
            while (s.CCR.next() && uint32_t(s.CCR.rec.MAILID) == m.id) m.copies.push_back(s.CCR.rec.R_CISADRESS.str());
        }
        return v;
    }
    uint32_t mailbox() {
        DbResult r = addMailDatabase(s, "Owner", "owner@example.com", {"alt@example.com", "other@example.com"});
        EXPECT_TRUE(r.ok());
        return r.id;
    }
};

Fx forum(uint32_t number, uint32_t ref, const std::string& subject, const std::string& text = "Text.") {
    Fx m;
    m.number = number;
    m.ref = ref;
    m.subject = subject;
    m.section = "1 General";
    m.text = text;
    return m;
}

Fx mail(const std::string& date, const std::string& subject, const std::string& text,
        const std::string& from = "Sender <s@x.org>", const std::string& to = "Owner <owner@example.com>") {
    Fx m;
    m.kind = "mail";
    m.date = date;
    m.subject = subject;
    m.text = text;
    m.from = from;
    m.to = to;
    return m;
}

Fx news(const std::string& group, const std::string& id, const std::string& refs, const std::string& subject) {
    Fx m;
    m.kind = "news";
    m.newsgroup = group;
    m.messageId = id;
    m.references = refs;
    m.subject = subject;
    m.from = "Poster <p@news.org>";
    m.to = "";
    m.text = "Article " + id;
    return m;
}

// ---------------------------------------------------------------------------
// Forum messages

TEST_F(WriterFixture, ForumMessageAnsweringItselfIsStoredWithoutReferenceAndThreadedBySubject) {
    ASSERT_TRUE(import({forum(10, 0, "Alpha"), forum(11, 11, "Alpha")}).ok);
    auto h = headers("Forum");
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[1].number, 11u);
    EXPECT_EQ(h[1].ref, 0u);
    EXPECT_EQ(h[1].thread, h[0].thread);
}

TEST_F(WriterFixture, ReplyJoinsTheThreadOfTheAnsweredMessageWhateverItsSubject) {
    ASSERT_TRUE(import({forum(10, 0, "Alpha"), forum(11, 10, "Something else")}).ok);
    auto h = headers("Forum");
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[1].ref, 10u);
    EXPECT_EQ(h[1].thread, h[0].thread);
    EXPECT_EQ(h[1].threadHeading, "Alpha");
}

TEST_F(WriterFixture, ReplyWhoseAnsweredMessageIsMissingIsThreadedBySubject) {
    ASSERT_TRUE(import({forum(20, 0, "Beta"), forum(22, 21, "Beta"), forum(23, 19, "Gamma")}).ok);
    auto h = headers("Forum");
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[1].ref, 21u);
    EXPECT_EQ(h[1].thread, h[0].thread);
    EXPECT_NE(h[2].thread, h[0].thread);
    EXPECT_EQ(h[2].threadHeading, "Gamma");
}

TEST_F(WriterFixture, ForumMessageTwiceInOneRunIsUpdatedByTheSecondCopyAndCountedOnce) {
    RunOutcome r = import({forum(30, 0, "Twice", "first copy"), forum(31, 0, "Other"),
                           forum(30, 0, "Twice", "second copy")});
    ASSERT_TRUE(r.ok);
    // Every staged copy is accounted for: the second one updated the first.
    EXPECT_EQ(r.display.staged, 3u);
    EXPECT_EQ(r.display.imported + r.display.skipped, 3u);
    auto h = headers("Forum");
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0].text, "second copy");
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    EXPECT_EQ(database("Forum").msgCount, 2u);
}

TEST_F(WriterFixture, ReimportUpdatesTheStoredCopyAndCountsItOnce) {
    ASSERT_TRUE(import({forum(40, 0, "Again", "old text")}).ok);
    RunOutcome r = import({forum(40, 0, "Again", "new text")}, true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.display.imported, 1u);
    auto h = headers("Forum");
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h[0].text, "new text");
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    EXPECT_EQ(database("Forum").msgCount, 1u);
}

TEST_F(WriterFixture, ForumSectionThatChangedItsNameBecomesASecondSection) {
    Fx a = forum(1, 0, "S");
    Fx b = forum(2, 0, "S");
    b.section = "1 Renamed";
    ASSERT_TRUE(import({a, b}).ok);
    kit::OpenDb open(s, database("Forum"));
    EXPECT_EQ(s.Sections.records(), 2);
}

TEST_F(WriterFixture, EncodedWordsInNamesAndSubjectAreDecoded) {
    Fx m = forum(5, 0, "=?ISO-8859-1?Q?Gr=FC=DFe?=");
    m.from = "=?ISO-8859-1?Q?J=F6rg?= Meier <70000,1>";
    ASSERT_TRUE(import({m}).ok);
    auto h = headers("Forum");
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h[0].threadHeading, "Gr\xFC\xDF" "e");
    kit::OpenDb open(s, database("Forum"));
    EXPECT_EQ(kit::personString(s, h[0].from), "J\xD6RG MEIER 70000,1");
}

// ---------------------------------------------------------------------------
// News

TEST_F(WriterFixture, AnsweredArticleArrivingLaterIsStoredUnderTheNumberTheReplyRefersTo) {
    ASSERT_TRUE(import({news("alt.test", "<reply@x>", "<orig@x>", "Re: Question")}).ok);
    auto h1 = headers("alt.test");
    ASSERT_EQ(h1.size(), 1u);
    uint32_t refersTo = h1[0].ref;
    EXPECT_NE(refersTo, 0u);
    ASSERT_TRUE(import({news("alt.test", "<orig@x>", "", "Question")}).ok);
    auto h2 = headers("alt.test");
    ASSERT_EQ(h2.size(), 2u);
    bool found = false;
    for (auto& m : h2) found = found || (m.number == refersTo && m.text == "Article <orig@x>");
    EXPECT_TRUE(found);
}

TEST_F(WriterFixture, ReplyToAStoredArticleJoinsItsThreadAndAddressesItsSender) {
    Fx a = news("alt.test", "<a@x>", "", "Topic");
    a.from = "Ann Author <ann@x.org>";
    Fx b = news("alt.test", "<b@x>", "<z@x> <a@x>", "Re: Topic");
    ASSERT_TRUE(import({a, b}).ok);
    auto h = headers("alt.test");
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[1].ref, h[0].number);
    EXPECT_EQ(h[1].thread, h[0].thread);
    // The receiver is the answered article's sender: the same person.
    EXPECT_EQ(h[1].to, h[0].from);
}

TEST_F(WriterFixture, SameArticleAgainIsADuplicateUnlessReimportIsAllowed) {
    ASSERT_TRUE(import({news("alt.dup", "<d@x>", "", "Dup")}).ok);
    RunOutcome second = import({news("alt.dup", "<d@x>", "", "Dup")});
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.display.imported, 0u);
    EXPECT_EQ(second.display.skipped, 1u);
    RunOutcome third = import({news("alt.dup", "<d@x>", "", "Dup")}, true);
    EXPECT_EQ(third.display.imported, 1u);
    EXPECT_EQ(headers("alt.dup").size(), 1u);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(WriterFixture, ArticleIdentifiersAreComparedWholeAndWithLetterCase) {
    const std::string sixty = "<" + std::string(58, 'm') + ">";  // exactly 60 characters
    const std::string longer = sixty + "x";
    const std::string stem = "<" + std::string(64, 'k');
    // One identifier of 60 characters and one that extends it; a reply to
    // the second of two long identifiers that share their beginning.
    ASSERT_TRUE(import({news("alt.ids", sixty, "", "Sixty"), news("alt.ids", longer, "", "Longer"),
                        news("alt.ids", stem + "1>", "", "First"), news("alt.ids", stem + "2>", "", "Second"),
                        news("alt.ids", "<r@x>", stem + "2>", "Re: Second")})
                    .ok);
    auto h = headers("alt.ids");
    ASSERT_EQ(h.size(), 5u);
    std::map<std::string, Stored> byText;
    for (auto& m : h) byText[m.text] = m;
    EXPECT_EQ(byText["Article <r@x>"].ref, byText["Article " + stem + "2>"].number);
    EXPECT_EQ(byText["Article <r@x>"].thread, byText["Article " + stem + "2>"].thread);
    RunOutcome again = import({news("alt.ids", longer, "", "Longer"), news("alt.ids", stem + "1>", "", "First")});
    EXPECT_EQ(again.display.imported, 0u);

    // An identifier record written without its companion (as archives from
    // before companions hold them) still stands for its article.
    {
        kit::OpenDb open(s, database("alt.ids"));
        s.MsgString.clearBuffer();
        s.MST.MSGNUMBER = byText["Article " + stem + "1>"].number | CompanionBit;
        ASSERT_TRUE(s.MsgString.get(MsgStringFile::IDKEY));
        ASSERT_TRUE(s.MsgString.del());
    }
    RunOutcome legacy = import({news("alt.ids", stem + "1>", "", "First")});
    EXPECT_EQ(legacy.display.imported, 0u);
    EXPECT_EQ(headers("alt.ids").size(), 5u);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(WriterFixture, NewsgroupDatabaseWhoseNameChangedKeepsItsOneSectionWithTheNewName) {
    ASSERT_TRUE(import({news("alt.old", "<o1@x>", "", "One")}).ok);
    // The user renames the database.
    OP_CLOSE(s, OpOpenShared, {2});
    s.Forums.clearBuffer();
    s.FOR.ID = database("alt.old").id;
    ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY));
    s.FOR.DESCRIPTION = "alt.new";
    ASSERT_TRUE(s.Forums.put());
    OP_CLOSE(s, OpClose, {2});
    ASSERT_TRUE(import({news("alt.new", "<o2@x>", "", "Two")}).ok);
    kit::OpenDb open(s, database("alt.new"));
    ASSERT_EQ(s.Sections.records(), 1);
    s.Sections.setPhysical();
    ASSERT_TRUE(s.Sections.next());
    EXPECT_EQ(s.SEC.DESCRIPTION.str(), "alt.new");
}

// ---------------------------------------------------------------------------
// Mail

struct DupCase {
    const char* name;
    std::string first, second;
    std::size_t stored;
};
void PrintTo(const DupCase& c, std::ostream* os) { *os << c.name; }

class MailDuplicates : public WriterFixture, public ::testing::WithParamInterface<DupCase> {};

TEST_P(MailDuplicates, SameMinuteSubjectSenderAndReceiver) {
    const DupCase& c = GetParam();
    uint32_t mb = mailbox();
    RunOutcome r = import({mail("2024-03-01 12:00:05", "Hello", c.first), mail("2024-03-01 12:00:40", "HELLO", c.second)},
                          false, mb);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(mails("Owner").size(), c.stored);
    EXPECT_EQ(r.display.skipped, 2 - c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MailDuplicates,
    ::testing::Values(DupCase{"Equal", "Same text", "Same text", 1},
                      DupCase{"NineteenAdded", "Base text", "Base text" + std::string(19, 'x'), 1},
                      DupCase{"TwentyAdded", "Base text", "Base text" + std::string(20, 'x'), 2},
                      DupCase{"EqualLengthDiffering", "Text one", "Text two", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WriterFixture, AMinuteFullOfMailFindsTheDuplicatesOfEachSubject) {
    uint32_t mb = mailbox();
    std::vector<Fx> msgs;
    for (int n = 0; n < 30; ++n)
        msgs.push_back(mail("2024-03-01 12:00:05", "Subject " + std::to_string(n), "Text " + std::to_string(n)));
    msgs.push_back(mail("2024-03-01 12:00:50", "SUBJECT 7", "Text 7"));   // a copy
    msgs.push_back(mail("2024-03-01 12:00:50", "Subject 8", "Text 9"));   // another text
    // A subject whose 50th character is a blank: compared as stored.
    const std::string cutAtBlank = std::string(49, 'a') + " and more";
    msgs.push_back(mail("2024-03-01 12:00:10", cutAtBlank, "Long"));
    msgs.push_back(mail("2024-03-01 12:00:20", cutAtBlank, "Long"));
    RunOutcome r = import(msgs, false, mb);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(mails("Owner").size(), 32u);
    EXPECT_EQ(r.display.skipped, 2u);
}

TEST_F(WriterFixture, MailInAnotherMinuteIsNoDuplicate) {
    uint32_t mb = mailbox();
    ASSERT_TRUE(import({mail("2024-03-01 12:00:05", "Hello", "x"), mail("2024-03-01 12:01:05", "Hello", "x")}, false, mb).ok);
    EXPECT_EQ(mails("Owner").size(), 2u);
}

// Mail is stored to the minute: the seconds are dropped, not rounded.
TEST_F(WriterFixture, MailTimeIsStoredToTheMinute) {
    const struct {
        int day;
        const char* time;
        int hour, minute;
    } cases[] = {{1, "12:34:56", 12, 34}, {2, "12:34:00", 12, 34}, {3, "23:59:59", 23, 59}, {4, "00:00:30", 0, 0}};
    uint32_t mb = mailbox();
    std::vector<Fx> msgs;
    for (const auto& c : cases)
        msgs.push_back(mail("2024-03-0" + std::to_string(c.day) + " " + c.time, "Mail " + std::to_string(c.day), "x"));
    ASSERT_TRUE(import(msgs, false, mb).ok);
    std::map<int32_t, int32_t> timeOfDate;
    {
        kit::OpenDb open(s, database("Owner"));
        s.Mail.setPhysical();
        while (s.Mail.next()) timeOfDate[s.MAI.DATE] = s.MAI.TIME;
    }
    ASSERT_EQ(timeOfDate.size(), std::size(cases));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        EXPECT_EQ(timeOfDate[dateFromYmd(2024, 3, c.day)], timeFromHms(c.hour, c.minute, 0));
    }
}

TEST_F(WriterFixture, MailAgainInALaterRunIsADuplicate) {
    uint32_t mb = mailbox();
    ASSERT_TRUE(import({mail("2024-03-01 12:00:05", "Hello", "x")}, false, mb).ok);
    RunOutcome r = import({mail("2024-03-01 12:00:05", "Hello", "x")}, true, mb);
    EXPECT_EQ(r.display.imported, 0u);
    EXPECT_EQ(mails("Owner").size(), 1u);
}

TEST_F(WriterFixture, MailWithoutNamesIsStoredWithNameUnknownOnBothSides) {
    uint32_t mb = mailbox();
    ASSERT_TRUE(import({mail("2024-03-01 12:00:00", "Anon", "t", "<anon@x.org>", "<owner@example.com>")}, false, mb).ok);
    auto m = mails("Owner");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].from, "NAME UNKNOWN ANON@X.ORG");
    EXPECT_EQ(m[0].to, "NAME UNKNOWN OWNER@EXAMPLE.COM");
}

TEST_F(WriterFixture, CarbonCopyToAnOwnerAddressIsLeftOutButTheMailIsMarked) {
    uint32_t mb = mailbox();
    Fx a = mail("2024-03-01 12:00:00", "Copies", "t");
    a.cc = {"Owner Alt <ALT@example.com>", "Third <third@x.org>"};
    Fx b = mail("2024-03-01 13:00:00", "Only owner copy", "t");
    b.cc = {"Other <other@example.com>"};
    ASSERT_TRUE(import({a, b}, false, mb).ok);
    auto m = mails("Owner");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].ccr, 1);
    EXPECT_EQ(m[0].copies, std::vector<std::string>{"third@x.org"});
    EXPECT_EQ(m[1].ccr, 1);
    EXPECT_TRUE(m[1].copies.empty());
}

TEST_F(WriterFixture, PartnerIsTheSenderOfReceivedAndTheReceiverOfSentMail) {
    uint32_t mb = mailbox();
    Fx in = mail("2024-03-01 12:00:00", "In", "t", "Sender <s@x.org>", "Owner <owner@example.com>");
    Fx out = mail("2024-03-01 13:00:00", "Out", "t", "Owner <alt@example.com>", "Friend <f@y.org>");
    ASSERT_TRUE(import({in, out}, false, mb).ok);
    auto m = mails("Owner");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].pair, "SENDER S@X.ORG");
    EXPECT_EQ(m[0].to, "OWNER OWNER@EXAMPLE.COM");
    EXPECT_EQ(m[1].pair, "FRIEND F@Y.ORG");
    // Sent mail names the owner person, whatever address the file showed.
    EXPECT_EQ(m[1].from, "OWNER OWNER@EXAMPLE.COM");
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(WriterFixture, MailTopicIsGivenToEveryImportedMail) {
    uint32_t mb = mailbox();
    ASSERT_TRUE(import({mail("2024-03-01 12:00:00", "A", "t"), mail("2024-03-02 12:00:00", "B", "t")}, false, mb, 777).ok);
    kit::OpenDb open(s, database("Owner"));
    EXPECT_EQ(s.SIndex.records(), 2);
    s.SIndex.setPhysical();
    while (s.SIndex.next()) EXPECT_EQ(uint32_t(s.SIN.ID), 777u);
}

// ---------------------------------------------------------------------------
// Mailbox owner

TEST_F(WriterFixture, MailboxOwnerKnowsItsElevenAddressesWithoutRegardToCase) {
    uint32_t mb = mailbox();
    MailboxOwner o;
    o.setUp(s, mb);
    EXPECT_EQ(o.name, "Owner");
    EXPECT_EQ(s.Mem.PersonID, o.personId);
    EXPECT_NE(o.personId, 0u);
    EXPECT_FALSE(o.isForeign("OWNER@example.com"));
    EXPECT_FALSE(o.isForeign("Other@Example.com"));
    EXPECT_TRUE(o.isForeign("someone@example.com"));
    uint8_t result = 9;
    NewHRRecord nhr{};
    o.call(s, 1, 0, result, nhr, "alt@EXAMPLE.com");
    EXPECT_EQ(result, 0);
    o.call(s, 1, 0, result, nhr, "x@y");
    EXPECT_EQ(result, 1);
}

TEST_F(WriterFixture, MailboxOwnerDirectionDecidesSentOrReceived) {
    MailboxOwner o;
    o.setUp(s, mailbox());
    NewHRRecord nhr{};
    nhr.S_CISADRESS = "Stranger@X.org";
    nhr.R_CISADRESS = "whoever";
    o.direction(nhr);
    EXPECT_EQ(nhr.MAILTYPE, 1);
    EXPECT_EQ(nhr.S_CISADRESS.str(), "stranger@x.org");
    EXPECT_EQ(nhr.R_CISADRESS.str(), "owner@example.com");
    nhr.S_CISADRESS = "ALT@example.com";
    nhr.R_CISADRESS = "Friend@Y.org";
    o.direction(nhr);
    EXPECT_EQ(nhr.MAILTYPE, 2);
    EXPECT_EQ(nhr.S_CISADRESS.str(), "owner@example.com");
    EXPECT_EQ(nhr.R_CISADRESS.str(), "friend@y.org");
}

TEST_F(WriterFixture, MailboxOwnerOfAMissingDatabaseIsEmpty) {
    s.Mem.PersonID = 42;
    MailboxOwner o;
    o.setUp(s, 999999);
    EXPECT_EQ(s.Mem.PersonID, 0u);
    EXPECT_TRUE(o.name.empty());
    EXPECT_TRUE(o.address.empty());
}

}  // namespace
}  // namespace quill::test

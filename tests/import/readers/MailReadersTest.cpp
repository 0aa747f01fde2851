// The mail readers over the fixtures of tests/data/<format>/ (written by
// tests/data/mail/make_fixtures.py): where each finds its messages, and what
// each stages of them.
#include "import/ImportTestKit.h"
#include "import/readers/MailReaderKit.h"
#include "import/readers/MailReaders.h"

#include <fstream>

namespace quill::test {
namespace {

using Subjects = std::vector<std::string>;
const Subjects FirstSecondThird{"First message", "Second message", "Third message"};

struct Case {
    std::string type, file;
    Subjects subjects;
    uint32_t skipped = 0;
};

// Every reader stages exactly the messages its boundaries give, in file order.
TEST(MailReaders, StageTheMessagesTheirBoundariesGive) {
    const std::vector<Case> cases = {
        {"Generic Mail Type 2", "mbox/from-inside-line-stays-in-body.mbox", FirstSecondThird},
        {"Generic Mail Type 2", "mbox/from-inside-line-stays-in-body-crlf.mbox", FirstSecondThird},
        {"Poco Mail", "mbox/from-inside-line-stays-in-body.mbox", FirstSecondThird},
        {"Eudora", "eudora/eudora-toc-lists-two-of-three.mbx", {"First message", "Third message"}},
        {"Eudora", "eudora/eudora-no-toc-every-separator.mbx", FirstSecondThird},
        {"Netscape Mail", "netscape/netscape-status-lines-before-headers.snm", {"First message", "Second message"}},
        {"Outlook Express 4 Mail", "oe4/oe4-three-messages-after-marks.mbx", FirstSecondThird},
        {"IE Mail", "oe4/oe4-three-messages-after-marks.mbx", FirstSecondThird},
        {"Outlook Express 5 Mail", "oe5/oe5-chained-multipart-deleted-fragment.dbx",
         {"First message", "Multipart", "Second message"}, 1},
        {"Pegasus", "pegasus/pegasus-folder-header-three-messages.pmm", FirstSecondThird},
        {"Generic Mail Type 1", "generic1/generic1-lf-only.txt", FirstSecondThird},
        {"Generic Mail Type 1", "generic1/generic1-crlf.txt", FirstSecondThird},
        {"Agent Mail", "generic1/generic1-crlf.txt", FirstSecondThird},
        {"Becky Mail", "becky/becky-prose-block-is-body.bmf", {"First message", "Second message"}},
        {"TheBat", "thebat/thebat-three-messages.tbb", FirstSecondThird},
        {"TheBat", "thebat/thebat-last-length-past-end.tbb", {"First message", "Second message"}},
        {"AOL", "aol/aol-two-records-and-a-broken-one.aol", {"AOL first", "AOL second"}},
        {"CompuServe 2000", "aol/aol-two-records-and-a-broken-one.aol", {"AOL first", "AOL second"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.type + " on " + c.file);
        StagedFile f = stageFile(c.type, dataFile(c.file));
        EXPECT_TRUE(f.opened);
        EXPECT_EQ(subjects(f), c.subjects);
        EXPECT_EQ(f.skipped, c.skipped);
        // Each mail is its own thread and gets its own number.
        for (std::size_t i = 0; i < f.mails.size(); ++i) {
            EXPECT_EQ(f.mails[i].number, f.mails[i].ref);
            if (i) {
                EXPECT_GT(f.mails[i].number, f.mails[i - 1].number);
            }
        }
    }
}

TEST(FromMailbox, FromInsideALineNeverStartsAMessage) {
    StagedFile f = stageFile("Generic Mail Type 2", dataFile("mbox/from-inside-line-stays-in-body.mbox"));
    ASSERT_EQ(f.mails.size(), 3u);
    EXPECT_EQ(f.mails[0].text, "Hello owner.\r\nSent From my phone\r\nA word From here stays too.");
    EXPECT_EQ(f.mails[1].text, "Reply text.\r\n> quoted From line");
}

TEST(MailReaders, OwnerNameStandsOnTheOwnersSide) {
    StagedFile f = stageFile("Generic Mail Type 2", dataFile("mbox/from-inside-line-stays-in-body.mbox"));
    ASSERT_EQ(f.mails.size(), 3u);
    // Received: the owner receives, under the Mail database's owner name.
    EXPECT_EQ(f.mails[0].mailType, 1);
    EXPECT_EQ(f.mails[0].senderName, "Ann Alder");
    EXPECT_EQ(f.mails[0].receiverName, "Owner");
    EXPECT_EQ(f.mails[0].receiverAddress, "owner@example.com");
    // Sent by the owner: the owner's name replaces the From name.
    EXPECT_EQ(f.mails[1].mailType, 2);
    EXPECT_EQ(f.mails[1].senderName, "Owner");
    EXPECT_EQ(f.mails[1].receiverName, "Bob Birch");
}

TEST(FromMailbox, LongLineIsSplitNeverCut) {
    StagedFile f = stageFile("Generic Mail Type 2", dataFile("mbox/long-line-split-not-cut.mbox"));
    ASSERT_EQ(f.mails.size(), 1u);
    EXPECT_EQ(f.mails[0].text, std::string(1000, 'x') + "\r\nend");
}

TEST(FromMailbox, TextPartAfterAnAttachmentBeyondTheQueueCapIsKept) {
    // An attachment larger than a message may queue comes before the text
    // part: the attachment is cut, the text part and the next mail are not.
    TempDir dir;
    const std::string path = dir.path() + "/big.mbox";
    {
        std::ofstream out(path, std::ios::binary);
        out << "From ann@example.com Mon Jan  1 00:00:00 2024\n"
               "From: Ann Alder <ann@example.com>\nTo: owner@example.com\nSubject: Photos\n"
               "Date: Mon, 1 Jan 2024 10:00:00 +0000\nMIME-Version: 1.0\n"
               "Content-Type: multipart/mixed; boundary=\"b1\"\n\n"
               "--b1\nContent-Type: image/jpeg\nContent-Disposition: attachment; filename=a.jpg\n"
               "Content-Transfer-Encoding: base64\n\n";
        const std::string base64Line(76, 'Q');
        for (std::size_t n = 0; n < 6 * 1024 * 1024 / 77; ++n) out << base64Line << "\n";
        // A long line of the attachment split into pieces across the cap.
        out << std::string(20000, 'Q') << "\n";
        out << "--b1\nContent-Type: text/plain; charset=us-ascii\n\nThe text after the photo.\n"
               "--b1--\n\n"
               "From bob@example.com Mon Jan  1 00:00:00 2024\n"
               "From: Bob Birch <bob@example.com>\nTo: owner@example.com\nSubject: Next\n"
               "Date: Mon, 1 Jan 2024 11:00:00 +0000\n\nSecond mail.\n";
    }
    StagedFile f = stageFile("Generic Mail Type 2", path);
    ASSERT_EQ(f.mails.size(), 2u);
    EXPECT_EQ(f.mails[0].subject, "Photos");
    EXPECT_NE(f.mails[0].text.find("The text after the photo."), std::string::npos) << f.mails[0].text.substr(0, 200);
    EXPECT_EQ(f.mails[1].text, "Second mail.");
}

TEST(EudoraMailbox, MessageWithoutDateLineIsSentAndDatedBySeparator) {
    StagedFile f = stageFile("Eudora", dataFile("eudora/eudora-no-toc-every-separator.mbx"));
    ASSERT_EQ(f.mails.size(), 3u);
    EXPECT_EQ(f.mails[1].mailType, 2);
    EXPECT_EQ(f.mails[1].date, dateFromYmd(1998, 1, 5));
    EXPECT_EQ(f.mails[1].time, timeFromHms(10, 0, 0));
    EXPECT_EQ(f.mails[0].mailType, 1);
    EXPECT_EQ(f.mails[0].receiverName, "Owner");
}

TEST(NetscapeMailbox, StatusLinesAreNotPartOfTheMessage) {
    StagedFile f = stageFile("Netscape Mail", dataFile("netscape/netscape-status-lines-before-headers.snm"));
    ASSERT_EQ(f.mails.size(), 2u);
    EXPECT_EQ(f.mails[0].senderAddress, "ann@example.com");
    EXPECT_EQ(f.mails[0].text.find("X-Mozilla"), std::string::npos);
    EXPECT_EQ(f.mails[1].text, "Reply text.\r\n> quoted From line");
}

TEST(BlockChainStore, ChainedMessageAndTextPartAfterAttachment) {
    StagedFile f = stageFile("Outlook Express 5 Mail", dataFile("oe5/oe5-chained-multipart-deleted-fragment.dbx"));
    ASSERT_EQ(f.mails.size(), 3u);
    // The first message spans three blocks: its body comes whole.
    EXPECT_EQ(f.mails[0].senderAddress, "ann@example.com");
    EXPECT_NE(f.mails[0].text.find("Sent From my phone"), std::string::npos);
    EXPECT_NE(f.mails[0].text.find("more body\r\nmore body"), std::string::npos);
    // The part choice keeps the text part only: no preamble, no attachment.
    EXPECT_EQ(f.mails[1].text, "The text part.");
}

TEST(HeaderBlockMailbox, LfOnlyReadsTheSameAsCrLf) {
    StagedFile lf = stageFile("Generic Mail Type 1", dataFile("generic1/generic1-lf-only.txt"));
    StagedFile crlf = stageFile("Generic Mail Type 1", dataFile("generic1/generic1-crlf.txt"));
    ASSERT_EQ(lf.mails.size(), 3u);
    ASSERT_EQ(crlf.mails.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lf.mails[i].text, crlf.mails[i].text);
        EXPECT_EQ(lf.mails[i].senderAddress, crlf.mails[i].senderAddress);
        EXPECT_EQ(lf.mails[i].date, crlf.mails[i].date);
    }
}

TEST(HeaderBlockMailbox, BlockWithoutToIsBodyOfThePreviousMessage) {
    StagedFile f = stageFile("Generic Mail Type 1", dataFile("generic1/generic1-lf-only.txt"));
    ASSERT_EQ(f.mails.size(), 3u);
    EXPECT_NE(f.mails[0].text.find("Note: a block without a To line"), std::string::npos) << f.mails[0].text;
    EXPECT_NE(f.mails[0].text.find("still the first message"), std::string::npos) << f.mails[0].text;
}

TEST(HeaderBlockMailbox, BeckyTakesABlockWithAProseLineForBody) {
    StagedFile becky = stageFile("Becky Mail", dataFile("becky/becky-prose-block-is-body.bmf"));
    ASSERT_EQ(becky.mails.size(), 2u);
    EXPECT_NE(becky.mails[0].text.find("this line is no header"), std::string::npos);
    // The other header-block types read to the empty line: the prose block
    // holds From, Date and To and so starts a message there.
    StagedFile generic = stageFile("Generic Mail Type 1", dataFile("becky/becky-prose-block-is-body.bmf"));
    EXPECT_EQ(generic.mails.size(), 3u);
}

TEST(BeckyHeaderForm, FirstWordEndingInColon) {
    struct {
        const char* line;
        bool header;
    } cases[] = {
        {"Subject: x", true},
        {"X-Becky-Status:1", true},
        {"this line: no", false},
        {": empty name", false},
        {"no colon at all", false},
        {"A-very-long-header-name-of-more-than-forty-nine-chars: x", false},
    };
    for (auto& c : cases) EXPECT_EQ(beckyHeaderForm(c.line), c.header) << c.line;
}

TEST(AolStore, RecordFieldsBecomeHeadersAndTheBodyIsJoinedBlocks) {
    StagedFile f = stageFile("AOL", dataFile("aol/aol-two-records-and-a-broken-one.aol"));
    ASSERT_EQ(f.mails.size(), 2u);
    EXPECT_NE(f.mails[0].senderAddress.find("annscreen"), std::string::npos) << f.mails[0].senderAddress;
    EXPECT_EQ(f.mails[0].date, dateFromYmd(1998, 1, 15));
    EXPECT_EQ(f.mails[0].time, timeFromHms(13, 5, 0));
    // The line marks CR LF, 127 and <BR> become line breaks; the character
    // references are text.
    EXPECT_EQ(f.mails[0].text, "Hello there\r\nsecond line\r\nthird <line>\r\nfourth");
    EXPECT_EQ(f.mails[1].date, dateFromYmd(1998, 1, 15));
    EXPECT_EQ(f.mails[1].text, "Just one line");
}

TEST(AolStore, DateFieldOrderFollowsTheNumbers) {
    struct {
        const char* field;
        bool dayFirst;
        const char* date;
    } cases[] = {
        {"98/01/15", false, "15 Jan 1998 00:00:00"},      // first above 31: year first
        {"15/01/98 13:05", false, "15 Jan 1998 13:05:00"},  // first above 12: day first
        {"01/15/98", true, "15 Jan 1998 00:00:00"},       // second above 12: month first
        {"02/03/98", false, "3 Feb 1998 00:00:00"},       // ambiguous: the system's order
        {"02/03/98", true, "2 Mar 1998 00:00:00"},
        {"15.01.1998", false, "15 Jan 1998 00:00:00"},    // four-digit year, day first
        {"01-15-2001 08:09:10", true, "15 Jan 2001 08:09:10"},
        {"02/03/2001", true, "2 Mar 2001 00:00:00"},
        {"5 Jan 1998", false, "5 Jan 1998 00:00:00"},     // day, month name, year
        {"13/13/98", false, ""},
        {"", false, ""},
    };
    for (auto& c : cases) EXPECT_EQ(AolStore::internetDate(c.field, c.dayFirst), c.date) << c.field;
}

// The header parsers draw identifier numbers from the run's counter; a
// target found right after must not receive one of them again.
TEST(ReaderContext, NumbersDrawnByTheHeaderParserAreNeverHandedOutAgain) {
    Installation inst;
    Session& s = inst.s();
    s.Mem.DoTask = 2;
    ImportDefinition def;
    def.typeName = "Outlook Express 5 News";
    TargetList targets;
    MailboxOwner owner;
    uint32_t counter = 7000;
    OP_CLOSE(s, OpOpenShared, {2, 8, 18});
    targets.load(s);
    openStagingFiles(s);
    ReaderContext ctx(s, def, targets, owner, counter);
    LineQueue q = splitLines(
        "From: a@example.com\r\nNewsgroups: comp.test\r\nMessage-ID: <m1@x>\r\nReferences: <m0@x>\r\n"
        "Subject: s\r\n\r\nbody\r\n");
    s.NewHR.clearBuffer();
    (void)ctx.parseInternetHeaders(q, 1);
    uint32_t own = s.NHR.MSGNUMBER, ref = s.NHR.REFNUMBER;
    ASSERT_NE(own, 0u);
    ReaderContext::Target t = ctx.findTarget("comp.new.group", 3);
    EXPECT_NE(t.id, own);
    EXPECT_NE(t.id, ref);
    EXPECT_GT(counter, std::max(own, ref));
    closeStagingFiles(s, true);
    OP_CLOSE(s, OpClose, {2, 8, 18});
}

}  // namespace
}  // namespace quill::test

namespace quill::test {
namespace {

// A message base of the given messages (see readers/TheBatBase.cpp).
std::string theBatBase(const std::vector<std::string>& messages) {
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    std::string out = le32(TheBatBase::FileMagic) + std::string("\x10\x00", 2) + std::string(10, '\0');
    for (auto& m : messages) {
        std::string head = le32(TheBatBase::MessageMagic) + std::string("\x30\x00", 2) + std::string(30, '\0') +
                           le32(uint32_t(m.size())) + std::string(8, '\0');
        out += head + m;
    }
    return out;
}

std::string mailText(const std::string& subject) {
    return "From: Ann <ann@example.com>\r\nTo: owner@example.com\r\nDate: Mon, 05 Jan 1998 10:00:00 +0000\r\n"
           "Subject: " + subject + "\r\n\r\nText of " + subject + "\r\n";
}

// A damaged file ends with what it staged; the run goes on with the next.
TEST(MailImport, DamagedFileKeepsItsMessagesAndTheNextFileIsRead) {
    Installation inst;
    Session& s = inst.s();
    DbResult mb = addMailDatabase(s, "Owner", "owner@example.com", {});
    ASSERT_TRUE(mb.ok());
    TempDir dir;
    std::string damaged = theBatBase({mailText("Kept one"), mailText("Lost two")});
    damaged.resize(damaged.size() - 10);  // the second message's data runs past the end
    writeFile(dir.path() + "/a.tbb", damaged);
    writeFile(dir.path() + "/b.tbb", theBatBase({mailText("Next file")}));
    ImportDefinition d;
    d.typeName = "TheBat";
    d.fileType = 40;
    d.selMethod = SelectFiles;
    d.impPath = dir.path();
    d.masks = "a.tbb;b.tbb";
    d.mailbox = mb.id;
    RunOptions opt;
    opt.registry = &ReaderRegistry::builtin();
    ImportRun run(s, d, opt);
    run.runToEnd();
    ASSERT_TRUE(run.succeeded()) << run.failure();
    EXPECT_EQ(run.display().imported, 2u);
    std::string dump = archiveDump(s);
    EXPECT_NE(dump.find("[Kept one]"), std::string::npos) << dump;
    EXPECT_NE(dump.find("[Next file]"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("Lost two"), std::string::npos) << dump;
}

}  // namespace
}  // namespace quill::test

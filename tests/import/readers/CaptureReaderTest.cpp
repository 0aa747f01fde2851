// The capture readers inside the import run: every fixture imported whole,
// the batches of the line list, and captures damaged the way real ones were
// (hand-edited, cut off by a full disk, mixed by users).
#include <gtest/gtest.h>

#include <filesystem>

#include "database/Common.h"
#include "database/Preferences.h"
#include "import/ImportTestKit.h"
#include "import/readers/CaptureReader.h"
#include "import/readers/GoldenCompassReader.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

const std::string kData = QUILL_SOURCE_DIR "/tests/data/";

// An installation with the mailbox "Owner" (71111,222) for runs of the
// capture readers.
struct CaptureRun {
    Installation inst;
    uint32_t mailbox = 0;

    CaptureRun() {
        DbResult mb = addMailDatabase(inst.s(), "Owner", "71111,222", {});
        EXPECT_TRUE(mb.ok());
        mailbox = mb.id;
    }
    // Imports files of dir into the forum forumName, or into the mailbox when
    // forumName is empty.
    RunOutcome run(const std::string& type, const std::string& dir, const std::vector<std::string>& names,
                   const std::string& forumName) {
        ImportDefinition d = fixtureDefinition(dir, names);
        d.typeName = type;
        d.fileType = uint8_t(importTypeByName(type)->number);
        d.forumName = forumName;
        if (forumName.empty()) d.mailbox = mailbox;
        RunOptions opt;
        opt.registry = &ReaderRegistry::builtin();
        return runImport(inst.s(), d, opt);
    }
    RunOutcome runFile(const std::string& type, const std::string& path, const std::string& forumName) {
        std::filesystem::path p(path);
        return run(type, p.parent_path().string(), {p.filename().string()}, forumName);
    }
    std::string dump() { return archiveDump(inst.s()); }
};

bool has(const std::string& dump, const std::string& line) { return dump.find(line) != std::string::npos; }

TEST(CaptureImport, EveryFixtureIsStagedWhole) {
    struct Case {
        std::string type, file, forum;
        uint32_t imported;
        std::vector<std::string> lines;
    } cases[] = {
        {"TAPCIS 5.x", "tapcis5/forum-replies-and-markers.msg", "Tapforum", 3,
         {"forum Tapforum msg 12345 ref=12340 1996-03-05 [Re: prices] sec=General Help from=HANS M\xDCLLER 70000,123 "
          "to=JANE DOE 70000,456 text=Prices went up again.\r\nSecond line.\r\n",
          "forum Tapforum msg 12346 ref=12345 1996-03-06 [Re: prices] sec=General Help",
          "forum Tapforum msg 50000 ref=0 1996-03-07 [12340-Re: prices] sec=Hardware",
          "forum Tapforum section 3 General Help count=2"}},
        {"TAPCIS 5.x", "tapcis5/mail-outbox-sent-and-received.msg", "", 2,
         {"mail Owner mail 1996-03-05 09:30:00 [Meeting] ccr=0 rt=TO from=JOHN SMITH 70000,123 to=OWNER 71111,222 "
          "pair=JOHN SMITH 70000,123 text=Received mail text.",
          "mail Owner mail 1996-03-06 14:05:00 [Re: Meeting] ccr=0 rt=TO from=OWNER 71111,222 to=JOHN SMITH "
          "70000,123 pair=JOHN SMITH 70000,123 text=Sent mail text."}},
        {"TAPCIS 6.x", "tapcis6/forum-reference-window.msg", "Six", 3,
         {"forum Six msg 40002 ref=40001 1997-01-12 [Welcome]", "forum Six msg 75000 ref=0 1997-01-13 [40001-Welcome]",
          "forum Six thread Announcements / Welcome count=2"}},
        {"TAPCIS 6.x", "tapcis6/mail-owner-decides-direction.msg", "", 3,
         {"[Invoice] ccr=0 rt=TO from=VENDOR VENDOR@EXAMPLE.COM to=OWNER 71111,222",
          "[Re: Invoice] ccr=0 rt=TO from=OWNER 71111,222 to=VENDOR INC VENDOR@EXAMPLE.COM",
          "[Newsletter] ccr=0 rt=TO from=NEWS NEWS@EXAMPLE.COM to=OWNER 71111,222 pair=NEWS NEWS@EXAMPLE.COM "
          "text=Hello reader\n"}},
        {"AUTOSIG", "autosig/forum-code-page-850.ato", "Auto", 1,
         {"forum Auto msg 2001 ref=0 1995-12-01 [Cr\xE8me br\xFBl\xE9" "e] sec=Caf\xE9 Talk from=FRAN\xC7OIS 75000,110",
          "text=    \r\nCr\xE8me br\xFBl\xE9" "e for 12 \xA3.\r\n"}},
        {"OzCIS", "ozcis/forum-named-and-unnamed-forums.msg", "Run Forum", 2,
         {"forum SOMEFORUM msg 456 ref=0 1996-03-05 [Wrench sizes] sec=Tools from=BOB BUILDER 72000,111 to=ALL "
          "text=Sizes in K\xE4rnten.",
          "forum Run Forum msg 457 ref=456 1996-03-06 [Wrench sizes]"}},
        {"OzCIS", "ozcis/mail-from-and-mgto.msg", "", 2,
         {"mail Owner mail 1996-03-05 12:34:00 [Hello] ccr=0 rt=TO from=JOHN SMITH 70000,123 to=OWNER 71111,222",
          "mail Owner mail 1996-03-06 08:00:00 [Re: Hello] ccr=0 rt=TO from=OWNER 71111,222 to=JOHN SMITH"}},
        {"OzWin II", "ozwin2/forum-par-references.msg", "", 2,
         {"forum DELTAFORUM msg 9005 ref=9001 1998-05-11 [Crash on start] sec=Support from=FAY FOX 73000,222"}},
        {"GoldenCompass", "goldencompass/forum-markers.msg", "Compass", 1,
         {"forum Compass msg 12345 ref=12340 1996-03-05 [Re: prices] sec=General Help from=JOHN SMITH 70000,123 to=ALL "
          "text=First line of text\r\nSecond line\r\nThird line\rwith a CR\r\n"}},
        {"GoldenCompass", "goldencompass/mail-outbox.msg", "", 2,
         {"mail Owner mail 1996-03-07 09:05:00 [Order] ccr=0 rt=TO from=OWNER 71111,222 to=SHOP SHOP@EXAMPLE.COM",
          "mail Owner mail 1996-03-08 10:00:00 [Re: Order] ccr=0 rt=TO from=SHOP SHOP@EXAMPLE.COM to=OWNER"}},
    };
    for (auto& c : cases) {
        CaptureRun r;
        RunOutcome o = r.runFile(c.type, kData + c.file, c.forum);
        EXPECT_TRUE(o.ok) << c.file << ": " << o.failure;
        EXPECT_EQ(o.display.imported, c.imported) << c.file;
        EXPECT_EQ(o.display.skipped, 0u) << c.file;
        std::string dump = r.dump();
        for (auto& l : c.lines) EXPECT_TRUE(has(dump, l)) << c.file << " lacks: " << l << "\n" << dump;
        EXPECT_TRUE(archiveProblems(r.inst.s()).empty()) << c.file;
    }
}

TEST(CaptureImport, UnwantedKindsFilteredMessagesAndReimportsAreSkippedAndCounted) {
    CaptureRun r;
    std::string file = kData + "tapcis6/forum-reference-window.msg";
    RunOutcome first = r.runFile("TAPCIS 6.x", file, "Six");
    ASSERT_EQ(first.display.imported, 3u);
    RunOutcome again = r.runFile("TAPCIS 6.x", file, "Six");
    EXPECT_EQ(again.display.imported, 0u);
    EXPECT_EQ(again.display.skipped, 3u);

    ImportDefinition d = fixtureDefinition(kData + "ozcis", {"mail-from-and-mgto.msg"});
    d.typeName = "OzCIS";
    d.fileType = 12;
    d.mailbox = r.mailbox;
    d.mailMsg = 0;
    RunOptions opt;
    opt.registry = &ReaderRegistry::builtin();
    RunOutcome noMail = runImport(r.inst.s(), d, opt);
    EXPECT_EQ(noMail.display.skipped, 2u);
    d.mailMsg = 1;
    d.msgFilter = 2;
    RunOutcome filtered = runImport(r.inst.s(), d, opt);
    EXPECT_EQ(filtered.display.skipped, 2u);
}

TEST(CaptureImport, AFileThatIsNoCaptureIsRefusedWithTheWarning) {
    CaptureRun r;
    TempDir dir;
    writeFile(dir / "notes.msg", "Dear diary,\nnothing to see.\n");
    RunOutcome o = r.run("OzCIS", dir.path(), {"notes.msg"}, "Forum");
    EXPECT_EQ(o.display.imported, 0u);
    bool warned = false;
    for (auto& m : r.inst.ui.messages)
        warned = warned || m.text == "Not a Forum message or mail file!\r\nMessages will not be imported!";
    EXPECT_TRUE(warned);
}

// A forum capture of n messages of the OzCIS layout, the body of message i
// holding i+1 lines.
std::string manyMessages(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) {
        text += "#: " + std::to_string(i) + " S1/Bulk (CIS:BULK)\n    05-Mar-96\nSb: Message " + std::to_string(i) +
                "\nFm: John Smith 70000,123\nTo: All\n\n";
        for (int k = 0; k <= i % 7; ++k) text += "Line " + std::to_string(k) + " of " + std::to_string(i) + "\n";
    }
    return text;
}

TEST(CaptureImport, MessagesAcrossManyBatchesKeepTheirWholeText) {
    CaptureRun r;
    setKonfigNumber(r.inst.s(), 30, 1);  // readers stage 10 messages a call
    TempDir dir;
    const int n = 700;  // about 6000 lines: the line list is refilled
    writeFile(dir / "bulk.msg", manyMessages(n));
    RunOutcome o = r.run("OzCIS", dir.path(), {"bulk.msg"}, "");
    ASSERT_TRUE(o.ok) << o.failure;
    EXPECT_EQ(o.display.imported, uint32_t(n));
    EXPECT_EQ(o.display.skipped, 0u);
    std::string dump = r.dump();
    for (int i : {1, 357, 358, 699, 700}) {
        std::string text;
        for (int k = 0; k <= i % 7; ++k) text += "Line " + std::to_string(k) + " of " + std::to_string(i) + "\r\n";
        EXPECT_TRUE(has(dump, "[Message " + std::to_string(i) + "] sec=Bulk from=JOHN SMITH 70000,123 to=ALL text=" +
                                  text + "\n"))
            << i;
    }
}

// Drives readers over files the way the run does, with one set of staging
// files for all of them.
class Driver {
public:
    Driver(Session& s, uint32_t mailbox) : s_(s) {
        def_.mailbox = mailbox;
        OP_CLOSE(s, OpOpenShared, {2, 8, 18});
        targets_.load(s);
        owner_.setUp(s, mailbox);
        openStagingFiles(s);
        ctx_ = std::make_unique<ReaderContext>(s, def_, targets_, owner_, counter_);
        ctx_->mailboxName = "Owner";
    }
    ~Driver() {
        closeStagingFiles(s_, true);
        OP_CLOSE(s_, OpClose, {2, 8, 18});
    }
    struct Result {
        int calls = 0;
        uint32_t mostPerCall = 0;
        bool finished = false;
    };
    Result drive(Reader& reader, const std::string& type, const std::string& path, const std::string& forumName,
                 int32_t batch) {
        def_.typeName = type;
        ctx_->forumName = forumName;
        ctx_->batchSize = batch;
        ctx_->state = ReaderOpen;
        Result d;
        if (reader.open(*ctx_, path).outcome == OpenOutcome::Ok) {
            ctx_->state = ReaderRead;
            while (!d.finished && d.calls < 100000) {
                uint32_t before = ctx_->staged;
                d.finished = reader.read(*ctx_);
                ++d.calls;
                d.mostPerCall = std::max(d.mostPerCall, ctx_->staged - before);
            }
        } else {
            d.finished = true;
        }
        reader.close();
        return d;
    }

private:
    Session& s_;
    ImportDefinition def_;
    TargetList targets_;
    MailboxOwner owner_;
    uint32_t counter_ = 600000;
    std::unique_ptr<ReaderContext> ctx_;
};

TEST(CaptureReaderBatches, ACallStagesAtMostTheBatchAndGoldenCompassThreeMails) {
    CaptureRun r;
    TempDir dir;
    writeFile(dir / "bulk.msg", manyMessages(40));
    Driver driver(r.inst.s(), r.mailbox);
    CaptureReader oz(CaptureType::OzCis);
    auto d = driver.drive(oz, "OzCIS", dir / "bulk.msg", "", 7);
    EXPECT_TRUE(d.finished);
    EXPECT_EQ(d.mostPerCall, 7u);
    EXPECT_GE(d.calls, 6);

    std::string mails;
    for (int i = 0; i < 10; ++i) mails += "#: 5\r\n    07-Mar-96 9:05\r\nSb: x\r\nFm: Jo 70000,123\r\n\r\nText\r\n";
    writeFile(dir / "gc.msg", mails);
    GoldenCompassReader gc;
    d = driver.drive(gc, "GoldenCompass", dir / "gc.msg", "", 25);
    EXPECT_TRUE(d.finished);
    EXPECT_EQ(d.mostPerCall, 3u);
}

TEST(CaptureRobustness, DamagedCapturesStageEveryMessageThatParses) {
    const std::string msg1 = "#: 101 S1/General (CIS:ROBUST)\n    05-Mar-96\nSb: One\nFm: Jo 70000,123\nTo: All\n\nBody one\n";
    const std::string msg2 = "#: 102 S1/General (CIS:ROBUST)\n    06-Mar-96\nSb: Two\nFm: Jo 70000,123\nTo: All\n\nBody two\n";
    const std::string cut = "#: 103 S1/General (CIS:ROBUST)\n    07-Mar-96\nSb: Thr";
    const std::string longLine(1500, 'x');
    struct Case {
        std::string name, bytes;
        uint32_t imported, skipped;
    } cases[] = {
        {"junk before and between messages", "garbage\x01\x02\n\n" + msg1 + "\xFF\xFE junk\n#: junk\n" + msg2, 2, 1},
        {"message cut off at the end of the file", msg1 + msg2 + cut, 2, 1},
        {"message cut off inside its header", msg1 + "#: 104 S1/General (CIS:ROBUST)\n    05-Ma", 1, 1},
        {"line longer than 1200 characters", msg1 + longLine + "\n" + msg2, 2, 0},
        {"header line longer than 1200 characters", msg1 + "#: 105 " + longLine + "\n" + msg2, 2, 1},
        {"code page 850 and Windows-1252 mixed", msg1 + "Caf\x82 and Caf\xE9\n" + msg2, 2, 0},
        {"CR LF and LF line ends mixed, no final line end", msg1 + "\r\n" + msg2.substr(0, msg2.size() - 1), 2, 0},
        {"Ctrl-Z at the end", msg1 + "\x1A", 1, 0},
        {"only a start line (not recognised)", "#: 1\n", 0, 0},
        {"empty file", "", 0, 0},
    };
    for (auto& c : cases) {
        CaptureRun r;
        TempDir dir;
        writeFile(dir / "capture.msg", c.bytes);
        RunOutcome o = r.run("OzCIS", dir.path(), {"capture.msg"}, "");
        EXPECT_EQ(o.display.imported, c.imported) << c.name;
        EXPECT_EQ(o.display.skipped, c.skipped) << c.name;
        EXPECT_TRUE(archiveProblems(r.inst.s()).empty()) << c.name;
    }
}

TEST(CaptureRobustness, LongLineBecomesThreeEntriesAndLosesItsTail) {
    CaptureRun r;
    TempDir dir;
    std::string line(400, 'a');
    line += std::string(400, 'b') + std::string(400, 'c') + std::string(300, 'd');
    writeFile(dir / "long.msg", "#: 7 S1/A (CIS:LONG)\n    05-Mar-96\nSb: Long\nFm: Jo 70000,123\nTo: All\n\n" + line +
                                    "\nafter\n");
    RunOutcome o = r.run("OzCIS", dir.path(), {"long.msg"}, "");
    ASSERT_EQ(o.display.imported, 1u);
    EXPECT_TRUE(has(r.dump(), "text=" + line.substr(0, 1200) + "\r\nafter\r\n\n"));
}

// Damaged copies of every capture fixture, read by every capture reader as
// a forum run and as a mail run: the reader finishes and never crashes.
TEST(CaptureRobustness, DamagedCopiesOfEveryFixtureInForumAndMailRuns) {
    CaptureRun r;
    TempDir dir;
    std::vector<std::string> fixtures;
    for (auto& e : std::filesystem::recursive_directory_iterator(kData))
        if (e.is_regular_file() && e.path().string().find("testreader") == std::string::npos)
            fixtures.push_back(e.path().string());
    ASSERT_GE(fixtures.size(), 12u);
    const std::pair<std::string, CaptureType> types[] = {
        {"TAPCIS 5.x", CaptureType::Tapcis5}, {"TAPCIS 6.x", CaptureType::Tapcis6}, {"AUTOSIG", CaptureType::Autosig},
        {"OzCIS", CaptureType::OzCis},        {"OzWin I", CaptureType::OzWin1},     {"OzWin II", CaptureType::OzWin2},
        {"GoldenCompass", CaptureType::GoldenCompass}};
    Driver driver(r.inst.s(), r.mailbox);
    int variant = 0;
    for (auto& f : fixtures) {
        std::string bytes = readFile(f);
        std::vector<std::string> inputs;
        for (std::size_t cutAt = 1; cutAt < bytes.size(); cutAt += 1 + bytes.size() / 3)
            inputs.push_back(bytes.substr(0, cutAt));
        for (std::size_t step : {3u, 37u}) {
            std::string flipped = bytes;
            for (std::size_t i = step / 2; i < flipped.size(); i += step) flipped[i] = char(flipped[i] ^ 0x5A);
            inputs.push_back(flipped);
        }
        for (auto& input : inputs) {
            std::string path = dir / ("v" + std::to_string(variant++));
            writeFile(path, input);
            for (auto& [name, type] : types) {
                for (const char* forum : {"", "Fuzz Forum"}) {
                    std::unique_ptr<CaptureReader> reader = type == CaptureType::GoldenCompass
                                                                ? std::make_unique<GoldenCompassReader>()
                                                                : std::make_unique<CaptureReader>(type);
                    auto d = driver.drive(*reader, name, path, forum, 5);
                    EXPECT_TRUE(d.finished) << name << " on " << f;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quill::test

// The import run as a whole: work lists, skipped files, the end of staging,
// the store phase with its transactions, stopping, scheduled runs, and
// failures in the middle of storing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "import/ImportTestKit.h"
#include "database/Preferences.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

template <class F>
RunOptions opts(F set) {
    RunOptions o;
    set(o);
    return o;
}

bool hasMessage(const RecordingInterface& ui, const std::string& text, const std::string& caption) {
    for (auto& m : ui.messages)
        if (m.text == text && m.caption == caption) return true;
    return false;
}

std::string dump(const RecordingInterface& ui) {
    std::string t;
    for (auto& m : ui.messages) t += "[" + m.caption + "] " + m.text + "\n";
    return t;
}

// Forum messages numbered from first, n of them, in threads of five.
std::vector<Fx> forumMessages(uint32_t first, int n, const std::string& forum = "") {
    std::vector<Fx> v;
    for (int i = 0; i < n; ++i) {
        Fx m;
        m.forum = forum;
        m.number = first + uint32_t(i);
        m.ref = i % 5 ? first + uint32_t(i) - 1 : 0;
        m.section = std::to_string(1 + i % 3) + " Section " + std::to_string(1 + i % 3);
        m.subject = "Topic " + std::to_string(i / 5);
        m.from = "Person " + std::to_string(i % 7) + " <7000" + std::to_string(i % 7) + ",1>";
        m.to = "Person " + std::to_string((i + 1) % 7) + " <7000" + std::to_string((i + 1) % 7) + ",1>";
        m.text = "Forum text " + std::to_string(first + uint32_t(i));
        v.push_back(m);
    }
    return v;
}

std::vector<Fx> mailMessages(int n) {
    std::vector<Fx> v;
    for (int i = 0; i < n; ++i) {
        Fx m;
        m.kind = "mail";
        m.date = "2024-02-" + std::string(i % 28 < 9 ? "0" : "") + std::to_string(1 + i % 28) + " 08:" +
                 (i % 60 < 10 ? "0" : "") + std::to_string(i % 60) + ":00";
        bool sent = i % 4 == 0;
        m.from = sent ? "Owner <owner@example.com>" : "Sender " + std::to_string(i % 9) + " <s" + std::to_string(i % 9) + "@x.org>";
        m.to = sent ? "Friend " + std::to_string(i % 5) + " <f" + std::to_string(i % 5) + "@y.org>" : "Owner <owner@example.com>";
        if (i % 6 == 0) m.cc = {"Copy One <c1@z.org>", "Owner Alt <alt@example.com>"};
        m.subject = "Mail " + std::to_string(i);
        m.text = "Mail text " + std::to_string(i);
        v.push_back(m);
    }
    return v;
}

std::vector<Fx> newsMessages(int n, const std::string& group) {
    std::vector<Fx> v;
    for (int i = 0; i < n; ++i) {
        Fx m;
        m.kind = "news";
        m.newsgroup = group;
        m.messageId = "<n" + std::to_string(i) + "@" + group + ">";
        if (i % 4) m.references = "<n" + std::to_string(i - 1) + "@" + group + ">";
        m.from = "Poster " + std::to_string(i % 6) + " <p" + std::to_string(i % 6) + "@news.org>";
        m.to = "";
        m.subject = "News topic " + std::to_string(i / 4);
        m.text = "News text " + std::to_string(i);
        v.push_back(m);
    }
    return v;
}

struct RunFixture : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    TempDir files;

    std::string write(const std::string& name, const std::vector<Fx>& msgs) {
        writeFile(files / name, fixtureText(msgs));
        return name;
    }
    ImportDefinition def(const std::vector<std::string>& names, const std::string& forum = "Test Forum") {
        ImportDefinition d = fixtureDefinition(files.path(), names);
        d.forumName = forum;
        return d;
    }
    uint32_t mailbox() {
        DbResult r = addMailDatabase(s, "Owner", "owner@example.com", {"alt@example.com"});
        EXPECT_TRUE(r.ok());
        return r.id;
    }
};

TEST_F(RunFixture, StoresForumMailAndNewsWithConsistentCounts) {
    std::vector<Fx> all = forumMessages(1000, 30);
    for (auto& m : mailMessages(20)) all.push_back(m);
    for (auto& m : newsMessages(12, "comp.lang.c")) all.push_back(m);
    write("a.fix", all);
    ImportDefinition d = def({"a.fix"});
    d.mailbox = mailbox();
    RunOutcome r = runImport(s, d);
    ASSERT_TRUE(r.ok) << r.failure << dump(inst.ui);
    EXPECT_EQ(r.display.imported, 62u);
    EXPECT_EQ(r.display.status, "The import process has finished!");
    EXPECT_EQ(r.display.heading, "Test Fixture Import Processing");
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    auto cat = listCatalogue(s);
    ASSERT_EQ(cat.size(), 3u);
    for (auto& e : cat) {
        uint32_t expected = e.type == TypeForum ? 30u : e.type == TypeMail ? 20u : 12u;
        EXPECT_EQ(e.msgCount, expected) << e.description;
    }
    // The staging files are gone.
    EXPECT_FALSE(std::filesystem::exists(s.Mem.TempDir + "/IDX010.TPS"));
}

TEST_F(RunFixture, MissingFileIsReportedOnceAndTheOthersAreImported) {
    write("a.fix", forumMessages(1, 3));
    write("c.fix", forumMessages(10, 2));
    RunOutcome r = runImport(s, def({"a.fix", "b.fix", "c.fix"}));
    ASSERT_TRUE(r.ok) << dump(inst.ui);
    EXPECT_EQ(r.display.imported, 5u);
    ASSERT_EQ(inst.ui.messages.size(), 1u) << dump(inst.ui);
    EXPECT_EQ(inst.ui.messages[0].text, "The file " + (files / "b.fix") + " does not exist and will be skipped!");
    EXPECT_EQ(inst.ui.messages[0].caption, " Import Error ");
}

TEST_F(RunFixture, FilesWithoutMessagesEndTheRunAndWriteNothing) {
    writeFile(files / "empty.fix", "# nothing here\n");
    Fx bad;
    bad.bad = true;
    write("skipped.fix", {bad});
    RunOutcome r = runImport(s, def({"empty.fix", "skipped.fix"}));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(hasMessage(inst.ui, "No messages found in selected file(s)!\r\nImport unsuccessful!", "Warning!"))
        << dump(inst.ui);
    EXPECT_TRUE(listCatalogue(s).empty());
    EXPECT_EQ(r.display.status, "No messages to import!");
    EXPECT_EQ(r.display.skipped, 1u);
}

TEST_F(RunFixture, AFileOfAnotherFormatIsSkippedWithItsMessage) {
    writeFile(files / "other.fix", "From someone\nnot a fixture\n");
    write("good.fix", forumMessages(1, 2));
    RunOutcome r = runImport(s, def({"other.fix", "good.fix"}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.display.imported, 2u);
    EXPECT_TRUE(hasMessage(inst.ui, "Not a Forum message or mail file!\r\nMessages will not be imported!", "Warning!"));
}

TEST_F(RunFixture, NewNewsgroupsGetTheNextFreeDirectoryNumbersEach) {
    ASSERT_TRUE(addForumDatabase(s, "Existing").ok());  // F1
    std::vector<Fx> all = newsMessages(2, "alt.one");
    for (auto& m : newsMessages(2, "alt.two")) all.push_back(m);
    for (auto& m : newsMessages(2, "alt.three")) all.push_back(m);
    write("n.fix", all);
    RunOutcome r = runImport(s, def({"n.fix"}));
    ASSERT_TRUE(r.ok) << dump(inst.ui);
    std::set<uint32_t> dirs;
    for (auto& e : listCatalogue(s)) {
        if (e.type != TypeNewsgroup) continue;
        dirs.insert(e.dirNumber);
        EXPECT_TRUE(std::filesystem::is_directory(s.Mem.FileDir + "/F" + std::to_string(e.dirNumber)));
    }
    EXPECT_EQ(dirs, (std::set<uint32_t>{2, 3, 4}));
}

TEST_F(RunFixture, MasksOfADirectoryMatchWithoutRegardToCase) {
    write("A.MBX", forumMessages(1, 1));
    write("b.mbx", forumMessages(2, 1));
    write("c.txt", forumMessages(3, 1));
    ImportDefinition d = def({});
    d.selMethod = SelectDirectory;
    d.masks = "*.MBX";
    RunOutcome r = runImport(s, d);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.display.imported, 2u);
}

TEST_F(RunFixture, TreeMethodReadsEverySubdirectory) {
    std::filesystem::create_directories(files / "x/y/z");
    write("top.fix", forumMessages(1, 1));
    write("x/one.fix", forumMessages(2, 1));
    write("x/y/z/deep.fix", forumMessages(3, 1));
    write("x/y/skip.txt", forumMessages(4, 1));
    // A loop in the tree is followed once.
    std::filesystem::create_directory_symlink(files.path(), files / "x/y/loop");
    ImportDefinition d = def({});
    d.selMethod = SelectTree;
    d.masks = "*.fix";
    RunOutcome r = runImport(s, d);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.display.imported, 3u);
}

TEST_F(RunFixture, ControlCounterMissingEndsTheRunBeforeAnythingIsRead) {
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    ASSERT_TRUE(s.Control.get(ControlFile::IDKEY));
    ASSERT_TRUE(s.Control.del());
    OP_CLOSE(s, OpClose, {8});
    write("a.fix", forumMessages(1, 2));
    RunOutcome r = runImport(s, def({"a.fix"}));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(hasMessage(inst.ui, "No access to Control File!\r\nImport will not proceed!\r\n", "Warning!"));
    EXPECT_TRUE(listCatalogue(s).empty());
}

TEST_F(RunFixture, ATypeWithoutReaderIsRefusedWithAMessage) {
    write("a.mbx", forumMessages(1, 1));
    ImportDefinition d = def({"a.mbx"});
    d.typeName = "Eudora";
    d.fileType = 6;
    ReaderRegistry none;
    RunOutcome r = runImport(s, d, opts([&](RunOptions& o) { o.registry = &none; }));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(hasMessage(inst.ui, noReaderText("Eudora"), "Warning!")) << dump(inst.ui);
}

TEST_F(RunFixture, StoppingWhileReadingAsksNothing) {
    write("a.fix", forumMessages(1, 3));
    static const ReaderRegistry registry = fixtureRegistry();
    ImportRun run(s, def({"a.fix"}), opts([&](RunOptions& o) { o.registry = &registry; }));
    while (run.phase() != RunPhase::Reading) ASSERT_TRUE(run.step());
    EXPECT_TRUE(run.requestStop());
    EXPECT_TRUE(run.closed());
    EXPECT_FALSE(run.succeeded());
    EXPECT_TRUE(inst.ui.questions.empty());
    EXPECT_TRUE(listCatalogue(s).empty());
}

TEST_F(RunFixture, StoppingWhileStoringAsksNoContinuesAndYesKeepsWhatWasStored) {
    write("a.fix", forumMessages(1, 40));
    static const ReaderRegistry registry = fixtureRegistry();
    ImportRun run(s, def({"a.fix"}), opts([&](RunOptions& o) { o.registry = &registry; }));
    while (run.phase() != RunPhase::Storing) ASSERT_TRUE(run.step());
    inst.ui.answer = RecordingInterface::Answer::No;
    EXPECT_FALSE(run.requestStop());
    ASSERT_EQ(inst.ui.questions.size(), 1u);
    EXPECT_EQ(inst.ui.questions[0].caption, "Import process interrupted");
    EXPECT_EQ(inst.ui.questions[0].text,
              "Stopping at this stage will cause message counts \r\nper section, thread and person to be incorrect.\r\n"
              "If you do quit, please run the Count Messages process to correct the numbers! Are you sure you want to "
              "quit?");
    ASSERT_TRUE(run.step());  // one slice of storing takes all 40, not yet committed
    EXPECT_EQ(run.display().imported, 0u) << "the figure shows only what is committed";
    inst.ui.answer = RecordingInterface::Answer::Yes;
    EXPECT_TRUE(run.requestStop());
    EXPECT_TRUE(run.closed());
    EXPECT_EQ(run.display().imported, 40u) << "the stop commits the open slice";
    // What was stored is committed whole, counts included.
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    auto cat = listCatalogue(s);
    ASSERT_EQ(cat.size(), 1u);
    kit::OpenDb open(s, cat[0]);
    EXPECT_EQ(s.MsgNmbr.records(), 40);
    EXPECT_EQ(s.MsgText.records(), 40);
}

struct RecordingTask : TaskLink {
    std::vector<uint32_t> cleanups;
    std::vector<std::pair<uint8_t, int32_t>> finished;
    void CleanUp(int code, uint32_t forumId) override {
        EXPECT_EQ(code, 2);
        cleanups.push_back(forumId);
    }
    void importFinished(uint8_t result, int32_t seconds) override { finished.push_back({result, seconds}); }
};

TEST_F(RunFixture, ScheduledRunShowsNothingAndReportsDatabasesAndResult) {
    std::vector<Fx> all = forumMessages(1, 3);
    for (auto& m : newsMessages(2, "alt.sched")) all.push_back(m);
    write("a.fix", all);
    s.Mem.DoTask = 2;
    RecordingTask task;
    RunOutcome r = runImport(s, def({"a.fix", "missing.fix"}), opts([&](RunOptions& o) { o.task = &task; }));
    s.Mem.DoTask = 0;
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(inst.ui.messages.empty()) << dump(inst.ui);
    EXPECT_TRUE(inst.ui.questions.empty());
    EXPECT_EQ(r.display.title, "Scheduled import");
    EXPECT_EQ(task.cleanups.size(), 2u);
    ASSERT_EQ(task.finished.size(), 1u);
    EXPECT_EQ(task.finished[0].first, RunResultOk);
    EXPECT_GE(task.finished[0].second, 0);
}

TEST_F(RunFixture, ScheduledRunThatFailsReportsResultTwo) {
    writeFile(files / "empty.fix", "");
    s.Mem.DoTask = 2;
    RecordingTask task;
    RunOutcome r = runImport(s, def({"empty.fix"}), opts([&](RunOptions& o) { o.task = &task; }));
    s.Mem.DoTask = 0;
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(task.finished.size(), 1u);
    EXPECT_EQ(task.finished[0].first, RunResultFailed);
    EXPECT_TRUE(inst.ui.messages.empty());
}

TEST_F(RunFixture, LowDiskSpaceWhileReadingAsksAndCancelEndsTheRun) {
    write("a.fix", forumMessages(1, 3));
    inst.ui.answer = RecordingInterface::Answer::Default;  // the default answer is Cancel
    RunOutcome r = runImport(s, def({"a.fix"}), opts([&](RunOptions& o) { o.freeSpace = [](const std::string&) { return uint64_t(1234567); }; }));
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(inst.ui.questions.size(), 1u);
    EXPECT_EQ(inst.ui.questions[0].caption, "Warning");
    EXPECT_EQ(inst.ui.questions[0].text.substr(0, 40), "You have only      1,234,567 bytes free ");
    EXPECT_NE(inst.ui.questions[0].text.find("too little for the temporary importfile"), std::string::npos);
    EXPECT_TRUE(listCatalogue(s).empty());
}

TEST_F(RunFixture, LowDiskSpaceInAScheduledRunEndsItSilently) {
    write("a.fix", forumMessages(1, 3));
    s.Mem.DoTask = 2;
    RunOutcome r = runImport(s, def({"a.fix"}), opts([&](RunOptions& o) { o.freeSpace = [](const std::string&) { return uint64_t(10); }; }));
    s.Mem.DoTask = 0;
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(inst.ui.questions.empty());
}

TEST_F(RunFixture, CompletionTimeIsShownWhenThePreferenceIsSet) {
    setKonfigNumber(s, 32, 1);
    write("a.fix", forumMessages(1, 1));
    RunOutcome r = runImport(s, def({"a.fix"}));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].caption, " Import Processing ");
    EXPECT_EQ(inst.ui.messages[0].text, "The time for completion was: " + std::to_string(r.seconds) + " seconds");
    EXPECT_EQ(inst.ui.beeps, 1);
}

TEST_F(RunFixture, SecondRunOfTheSameForumFileImportsNothingNew) {
    write("a.fix", forumMessages(1, 5));
    ASSERT_TRUE(runImport(s, def({"a.fix"})).ok);
    std::string before = archiveDump(s);
    inst.ui.clear();
    RunOutcome r = runImport(s, def({"a.fix"}));
    EXPECT_TRUE(r.ok) << dump(inst.ui);
    EXPECT_EQ(r.display.imported, 0u);
    EXPECT_EQ(r.display.skipped, 5u);
    EXPECT_EQ(r.display.status, "No messages to import!");
    EXPECT_EQ(archiveDump(s), before);
}

// ---------------------------------------------------------------------------
// A table reader of the tests: one record per line, "bad" for a record the
// table cannot deliver; every good record stages one forum message.

class TableTestReader : public Reader {
public:
    ReaderOpening open(ReaderContext&, const std::string& path) override {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) lines_.push_back(line);
        ReaderOpening o;
        o.progressTotal = double(lines_.size());
        return o;
    }
    bool read(ReaderContext&) override { return true; }
    RecordOutcome readRecord(ReaderContext& c) override {
        if (next_ >= lines_.size()) return RecordOutcome::End;
        std::string line = lines_[next_++];
        if (line == "bad") {
            c.s.store.setError(BadRecErr);
            return RecordOutcome::Bad;
        }
        auto t = c.findTarget(c.forumName, TypeForum);
        c.s.NewHR.clearBuffer();
        c.s.NHR.INTERNAL = t.id;
        c.s.NHR.MSGNUMBER = uint32_t(next_);
        c.s.NHR.HEADING = "Table " + line;
        c.s.NHR.S_NAME = "Table Writer";
        c.s.NewHR.memo = line;
        (void)c.stage();
        return RecordOutcome::Read;
    }

private:
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
};

struct BadRecordCase {
    const char* type;
    int bad;
    bool abandoned;
    const char* kind;
};
void PrintTo(const BadRecordCase& c, std::ostream* os) { *os << c.type << " with " << c.bad << " bad records"; }

class FiveBadRecords : public RunFixture, public ::testing::WithParamInterface<BadRecordCase> {};

TEST_P(FiveBadRecords, FileIsAbandonedAtTheFifthBadRecord) {
    const BadRecordCase& c = GetParam();
    std::string content;
    for (int i = 0; i < 10; ++i) content += "rec" + std::to_string(i) + "\n";
    for (int i = 0; i < c.bad; ++i) content += "bad\n";
    for (int i = 0; i < 5; ++i) content += "late" + std::to_string(i) + "\n";
    writeFile(files / "TABLE.DBF", content);
    ReaderRegistry r;
    r.add(c.type, [] { return std::make_unique<TableTestReader>(); });
    ImportDefinition d = def({"TABLE.DBF"});
    d.typeName = c.type;
    d.fileType = uint8_t(importTypeByName(c.type)->number);
    RunOutcome out = runImport(s, d, opts([&](RunOptions& o) { o.registry = &r; }));
    ASSERT_TRUE(out.ok) << dump(inst.ui);
    if (!c.abandoned) {
        EXPECT_TRUE(inst.ui.messages.empty()) << dump(inst.ui);
        EXPECT_EQ(out.display.imported, 15u);
        return;
    }
    EXPECT_EQ(out.display.imported, 10u);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    std::string kind = c.kind;
    std::string advice = kind == "CISCOM"
                             ? "To physically remove deleted records from your CISCOM file, always use the PACK option "
                               "when closing your CISCOM session after records have been purged!"
                             : "To physically remove deleted records from your " + kind +
                                   " file, always use the EXIT and PACK option when closing your " + kind +
                                   " session after records have been purged!";
    // 15 of 20 records read.
    EXPECT_EQ(inst.ui.messages[0].text,
              "Quillmer has processed 75 % of this " + kind +
                  " file and have encountered 5 bad records! They are probably deleted records that are still "
                  "retained in the file. To ensure data integrity this file will be skipped! \r\n\r\n" +
                  advice);
    EXPECT_EQ(inst.ui.messages[0].caption, "Invalid Record Declaration");
}

INSTANTIATE_TEST_SUITE_P(Tables, FiveBadRecords,
                         ::testing::Values(BadRecordCase{"CISCOMM", 5, true, "CISCOM"},
                                           BadRecordCase{"CISCOMM", 4, false, "CISCOM"},
                                           BadRecordCase{"NavCIS 1.7x-", 5, true, "NavCIS"},
                                           BadRecordCase{"OUI", 5, true, "OUI"}));

// ---------------------------------------------------------------------------
// A write that fails in the middle of storing

uint64_t storedHeaders(Session& s) {
    uint64_t n = 0;
    for (auto& e : listCatalogue(s)) {
        kit::OpenDb open(s, e);
        n += uint64_t(e.type == TypeMail ? s.Mail.records() : s.MsgNmbr.records());
    }
    return n;
}

struct FailCase {
    const char* kind;
    uint64_t failAt;
};
void PrintTo(const FailCase& c, std::ostream* os) { *os << c.kind << " failing at message " << c.failAt; }

class FailedWrite : public RunFixture, public ::testing::WithParamInterface<FailCase> {
protected:
    std::vector<Fx> input() {
        std::string kind = GetParam().kind;
        if (kind == "forum") return forumMessages(5000, 900);
        if (kind == "mail") return mailMessages(900);
        return newsMessages(900, "comp.fail");
    }
};

TEST_P(FailedWrite, CommittedBatchesAreCompleteAndAReimportEqualsOneCleanRun) {
    const FailCase& c = GetParam();
    std::vector<Fx> msgs = input();
    write("in.fix", msgs);
    ImportDefinition d = def({"in.fix"});
    d.mailbox = mailbox();

    RunOutcome failed = runImport(s, d, opts([&](RunOptions& o) {
        o.failAtMessage = c.failAt;
        o.commitSeconds = 0;  // a commit after every 400 messages
    }));
    EXPECT_FALSE(failed.ok);
    bool told = false;
    for (auto& m : inst.ui.messages)
        told = told || m.text == "Record add error!\r\nSimulated write failure\r\nThe last transaction is rolled back.";
    EXPECT_TRUE(told) << dump(inst.ui);
    // The store phase commits after more than 400 messages, at the end of a
    // slice of 50 (the default batch): what was committed is whole, counts
    // included, and nothing of the failed transaction remains.
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    EXPECT_EQ(storedHeaders(s), (c.failAt - 1) / 450 * 450);

    inst.ui.clear();
    ImportDefinition again = d;
    again.allowReimp = 1;
    RunOutcome second = runImport(s, again);
    ASSERT_TRUE(second.ok) << second.failure << dump(inst.ui);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));

    Installation clean;
    DbResult mb = addMailDatabase(clean.s(), "Owner", "owner@example.com", {"alt@example.com"});
    ASSERT_TRUE(mb.ok());
    ImportDefinition once = d;
    once.mailbox = mb.id;
    ASSERT_TRUE(runImport(clean.s(), once).ok);
    EXPECT_EQ(storedHeaders(s), msgs.size());
    EXPECT_EQ(archiveDump(s), archiveDump(clean.s()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FailedWrite,
                         ::testing::Values(FailCase{"forum", 1}, FailCase{"forum", 451}, FailCase{"forum", 650},
                                           FailCase{"mail", 403}, FailCase{"mail", 850}, FailCase{"news", 500}),
                         [](const auto& info) {
                             return std::string(info.param.kind) + "_at_" + std::to_string(info.param.failAt);
                         });

// Every catalogue count equals the records of its database.
std::vector<std::string> catalogueCountProblems(Session& s) {
    std::vector<std::string> v;
    for (auto& e : listCatalogue(s)) {
        kit::OpenDb open(s, e);
        uint64_t n = uint64_t(e.type == TypeMail ? s.Mail.records() : s.MsgNmbr.records());
        if (n != e.msgCount)
            v.push_back(e.description + " shows " + std::to_string(e.msgCount) + " but holds " + std::to_string(n));
    }
    return v;
}

TEST_P(FailedWrite, FiguresShowOnlyWhatWasCommitted) {
    write("in.fix", input());
    ImportDefinition d = def({"in.fix"});
    d.mailbox = mailbox();
    RunOutcome failed = runImport(s, d, opts([&](RunOptions& o) { o.failAtMessage = GetParam().failAt; }));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.display.imported, storedHeaders(s));
    EXPECT_EQ(failed.display.status, storedHeaders(s) ? "The import process has finished!" : "No messages to import!");
    EXPECT_TRUE(catalogueCountProblems(s).empty()) << ::testing::PrintToString(catalogueCountProblems(s));
}

struct RejectCase {
    const char* kind;
    uint64_t at;
    bool rollsBackAll;
};
void PrintTo(const RejectCase& c, std::ostream* os) {
    *os << c.kind << " refusing message " << c.at << (c.rollsBackAll ? " with its transaction" : "");
}

class UnstorableMessage : public RunFixture, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(UnstorableMessage, IsSkippedAndReportedAndTheOtherMessagesAreStored) {
    const RejectCase& c = GetParam();
    std::string kind = c.kind;
    std::vector<Fx> msgs = kind == "forum"  ? forumMessages(7000, 1000)
                           : kind == "mail" ? mailMessages(1000)
                                            : newsMessages(1000, "comp.bad");
    write("in.fix", msgs);
    ImportDefinition d = def({"in.fix"});
    d.mailbox = mailbox();
    RunOutcome r = runImport(s, d, opts([&](RunOptions& o) {
                                 o.rejectAtMessage = c.at;
                                 o.rejectRollsBackAll = c.rollsBackAll;
                             }));
    ASSERT_TRUE(r.ok) << r.failure << dump(inst.ui);
    EXPECT_EQ(storedHeaders(s), 999u);
    EXPECT_EQ(r.display.imported, 999u);
    EXPECT_EQ(r.display.bad, 1u);
    EXPECT_EQ(r.display.skipped, 1u);
    int reports = 0;
    for (auto& m : inst.ui.messages)
        if (m.caption == " Import Error " && m.text.find(" of " + files / "in.fix" + " (\"") != std::string::npos &&
            m.text.find("could not be stored") != std::string::npos)
            ++reports;
    EXPECT_EQ(reports, 1) << dump(inst.ui);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    EXPECT_TRUE(catalogueCountProblems(s).empty()) << ::testing::PrintToString(catalogueCountProblems(s));
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnstorableMessage,
                         ::testing::Values(RejectCase{"forum", 1, false}, RejectCase{"forum", 437, true},
                                           RejectCase{"mail", 500, false}, RejectCase{"mail", 403, true},
                                           RejectCase{"news", 1000, false}, RejectCase{"news", 620, true}),
                         [](const auto& info) {
                             return std::string(info.param.kind) + "_at_" + std::to_string(info.param.at) +
                                    (info.param.rollsBackAll ? "_whole" : "_alone");
                         });

TEST_F(RunFixture, NamesDifferingOnlyByControlCharactersAreOneDatabase) {
    std::vector<Fx> msgs = forumMessages(10, 3, std::string("Bad\0Forum", 9));
    for (auto& m : forumMessages(20, 3, "Bad Forum")) msgs.push_back(m);
    for (auto& m : forumMessages(30, 3, "Good Forum")) msgs.push_back(m);
    msgs[1].ref = 0;
    msgs[1].subject = std::string("Sub\x01ject\0", 9);
    msgs[1].from = std::string("Tab\tName <70000,9>");
    write("a.fix", msgs);
    RunOutcome r = runImport(s, def({"a.fix"}));
    ASSERT_TRUE(r.ok) << r.failure << dump(inst.ui);
    EXPECT_EQ(r.display.imported, 9u);
    auto cat = listCatalogue(s);
    ASSERT_EQ(cat.size(), 2u);
    EXPECT_EQ(cat[0].description, "Bad Forum");
    EXPECT_EQ(cat[0].msgCount, 6u);
    std::string d = archiveDump(s);
    EXPECT_NE(d.find("[Sub ject]"), std::string::npos) << d;
    EXPECT_EQ(d.find('\t'), std::string::npos);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(RunFixture, ForumMessagesNamedLikeTheMailboxAreRefusedAndItsMailIsStored) {
    std::vector<Fx> msgs = forumMessages(10, 4, "Owner");
    for (auto& m : mailMessages(10)) msgs.push_back(m);
    write("a.fix", msgs);
    ImportDefinition d = def({"a.fix"});
    d.mailbox = mailbox();
    RunOutcome r = runImport(s, d);
    ASSERT_TRUE(r.ok) << r.failure << dump(inst.ui);
    EXPECT_EQ(r.display.imported, 10u);
    EXPECT_EQ(r.display.skipped, 4u);
    EXPECT_TRUE(hasMessage(inst.ui, "The messages for Owner are not imported: it is a Mail database.", "Warning!"))
        << dump(inst.ui);
    EXPECT_EQ(storedHeaders(s), 10u);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(RunFixture, StoppingWhileStoringLeavesCatalogueCountsEqualToTheStoredMessages) {
    write("a.fix", forumMessages(100, 1500));
    static const ReaderRegistry registry = fixtureRegistry();
    ImportRun run(s, def({"a.fix"}), opts([&](RunOptions& o) {
                      o.registry = &registry;
                      o.commitSeconds = 0;  // a commit after every 400 messages
                  }));
    while (run.step() && run.display().imported < 800) {
    }
    ASSERT_FALSE(run.closed());
    inst.ui.answer = RecordingInterface::Answer::Yes;
    ASSERT_TRUE(run.requestStop());
    EXPECT_EQ(run.display().imported, storedHeaders(s));
    EXPECT_LT(storedHeaders(s), 1500u);
    EXPECT_TRUE(catalogueCountProblems(s).empty()) << ::testing::PrintToString(catalogueCountProblems(s));
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(RunFixture, SelectedFilesAreReadInTheOrderGiven) {
    for (std::string n : {"c", "a", "b"}) write(n + ".fix", forumMessages(n[0] * 10u, 1));
    static const ReaderRegistry registry = fixtureRegistry();
    ImportRun run(s, def({"c.fix", "a.fix", "b.fix"}), opts([&](RunOptions& o) { o.registry = &registry; }));
    std::vector<std::string> order;
    while (run.step()) {
        std::string f = run.display().fileName;
        if (!f.empty() && (order.empty() || order.back() != f)) order.push_back(f);
    }
    EXPECT_EQ(order, (std::vector<std::string>{files / "c.fix", files / "a.fix", files / "b.fix"}));
}

TEST_F(RunFixture, ThreadsSharingTheirBeginningAreFoundByTheirWholeSubject) {
    std::vector<Fx> msgs;
    for (std::string subject : {"Question about A", "Question about B", "Question about A", "question about a",
                                "Question about B", "Question about A"}) {
        Fx m = forumMessages(uint32_t(100 + msgs.size()), 1)[0];
        m.ref = 0;
        m.subject = subject;
        m.section = "1 General";
        msgs.push_back(m);
    }
    write("a.fix", msgs);
    ASSERT_TRUE(runImport(s, def({"a.fix"})).ok);
    std::string d = archiveDump(s);
    EXPECT_NE(d.find("thread General / Question about A count=3"), std::string::npos) << d;
    EXPECT_NE(d.find("thread General / Question about B count=2"), std::string::npos) << d;
    EXPECT_NE(d.find("thread General / question about a count=1"), std::string::npos) << d;
    // Stored in a later run, the same subject joins the thread it has.
    write("b.fix", {[&] {
              Fx m = msgs[1];
              m.number = 200;
              return m;
          }()});
    ASSERT_TRUE(runImport(s, def({"b.fix"})).ok);
    d = archiveDump(s);
    EXPECT_NE(d.find("thread General / Question about B count=3"), std::string::npos) << d;
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

}  // namespace
}  // namespace quill::test

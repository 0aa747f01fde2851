// The import, batch, messages and show verbs of the command-line tool, run as
// a program; and the import killed at random points.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "import/ImportTestKit.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        if (nl > start) v.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return v;
}

class ImportVerb : public CliTest {
protected:
    void SetUp() override {
        ASSERT_EQ(cli({"init"}), 0) << err;
        ASSERT_EQ(cli({"db", "add-mail", "Owner", "owner@example.com", "--alt", "alt@example.com"}), 0) << err;
    }
    std::string fixture(const std::string& name, const std::vector<Fx>& msgs) {
        writeFile(files / name, fixtureText(msgs));
        return files / name;
    }
};

std::vector<Fx> sample() {
    Fx f1;
    f1.number = 100;
    f1.section = "3 General";
    f1.date = "2024-01-05 12:34:56";
    f1.from = "Jos\xE9 Garc\xED" "a <70000,123>";
    f1.subject = "Caf\xE9 hours";
    f1.text = "First line\nSecond line \x80";
    Fx f2 = f1;
    f2.number = 101;
    f2.ref = 100;
    f2.date = "2024-01-06 10:00:00";
    f2.from = "Jane Doe <70000,456>";
    f2.to = "Jos\xE9 Garc\xED" "a <70000,123>";
    f2.text = "Reply";
    Fx m;
    m.kind = "mail";
    m.date = "2024-02-01 08:15:30";
    m.from = "Bob <bob@example.com>";
    m.to = "Owner <owner@example.com>";
    m.cc = {"Carol <carol@example.com>"};
    m.subject = "Mail one";
    m.text = "Mail body";
    Fx n;
    n.kind = "news";
    n.newsgroup = "comp.lang.c";
    n.messageId = "<a1@x>";
    n.from = "Poster <p@x.org>";
    n.to = "";
    n.subject = "Pointers";
    return {f1, f2, m, n};
}

TEST_F(ImportVerb, ListTypesPrintsTheFortyOfferedTypes) {
    ASSERT_EQ(cli({"import", "--list-types"}), 0) << err;
    auto l = lines(out);
    ASSERT_EQ(l.size(), 40u) << out;
    EXPECT_EQ(l[0].substr(0, 14), "001  AUTOSIG  ");
    // A name that fills its whole column stays apart from its number.
    EXPECT_TRUE(contains(out, "  Outlook Express 4 Mail  ")) << out;
    EXPECT_TRUE(contains(l[16], "WinCIM")) << l[16];
    EXPECT_TRUE(contains(l[16], "(default)"));
    EXPECT_FALSE(contains(out, "Reserv"));
    EXPECT_FALSE(contains(out, "Test Fixture"));
}

TEST_F(ImportVerb, ImportsFixtureFilesAndMessagesListsThemNewestFirstAsJson) {
    std::string f = fixture("a.fix", sample());
    ASSERT_EQ(cli({"import", "--type", "Test Fixture", "--into", "Lotus", "--mailbox", "Owner", f}), 0) << err;
    EXPECT_TRUE(contains(out, "Test Fixture Import Processing")) << out;
    EXPECT_TRUE(contains(out, "The import process has finished!")) << out;
    EXPECT_TRUE(contains(out, "imported 4  skipped 0  staged 4")) << out;

    ASSERT_EQ(cli({"messages", "Lotus", "--json", "--text"}), 0) << err;
    auto l = lines(out);
    ASSERT_EQ(l.size(), 2u) << out;
    EXPECT_EQ(l[0].rfind("{\"msgnumber\":101,\"refnumber\":100,\"date\":\"2024-01-06\",\"time\":null,", 0), 0u) << l[0];
    EXPECT_TRUE(contains(l[1], "\"subject\":\"Caf\xC3\xA9 hours\"")) << l[1];
    EXPECT_TRUE(contains(l[1], "\"from_name\":\"Jos\xC3\xA9 Garc\xC3\xAD" "a\",\"from_address\":\"70000,123\"")) << l[1];
    EXPECT_TRUE(contains(l[1], "\"section\":\"General\"")) << l[1];
    EXPECT_TRUE(contains(l[1], "\"text\":\"First line\\r\\nSecond line \xE2\x82\xAC\"")) << l[1];
    EXPECT_TRUE(contains(l[1], "\"status\":0")) << l[1];

    ASSERT_EQ(cli({"messages", "Owner", "--json"}), 0) << err;
    l = lines(out);
    ASSERT_EQ(l.size(), 1u) << out;
    EXPECT_TRUE(contains(l[0], "\"date\":\"2024-02-01\",\"time\":\"08:15:00\"")) << l[0];
    EXPECT_TRUE(contains(l[0], "\"pair_name\":\"Bob\"")) << l[0];
    EXPECT_FALSE(contains(l[0], "\"text\""));

    ASSERT_EQ(cli({"messages", "comp.lang.c"}), 0) << err;
    EXPECT_TRUE(contains(out, "\tPointers\tPoster <p@x.org>\t")) << out;

    ASSERT_EQ(cli({"show", "101"}), 0) << err;
    EXPECT_TRUE(contains(out, "Database: Lotus\nNumber: 101\nReference: 100\nDate: 2024-01-06\n")) << out;
    EXPECT_TRUE(contains(out, "\n\nReply\n")) << out;
    EXPECT_NE(cli({"show", "99999"}), 0);
    EXPECT_NE(cli({"messages", "No Such Database"}), 0);
}

TEST_F(ImportVerb, MissingFileIsReportedAndTheRunStillSucceeds) {
    std::string f = fixture("a.fix", sample());
    ASSERT_EQ(cli({"import", "--type", "Test Fixture", "--into", "Lotus", f, files / "gone.fix"}), 0) << err;
    EXPECT_TRUE(contains(err, "Import Error : The file " + (files / "gone.fix") + " does not exist and will be skipped!"))
        << err;
}

TEST_F(ImportVerb, RunWithoutMessagesExitsNonZeroWithTheRunsMessage) {
    writeFile(files / "empty.fix", "# no messages\n");
    EXPECT_EQ(cli({"import", "--type", "Test Fixture", "--into", "Lotus", files / "empty.fix"}), 1);
    EXPECT_TRUE(contains(err, "Warning!: No messages found in selected file(s)!\nImport unsuccessful!")) << err;
}

TEST_F(ImportVerb, UsageErrorsAndTypesWithoutReader) {
    EXPECT_EQ(cli({"import", "--type", "No Such Type", "x"}), 2);
    EXPECT_EQ(cli({"import", "--type", "Eudora"}), 2);  // no files
    EXPECT_EQ(cli({"import", "--type", "Eudora", "--dir", files.path(), "x.mbx"}), 2);
    writeFile(files / "In.mbx", "From x\n");
    EXPECT_EQ(cli({"import", "--type", "WinCIM", "--mailbox", "Owner", files / "In.mbx"}), 1);
    EXPECT_TRUE(contains(err, "cannot be imported yet")) << err;
    EXPECT_EQ(cli({"import", "--type", "Test Fixture", "--mailbox", "Nobody", files / "In.mbx"}), 2);
}

TEST_F(ImportVerb, IntoANonForumDatabaseAndAMissingTopicAreRefusedBeforeReading) {
    std::string f = fixture("a.fix", sample());
    ASSERT_EQ(cli({"import", "--type", "Test Fixture", "--into", "Lotus", f}), 0) << err;  // makes comp.lang.c
    for (auto args : std::vector<std::vector<std::string>>{
             {"import", "--type", "Test Fixture", "--into", "comp.lang.c", f},
             {"import", "--type", "Test Fixture", "--into", "Owner", f},
             {"import", "--type", "Test Fixture", "--mailbox", "Owner", "--topic", "4711", f},
             {"import", "--type", "Test Fixture", "--into", "Lotus", "--topic", "4711", f}}) {
        EXPECT_EQ(cli(args), 2) << ::testing::PrintToString(args);
        EXPECT_TRUE(contains(err, "import: ")) << err;
        EXPECT_FALSE(contains(out, "Import Processing")) << out;  // nothing was read
    }
}

TEST_F(ImportVerb, SavedDefinitionIsListedAndRunsAgain) {
    std::string f = fixture("a.fix", sample());
    ASSERT_EQ(cli({"db", "add-forum", "Lotus"}), 0) << err;
    ASSERT_EQ(cli({"import", "--type", "Test Fixture", "--into", "Lotus", "--mailbox", "Owner", "--dir", files.path(),
                   "--masks", "*.FIX", "--save", "Nightly"}),
              0)
        << err;
    EXPECT_TRUE(contains(out, "imported 4")) << out;
    ASSERT_EQ(cli({"batch", "list", "--json"}), 0) << err;
    auto l = lines(out);
    ASSERT_EQ(l.size(), 1u) << out;
    EXPECT_TRUE(contains(l[0], "\"description\":\"Nightly\"")) << l[0];
    EXPECT_TRUE(contains(l[0], "\"type\":\"Test Fixture\",\"path\":\"" + files.path() + "\",\"method\":1,\"masks\":\"*.FIX\""))
        << l[0];
    std::string id = l[0].substr(6, l[0].find(',') - 6);
    fixture("b.fix", {[] {
                Fx m;
                m.number = 555;
                m.subject = "Later";
                return m;
            }()});
    ASSERT_EQ(cli({"batch", "run", id}), 0) << err;
    EXPECT_TRUE(contains(out, "imported 1  skipped 4")) << out;  // a.fix: two forum messages skipped while reading, mail and article duplicates
    EXPECT_NE(cli({"batch", "run", "424242"}), 0);
}

// ---------------------------------------------------------------------------
// Killed at random points

std::vector<Fx> killInput() {
    std::vector<Fx> v;
    for (int i = 0; i < 500; ++i) {
        Fx m;
        m.number = 1000 + uint32_t(i);
        m.ref = i % 4 ? m.number - 1 : 0;
        m.section = std::to_string(1 + i % 2) + " Part";
        m.subject = "Thread " + std::to_string(i / 4);
        m.from = "P" + std::to_string(i % 9) + " <7100" + std::to_string(i % 9) + ",2>";
        m.text = "Forum body " + std::to_string(i);
        v.push_back(m);
    }
    for (int i = 0; i < 400; ++i) {
        Fx m;
        m.kind = "mail";
        m.date = "2024-05-" + std::string(i % 28 < 9 ? "0" : "") + std::to_string(1 + i % 28) + " 1" +
                 std::to_string(i % 10) + ":" + (i % 60 < 10 ? "0" : "") + std::to_string(i % 60) + ":00";
        m.from = i % 3 ? "S" + std::to_string(i % 11) + " <s" + std::to_string(i % 11) + "@x.org>" : "Owner <owner@example.com>";
        m.to = i % 3 ? "Owner <owner@example.com>" : "F <f@y.org>";
        if (i % 5 == 0) m.cc = {"C <c@z.org>"};
        m.subject = "Mail " + std::to_string(i);
        m.text = "Mail body " + std::to_string(i);
        v.push_back(m);
    }
    for (int i = 0; i < 200; ++i) {
        Fx m;
        m.kind = "news";
        m.newsgroup = i % 2 ? "alt.kill.one" : "alt.kill.two";
        m.messageId = "<k" + std::to_string(i) + "@x>";
        if (i >= 2) m.references = "<k" + std::to_string(i - 2) + "@x>";
        m.from = "N" + std::to_string(i % 5) + " <n" + std::to_string(i % 5) + "@x.org>";
        m.to = "";
        m.subject = "News " + std::to_string(i / 6);
        m.text = "News body " + std::to_string(i);
        v.push_back(m);
    }
    return v;
}

// Starts the command-line tool in a child process.
std::unique_ptr<ChildProcess> spawnCli(const std::vector<std::string>& args) {
    return std::make_unique<ChildProcess>([&args]() -> int {
        std::vector<char*> argv;
        std::string path = QUILL_CLI_PATH;
        argv.push_back(path.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::execv(path.c_str(), argv.data());
        return 127;
    });
}

TEST(ImportKilled, ArchiveStaysConsistentAndARepeatedImportCompletes) {
    TempDir files;
    writeFile(files / "kill.fix", fixtureText(killInput()));

    // One clean run: its archive and how long it takes.
    TempDir cleanHome;
    ASSERT_EQ(runCli({"--home", cleanHome.path(), "db", "add-mail", "Owner", "owner@example.com"}), 0);
    auto args = [&](const std::string& home) {
        return std::vector<std::string>{"--home", home, "import", "--type", "Test Fixture", "--into", "Kill Forum",
                                        "--mailbox", "Owner", files / "kill.fix"};
    };
    auto t0 = std::chrono::steady_clock::now();
    std::string cleanErr;
    ASSERT_EQ(runCli(args(cleanHome.path()), nullptr, &cleanErr), 0) << cleanErr;
    auto duration = std::chrono::steady_clock::now() - t0;
    std::string cleanDump;
    {
        RecordingInterface ui;
        Session s(ui);
        openInstallation(s, cleanHome.path());
        cleanDump = archiveDump(s);
        ASSERT_TRUE(archiveProblems(s).empty());
    }

    std::mt19937 rng(20240517);
    long total = long(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
    std::uniform_int_distribution<long> when(0, std::max(total, 1L));
    const int kills = 20;
    for (int k = 0; k < kills; ++k) {
        TempDir home;
        ASSERT_EQ(runCli({"--home", home.path(), "db", "add-mail", "Owner", "owner@example.com"}), 0);
        long delay = when(rng);
        auto cli = spawnCli(args(home.path()));
        ASSERT_GT(cli->pid(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        (void)cli->kill();

        {
            RecordingInterface ui;
            Session s(ui);
            openInstallation(s, home.path());
            auto problems = archiveProblems(s);
            EXPECT_TRUE(problems.empty()) << "killed after " << delay << " ms: " << ::testing::PrintToString(problems);
        }
        std::string againErr;
        ASSERT_EQ(runCli(args(home.path()), nullptr, &againErr), 0) << "killed after " << delay << " ms: " << againErr;
        RecordingInterface ui;
        Session s(ui);
        openInstallation(s, home.path());
        EXPECT_TRUE(archiveProblems(s).empty()) << "killed after " << delay << " ms";
        EXPECT_EQ(archiveDump(s), cleanDump) << "killed after " << delay << " ms";
    }
}

// Starts the command-line tool with its stderr on a pipe (fd returned).
struct Child {
    pid_t pid = -1;
    int err = -1;
    ~Child() {
        if (err >= 0) ::close(err);
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

void spawnWithStderr(Child& c, const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    c.pid = ::fork();
    if (c.pid == 0) {
        std::vector<char*> argv;
        std::string path = QUILL_CLI_PATH;
        argv.push_back(path.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, 1);
        ::dup2(fds[1], 2);
        ::close(fds[0]);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    c.err = fds[0];
}

// Reads the child's stderr until it holds text (or the child closes it).
bool readUntil(int fd, const std::string& text, std::string& seen) {
    char buf[4096];
    while (seen.find(text) == std::string::npos) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        seen.append(buf, std::size_t(n));
    }
    return true;
}

std::vector<std::string> countMismatches(const std::string& home) {
    RecordingInterface ui;
    Session s(ui);
    openInstallation(s, home);
    std::vector<std::string> v = archiveProblems(s);
    for (auto& e : listCatalogue(s)) {
        kit::OpenDb open(s, e);
        uint64_t n = uint64_t(e.type == TypeMail ? s.Mail.records() : s.MsgNmbr.records());
        if (n != e.msgCount) v.push_back(e.description + " shows " + std::to_string(e.msgCount) + " holds " + std::to_string(n));
    }
    return v;
}

class ImportSignal : public ::testing::TestWithParam<int> {};

TEST_P(ImportSignal, StopsAtABatchBoundaryWithCountsEqualToTheStoredMessages) {
    TempDir home, files;
    std::vector<Fx> msgs;
    for (int i = 0; i < 6000; ++i) {
        Fx m;
        m.number = uint32_t(1000 + i);
        m.section = "1 General";
        m.subject = "Subject " + std::to_string(i / 3);
        m.text = "Body " + std::to_string(i);
        msgs.push_back(m);
    }
    writeFile(files / "big.fix", fixtureText(msgs));
    Child c;
    spawnWithStderr(c, {"--home", home.path(), "import", "--type", "Test Fixture", "--into", "Sig", files / "big.fix"});
    ASSERT_GT(c.pid, 0);
    std::string seen;
    ASSERT_TRUE(readUntil(c.err, "Importing messages", seen)) << seen;
    ::kill(c.pid, GetParam());
    char buf[4096];
    while (::read(c.err, buf, sizeof buf) > 0) {
    }
    EXPECT_EQ(c.wait(), 1);
    EXPECT_TRUE(countMismatches(home.path()).empty()) << ::testing::PrintToString(countMismatches(home.path()));
}

INSTANTIATE_TEST_SUITE_P(Signals, ImportSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? "SIGINT" : "SIGTERM"; });

// A small tmpfs mounted on a directory for the test's length (root only).
struct SmallDisk {
    std::string dir;
    bool mounted = false;
    SmallDisk(const std::string& d, const std::string& size) : dir(d) {
        ::mkdir(dir.c_str(), 0755);
        mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
    }
};

std::vector<Fx> bulky(int n, uint32_t first) {
    std::vector<Fx> v;
    for (int i = 0; i < n; ++i) {
        Fx m;
        m.number = first + uint32_t(i);
        m.section = "1 General";
        m.subject = "Bulk " + std::to_string(i % 50);
        m.text = std::string(3000, char('a' + i % 26)) + std::to_string(i);
        v.push_back(m);
    }
    return v;
}

TEST(ImportFullDisk, WhileStagingEndsWithOneClearMessageAndKeepsTheArchive) {
    TempDir home, files;
    ASSERT_EQ(runCli({"--home", home.path(), "init"}), 0);
    writeFile(files / "first.fix", fixtureText(bulky(20, 1)));
    ASSERT_EQ(runCli({"--home", home.path(), "import", "--type", "Test Fixture", "--into", "Disk", files / "first.fix"}), 0);
    SmallDisk temp(home / "TEMP", "1m");
    if (!temp.mounted) GTEST_SKIP() << "needs root to mount a small tmpfs";
    writeFile(files / "big.fix", fixtureText(bulky(2000, 100)));
    std::string out, err;
    int rc = runCli({"--home", home.path(), "--yes", "import", "--type", "Test Fixture", "--into", "Disk", files / "big.fix"},
                    &out, &err);
    EXPECT_EQ(rc, 1) << out << err;
    EXPECT_TRUE(contains(err, "The temporary import file could not be written")) << err;
    EXPECT_TRUE(contains(err, home / "TEMP")) << err;
    EXPECT_TRUE(contains(err, "full")) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '!'), 3) << err;  // the low-space question and the one message
    EXPECT_FALSE(contains(err, "Record add error")) << err;
    RecordingInterface ui;
    Session s(ui);
    openInstallation(s, home.path());
    auto cat = listCatalogue(s);
    ASSERT_EQ(cat.size(), 1u);
    EXPECT_EQ(cat[0].msgCount, 20u);
    EXPECT_TRUE(archiveProblems(s).empty());
}

TEST(ImportFullDisk, WhileStoringEndsNonZeroAndKeepsWhatWasStoredBefore) {
    TempDir outer, files;
    SmallDisk data(outer / "home", "3m");
    if (!data.mounted) GTEST_SKIP() << "needs root to mount a small tmpfs";
    std::string home = data.dir;
    ASSERT_EQ(runCli({"--home", home, "init"}), 0);
    writeFile(files / "first.fix", fixtureText(bulky(20, 1)));
    ASSERT_EQ(runCli({"--home", home, "--yes", "import", "--type", "Test Fixture", "--into", "Disk", files / "first.fix"}), 0);
    SmallDisk temp(home + "/TEMP", "64m");
    ASSERT_TRUE(temp.mounted);
    writeFile(files / "big.fix", fixtureText(bulky(3000, 100)));
    std::string out, err;
    int rc = runCli({"--home", home, "--yes", "import", "--type", "Test Fixture", "--into", "Disk", files / "big.fix"}, &out,
                    &err);
    EXPECT_EQ(rc, 1) << out << err;
    EXPECT_TRUE(contains(err, "database or disk is full")) << err;
    EXPECT_TRUE(contains(err, "import ended early: ")) << err;
    EXPECT_TRUE(contains(err, " to " + home + ": ")) << err;
    RecordingInterface ui;
    Session s(ui);
    openInstallation(s, home);
    auto cat = listCatalogue(s);
    ASSERT_EQ(cat.size(), 1u);
    EXPECT_GE(cat[0].msgCount, 20u);
    EXPECT_LT(cat[0].msgCount, 3020u);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    // The figure printed is what is stored.
    EXPECT_TRUE(contains(out, "imported " + std::to_string(cat[0].msgCount - 20) + " ")) << out;
}

}  // namespace
}  // namespace quill::test

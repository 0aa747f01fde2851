// quillmer-cli verify, the exit statuses, and several programs working on
// one installation at once.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::CliTest;
using quill::test::writeFile;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string fixtureOf(uint32_t first, uint32_t count) {
    std::string t;
    for (uint32_t n = first; n < first + count; ++n) {
        t += "%%\nKind: forum\nSection: 1 General\nNumber: " + std::to_string(n) +
             "\nDate: 2024-01-05 12:34:56\nFrom: Sender " + std::to_string(n % 7) + " <s" + std::to_string(n % 7) +
             "@example.com>\nTo: Receiver <r@example.com>\nSubject: subject " + std::to_string(n % 11) + "\n\ntext " +
             std::to_string(n) + "\n";
    }
    return t;
}

class Archive : public CliTest {
protected:
    void SetUp() override {
        ASSERT_EQ(cli({"init"}), 0) << err;
        writeFile(files / "fx.txt", fixtureOf(1, 40));
        ASSERT_EQ(cli({"import", "--type", "Test Fixture", "--into", "Alpha", files / "fx.txt"}), 0) << err;
    }
    // Changes the archive through a program of its own.
    void withSession(const std::function<void(Session&)>& f) {
        SilentInterface ui;
        Session s(ui);
        openInstallation(s, home.path());
        ASSERT_TRUE(selectDatabase(s, 250000) || true);
        f(s);
    }
};

TEST_F(Archive, VerifyFindsNothingInAGoodArchive) {
    EXPECT_EQ(cli({"verify"}), 0) << out << err;
    EXPECT_TRUE(contains(out, "No faults found.")) << out;
}

// A newsgroup's section carries the catalogue identifier of its group, so
// that a redirected group keeps its section: not an identifier used twice.
TEST_F(Archive, VerifyAcceptsNewsgroupSectionsNamedByTheirGroup) {
    const std::string spool = std::string(QUILL_SOURCE_DIR) + "/tests/data/news/gravity-two-articles-crlf.txt";
    ASSERT_EQ(cli({"import", "--type", "Gravity", spool}), 0) << err;
    EXPECT_EQ(cli({"verify"}), 0) << out << err;
}

uint32_t firstForum(Session& s) {
    auto entries = listCatalogue(s);
    return entries.empty() ? 0 : entries[0].id;
}

TEST_F(Archive, VerifyNamesEachKindOfDamage) {
    struct Case {
        const char* name;
        std::function<void(Session&, const std::string& dir)> damage;
        const char* expected;
    };
    std::vector<Case> cases = {
        {"text missing",
         [](Session& s, const std::string&) {
             OP_CLOSE(s, OpOpenShared, {4});
             s.MsgText.setPhysical();
             ASSERT_TRUE(s.MsgText.next().ok());
             ASSERT_TRUE(s.MsgText.del().ok());
             OP_CLOSE(s, OpClose, {4});
         },
         "has no text"},
        {"message count",
         [](Session& s, const std::string&) {
             OP_CLOSE(s, OpOpenShared, {2});
             s.Forums.clearBuffer();
             s.FOR.ID = s.Mem.ForumNumber;
             ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY).ok());
             s.FOR.MSGCOUNT = 7;
             ASSERT_TRUE(s.Forums.put().ok());
             OP_CLOSE(s, OpClose, {2});
         },
         "message count 7, but 40 messages are stored"},
        {"thread count",
         [](Session& s, const std::string&) {
             OP_CLOSE(s, OpOpenShared, {7});
             s.Threads.setPhysical();
             ASSERT_TRUE(s.Threads.next().ok());
             s.THR.MSGCOUNT = 999;
             ASSERT_TRUE(s.Threads.put().ok());
             OP_CLOSE(s, OpClose, {7});
         },
         "has the count 999"},
        {"generator",
         [](Session& s, const std::string&) {
             OP_CLOSE(s, OpOpenShared, {8});
             s.Control.clearBuffer();
             s.CTL.ID = 1;
             ASSERT_TRUE(s.Control.get(ControlFile::IDKEY).ok());
             s.CTL.NEXTNUMBER = 250001;
             ASSERT_TRUE(s.Control.put().ok());
             OP_CLOSE(s, OpClose, {8});
         },
         "identifier generator stands at 250001"},
        {"ForumRef",
         [](Session&, const std::string& dir) { ASSERT_EQ(::unlink((dir + "/IDX022.DAT").c_str()), 0); },
         "ForumRef copy is missing"},
        {"journal",
         [](Session&, const std::string& dir) { writeFile(dir + "/IDX003.TPS-journal", std::string(600, 'j')); },
         "stale journal"},
        {"directory",
         [](Session&, const std::string& dir) { ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); },
         "its directory is missing"},
    };
    std::string pristine = home.path() + ".pristine";
    ASSERT_EQ(std::system(("cp -a '" + home.path() + "' '" + pristine + "'").c_str()), 0);
    for (auto& c : cases) {
        ASSERT_EQ(std::system(("rm -rf '" + home.path() + "' && cp -a '" + pristine + "' '" + home.path() + "'").c_str()), 0);
        withSession([&](Session& s) {
            ASSERT_TRUE(selectDatabase(s, firstForum(s)));
            c.damage(s, s.Mem.FileDir + "/" + s.Mem.Dirnamn);
        });
        EXPECT_EQ(cli({"verify"}), 1) << c.name << "\n" << out << err;
        EXPECT_TRUE(contains(out, c.expected)) << c.name << "\n" << out;
    }
    ASSERT_EQ(std::system(("rm -rf '" + pristine + "'").c_str()), 0);
}

TEST_F(Archive, RepairRecountsAndRaisesTheGeneratorWithoutLosingAMessage) {
    withSession([&](Session& s) {
        ASSERT_TRUE(selectDatabase(s, firstForum(s)));
        OP_CLOSE(s, OpOpenShared, {2, 7, 8});
        s.Forums.clearBuffer();
        s.FOR.ID = s.Mem.ForumNumber;
        ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY).ok());
        s.FOR.MSGCOUNT = 3;
        ASSERT_TRUE(s.Forums.put().ok());
        s.Threads.setPhysical();
        ASSERT_TRUE(s.Threads.next().ok());
        s.THR.MSGCOUNT = 0;
        ASSERT_TRUE(s.Threads.put().ok());
        s.Control.clearBuffer();
        s.CTL.ID = 1;
        ASSERT_TRUE(s.Control.get(ControlFile::IDKEY).ok());
        s.CTL.NEXTNUMBER = 250001;
        ASSERT_TRUE(s.Control.put().ok());
        OP_CLOSE(s, OpClose, {2, 7, 8});
    });
    EXPECT_EQ(cli({"verify", "--repair"}), 0) << out << err;
    EXPECT_TRUE(contains(out, "repaired:")) << out;
    EXPECT_EQ(cli({"verify"}), 0) << out;
    ASSERT_EQ(cli({"messages", "Alpha"}), 0) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 40);
}

TEST_F(Archive, ADamagedFileIsReportedByNameAndEndsWithTheFatalStatus) {
    std::string name;
    withSession([&](Session& s) {
        ASSERT_TRUE(selectDatabase(s, firstForum(s)));
        name = s.Mem.FileDir + "/" + s.Mem.Dirnamn + "/IDX004.TPS";
    });
    // Zero every page of the text file after its first two.
    int fd = ::open(name.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    std::string zeros(std::size_t(st.st_size > 8192 ? st.st_size - 8192 : 0), '\0');
    ASSERT_EQ(::pwrite(fd, zeros.data(), zeros.size(), 8192), ssize_t(zeros.size()));
    ::close(fd);
    EXPECT_EQ(cli({"messages", "Alpha", "--text"}), 3) << out << err;
    EXPECT_TRUE(contains(err, "database disk image is malformed")) << err;
    EXPECT_TRUE(contains(err, name)) << err;
    EXPECT_EQ(cli({"verify"}), 1) << out << err;
    EXPECT_TRUE(contains(out, name)) << out;
}

TEST_F(Archive, ExitStatusesTellUsageFromFatalErrors) {
    EXPECT_EQ(cli({"messages"}), 2);
    EXPECT_EQ(cli({"no-such-verb"}), 2);
    EXPECT_EQ(cli({"db", "add-forum", "Alpha"}), 1) << "a duplicate name is refused";
    // A missing data directory is fatal.
    withSession([&](Session& s) {
        ASSERT_TRUE(selectDatabase(s, firstForum(s)));
        ASSERT_EQ(std::system(("rm -rf '" + s.Mem.FileDir + "/" + s.Mem.Dirnamn + "'").c_str()), 0);
    });
    EXPECT_EQ(cli({"messages", "Alpha"}), 3) << err;
}

TEST_F(Archive, ADatabaseWhoseCopyCannotBeWrittenIsNotCreated) {
    // The directory the next database gets holds a directory where its
    // ForumRef file belongs.
    ASSERT_EQ(::mkdir((home.path() + "/F2").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((home.path() + "/F2/IDX022.DAT").c_str(), 0755), 0);
    EXPECT_NE(cli({"db", "add-forum", "Beta"}), 0);
    ASSERT_EQ(cli({"db", "list"}), 0);
    EXPECT_FALSE(contains(out, "Beta")) << out;
}

// In a forked child: becomes the tool, output discarded.
[[noreturn]] void execCli(const std::vector<std::string>& args) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(QUILL_CLI_PATH)};
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(QUILL_CLI_PATH, argv.data());
    ::_exit(127);
}

// Runs the tool in a child process; the guard kills and reaps it on every
// path.
std::unique_ptr<quill::test::ChildProcess> startCli(const std::vector<std::string>& args) {
    return std::make_unique<quill::test::ChildProcess>([args]() -> int { execCli(args); });
}

bool exitedCleanly(int status) { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

TEST_F(Archive, TwoImportsSideBySideStoreEveryMessageOnceWithSoundCounts) {
    ASSERT_EQ(cli({"db", "add-forum", "Beta"}), 0) << err;
    writeFile(files / "a.txt", fixtureOf(1000, 150));
    writeFile(files / "b.txt", fixtureOf(1100, 150));  // 50 messages in both
    std::vector<std::unique_ptr<quill::test::ChildProcess>> kids;
    for (const char* f : {"a.txt", "b.txt"})
        kids.push_back(startCli({"--home", home.path(), "import", "--type", "Test Fixture", "--into", "Beta", files / f}));
    for (auto& k : kids) {
        ASSERT_GT(k->pid(), 0);
        EXPECT_TRUE(exitedCleanly(k->wait())) << "an import failed";
    }
    ASSERT_EQ(cli({"messages", "Beta"}), 0) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 250);
    // Every thread, section and person count equals the messages that name it.
    EXPECT_EQ(cli({"verify"}), 0) << out << err;
}

TEST_F(Archive, TwoImportsCreatingTheSameNewDatabaseShareIt) {
    // A few rounds, each into a database neither import finds at its start.
    for (uint32_t round = 0; round < 3; ++round) {
        const std::string name = "Gamma " + std::to_string(round);
        writeFile(files / "a.txt", fixtureOf(2000 + 200 * round, 60));
        writeFile(files / "b.txt", fixtureOf(2040 + 200 * round, 60));  // 20 messages in both
        std::vector<std::unique_ptr<quill::test::ChildProcess>> kids;
        for (const char* f : {"a.txt", "b.txt"})
            kids.push_back(startCli({"--home", home.path(), "import", "--type", "Test Fixture", "--into", name, files / f}));
        for (auto& k : kids) {
            ASSERT_GT(k->pid(), 0);
            EXPECT_TRUE(exitedCleanly(k->wait())) << "an import into " << name << " failed";
        }
        ASSERT_EQ(cli({"messages", name}), 0) << err;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 100) << "both imports' messages in " << name;
    }
    ASSERT_EQ(cli({"db", "list"}), 0) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4) << "Alpha and each new database once:\n" << out;
    EXPECT_EQ(cli({"verify"}), 0) << out << err;
}

// Starts the tool in a process of its own, output discarded.
pid_t spawn(const std::vector<std::string>& args) {
    pid_t p = ::fork();
    if (p != 0) return p;
    execCli(args);
}

// Every process started, killed and reaped on every path.
struct Processes {
    std::vector<pid_t> pids;
    ~Processes() {
        for (pid_t p : pids) {
            ::kill(p, SIGKILL);
            int st = 0;
            ::waitpid(p, &st, 0);
        }
    }
};

TEST_F(Archive, StressImportListAddAndWalkSideBySideLeaveASoundArchive) {
    unsigned seed = std::random_device{}();
    if (const char* given = std::getenv("QUILL_STRESS_SEED")) seed = unsigned(std::strtoul(given, nullptr, 10));
    std::cout << "stress seed " << seed << "\n";
    std::mt19937 rng(seed);
    ASSERT_EQ(cli({"db", "add-forum", "Stress"}), 0) << err;
    const uint32_t kMessages = 200 + rng() % 200;
    writeFile(files / "stress.txt", fixtureOf(5000, kMessages));

    Processes running;
    pid_t import = spawn({"--home", home.path(), "import", "--type", "Test Fixture", "--into", "Stress", files / "stress.txt"});
    ASSERT_GT(import, 0);
    std::map<pid_t, std::string> loops;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int importStatus = -1, added = 0, round = 0;
    std::map<std::string, int> failures;
    while (std::chrono::steady_clock::now() < deadline || importStatus < 0) {
        if (std::chrono::steady_clock::now() > deadline + std::chrono::seconds(120)) break;
        // Keep one of each kind of program running beside the import.
        for (const char* kind : {"list", "add", "walk"}) {
            bool present = false;
            for (auto& [p, k] : loops) present = present || k == kind;
            if (present || std::chrono::steady_clock::now() > deadline) continue;
            std::vector<std::string> args{"--home", home.path()};
            if (std::string(kind) == "list") args.insert(args.end(), {"db", "list"});
            else if (std::string(kind) == "add") args.insert(args.end(), {"db", "add-forum", "Fresh " + std::to_string(seed % 1000) + "-" + std::to_string(round++)});
            else args.insert(args.end(), {"messages", "Stress"});
            pid_t p = spawn(args);
            ASSERT_GT(p, 0);
            running.pids.push_back(p);
            loops[p] = kind;
        }
        int st = 0;
        pid_t done = ::waitpid(-1, &st, 0);
        if (done <= 0) break;
        for (auto it = running.pids.begin(); it != running.pids.end(); ++it)
            if (*it == done) {
                running.pids.erase(it);
                break;
            }
        int code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        if (done == import) {
            importStatus = code;
            continue;
        }
        std::string kind = loops[done];
        loops.erase(done);
        if (code != 0) ++failures[kind];
        else if (kind == "add") ++added;
    }
    // The programs still running end by themselves.
    while (!running.pids.empty()) {
        pid_t p = running.pids.back();
        int st = 0;
        ::waitpid(p, &st, 0);
        running.pids.pop_back();
        if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) ++failures[loops[p]];
        else if (loops[p] == "add") ++added;
    }
    EXPECT_EQ(importStatus, 0);
    EXPECT_TRUE(failures.empty()) << "list " << failures["list"] << ", add " << failures["add"] << ", walk "
                                  << failures["walk"] << " programs failed";
    EXPECT_EQ(cli({"verify"}), 0) << out << err;
    ASSERT_EQ(cli({"messages", "Stress", "--json"}), 0) << err;
    EXPECT_EQ(uint32_t(std::count(out.begin(), out.end(), '\n')), kMessages) << "a message is missing or stored twice";
    ASSERT_EQ(cli({"db", "list"}), 0);
    EXPECT_EQ(int(std::count(out.begin(), out.end(), '\n')), 2 + added) << "Alpha, Stress and every added forum";
}

}  // namespace

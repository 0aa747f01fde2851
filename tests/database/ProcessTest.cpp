// Behaviour across processes: record holds seen by another process and
// released by its death, and transactions over several files that stay
// whole when the writing process is killed at any moment.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <random>
#include <stdexcept>
#include <set>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::Installation;

namespace {

void useDatabase(Session& s) {
    s.Mem.Dirnamn = "F1";
    (void)ExistPath(s, 3, 0, s.Mem.FileDir + "/F1", "", true);
}

TEST(Holds, SecondProcessIsRefusedAfterAboutASecondAndTheHoldDiesWithItsProcess) {
    Installation inst;
    Session& s = inst.s();
    useDatabase(s);
    OP_CLOSE(s, OpOpenShared, {5});
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    s.PER.PERSONSTRING = "held";
    ASSERT_TRUE(s.Person.add().ok());
    OP_CLOSE(s, OpClose, {5});

    quill::test::Pipe ready;
    ASSERT_TRUE(ready.ok());
    quill::test::ChildProcess child([&] {
        SilentInterface ui;
        Session c(ui);
        openInstallation(c, inst.dir.path());
        useDatabase(c);
        OP_CLOSE(c, OpOpenShared, {5});
        c.Person.clearBuffer();
        c.PER.PERSONID = 250000;
        int ok = HoldRec(c, c.Person, PersonFile::PERSONKEY, true, {});
        (void)ready.send(ok ? 'h' : 'x');
        for (;;) ::pause();
        return 0;
    });
    ASSERT_GT(child.pid(), 0);
    ready.closeWrite();
    ASSERT_EQ(ready.receive(), 'h');

    OP_CLOSE(s, OpOpenShared, {5});
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(HoldRec(s, s.Person, PersonFile::PERSONKEY, true, {}), 0);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(waited, 0.9);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].caption, "The record is not accessible!");
    EXPECT_EQ(inst.ui.messages[0].text, "The record is locked by another user!\r\nUpdate is cancelled, try again later!");
    // Reading without a hold is still allowed.
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    EXPECT_TRUE(s.Person.get(PersonFile::PERSONKEY).ok());

    (void)child.kill();
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    EXPECT_EQ(HoldRec(s, s.Person, PersonFile::PERSONKEY, true, {}), 1);
    s.Person.release();
    OP_CLOSE(s, OpClose, {5});
}

// The child writes transaction k into three files: a header, a text and a
// person, all numbered k, until it is killed. It reports its start ('w')
// and every commit that returned ('c') through the pipe.
[[noreturn]] void writeForever(const std::string& home, uint32_t first, quill::test::Pipe& ready) {
    SilentInterface ui;
    Session c(ui);
    openInstallation(c, home);
    useDatabase(c);
    OP_CLOSE(c, OpOpenShared, {3, 4, 5});
    // Tell the parent that the writing starts now, so its kill lands among
    // the transactions and not in the start-up.
    (void)ready.send('w');
    for (uint32_t k = first;; ++k) {
        if (!beginWrites(c, {&c.MsgNmbr, &c.MsgText, &c.Person})) ::_exit(3);
        c.MsgNmbr.clearBuffer();
        c.MSG.MSGNUMBER = k;
        c.MSG.DATE = int32_t(k);
        c.MsgText.clearBuffer();
        c.TXT.MSGNUMBER = k;
        c.MsgText.memo = std::string(200 + k % 3000, 'x');
        c.Person.clearBuffer();
        c.PER.PERSONID = k;
        c.PER.PERSONSTRING = "person " + std::to_string(k);
        if (!c.MsgNmbr.add() || !c.MsgText.add() || !c.Person.add()) ::_exit(4);
        if (!c.store.commit()) ::_exit(5);
        (void)ready.send('c');
    }
}

TEST(Crash, KilledWriterLeavesEveryTransactionWhollyPresentOrWhollyAbsent) {
    Installation inst;
    Session& s = inst.s();
    useDatabase(s);
    OP_CLOSE(s, OpOpenShared, {3, 4, 5});
    OP_CLOSE(s, OpClose, {3, 4, 5});
    std::mt19937 rng(20261207);
    uint32_t next = 1;
    int kills = 0;
    for (int round = 0; round < 50; ++round) {
        quill::test::Pipe ready;
        ASSERT_TRUE(ready.ok());
        quill::test::ChildProcess child([&]() -> int { writeForever(inst.dir.path(), next, ready); });
        ASSERT_GT(child.pid(), 0);
        ready.closeWrite();
        ASSERT_EQ(ready.receive(), 'w') << "the writer ended before it began writing";
        // The kill follows a drawn number of commits (none: it may land in
        // the recovery of the last killed transaction) and a short pause, so
        // that it lands among the transactions however loaded the machine.
        uint32_t commits = rng() % 8;
        for (uint32_t i = 0; i < commits; ++i)
            ASSERT_EQ(ready.receive(), 'c') << "the writer ended by itself";
        ::usleep(useconds_t(rng() % 20000));
        int status = child.kill();
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself with " << WEXITSTATUS(status);
        ++kills;

        // Every file opens as it is, without rebuilding keys.
        for (RecordFile* f : {static_cast<RecordFile*>(&s.MsgNmbr), static_cast<RecordFile*>(&s.MsgText),
                              static_cast<RecordFile*>(&s.Person)}) {
            buildName(s, f->number());
            ASSERT_TRUE(f->open().ok()) << f->name() << " error " << s.store.errorCode();
        }
        std::set<uint32_t> headers, texts, persons;
        s.MsgNmbr.setPhysical();
        while (s.MsgNmbr.next()) headers.insert(s.MSG.MSGNUMBER);
        s.MsgText.set(MsgTextFile::IDKEY);
        while (s.MsgText.next()) {
            texts.insert(s.TXT.MSGNUMBER);
            ASSERT_EQ(s.MsgText.memo.size(), 200 + s.TXT.MSGNUMBER % 3000);
        }
        s.Person.set(PersonFile::STRINGKEY);
        while (s.Person.next()) persons.insert(s.PER.PERSONID);
        EXPECT_EQ(headers, texts);
        EXPECT_EQ(headers, persons);
        EXPECT_EQ(int64_t(headers.size()), s.MsgNmbr.records());
        uint32_t highest = headers.empty() ? 0 : *headers.rbegin();
        EXPECT_EQ(headers.size(), highest) << "a committed transaction went missing";
        EXPECT_GE(highest, next - 1 + commits) << "a commit that returned did not last";
        next = highest + 1;
        for (RecordFile* f : {static_cast<RecordFile*>(&s.MsgNmbr), static_cast<RecordFile*>(&s.MsgText),
                              static_cast<RecordFile*>(&s.Person)})
            (void)f->close();
        if (HasFailure()) break;
    }
    EXPECT_EQ(kills, 50);
    EXPECT_GT(next, 25u) << "the writer hardly wrote anything";
}

}  // namespace

namespace {

// The guard every forking test relies on to leave nothing behind.
TEST(ChildGuard, LeavingScopeKillsAndReapsAChildThatNeverEnds) {
    pid_t pid = -1;
    {
        quill::test::ChildProcess child([] {
            for (;;) ::pause();
            return 0;
        });
        pid = child.pid();
        ASSERT_GT(pid, 0);
    }
    // Reaped: the id no longer names a process of ours, not even a zombie.
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ChildGuard, ChildEndsWithWhatItsBodyReturnsOr99WhenItThrows) {
    quill::test::ChildProcess returns([] { return 7; });
    int status = returns.wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
    quill::test::ChildProcess throws([]() -> int { throw std::runtime_error("x"); });
    status = throws.wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 99);
    EXPECT_EQ(throws.kill(), -1) << "a reaped child is not killed again";
}

}  // namespace

namespace {

// A test process killed by its timeout cannot run the guard's destructor:
// its child must die with it all the same.
TEST(ChildGuard, ChildDiesWithTheProcessThatForkedIt) {
    // Orphans of our children are reparented to this process, so the
    // grandchild can be reaped here.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    quill::test::Pipe report;
    ASSERT_TRUE(report.ok());
    quill::test::ChildProcess middle([&] {
        quill::test::ChildProcess grandchild([] {
            for (;;) ::pause();
            return 0;
        });
        pid_t g = grandchild.pid();
        (void)::write(report.writeFd(), &g, sizeof g);
        for (;;) ::pause();
        return 0;
    });
    ASSERT_GT(middle.pid(), 0);
    report.closeWrite();
    pid_t g = -1;
    ASSERT_EQ(::read(report.readFd(), &g, sizeof g), ssize_t(sizeof g));
    ASSERT_GT(g, 0);
    (void)middle.kill();
    // The grandchild ends by the death signal; wait for it for a while, and
    // kill it here if it does not.
    int status = 0;
    pid_t r = 0;
    for (int i = 0; i < 1000 && r == 0; ++i) {
        r = ::waitpid(g, &status, WNOHANG);
        if (r == 0) ::usleep(10000);
    }
    if (r == 0) {
        ::kill(g, SIGKILL);
        ::waitpid(g, &status, 0);
        ADD_FAILURE() << "the grandchild outlived its parent";
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_EQ(r, g);
    // Killed by the death signal, or ended at once when its parent was gone
    // before it could ask for the signal.
    EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) || (WIFEXITED(status) && WEXITSTATUS(status) == 98))
        << "status " << status;
}

}  // namespace

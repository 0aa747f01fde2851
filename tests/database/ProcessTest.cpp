// Behaviour across processes: record holds seen by another process and
// released by its death, and transactions over several files that stay
// whole when the writing process is killed at any moment.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
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

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SilentInterface ui;
        Session c(ui);
        openInstallation(c, inst.dir.path());
        useDatabase(c);
        OP_CLOSE(c, OpOpenShared, {5});
        c.Person.clearBuffer();
        c.PER.PERSONID = 250000;
        int ok = HoldRec(c, c.Person, PersonFile::PERSONKEY, true, {});
        char b = ok ? 'h' : 'x';
        (void)::write(ready[1], &b, 1);
        ::pause();
        ::_exit(0);
    }
    char b = 0;
    ASSERT_EQ(::read(ready[0], &b, 1), 1);
    ASSERT_EQ(b, 'h');

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

    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    EXPECT_EQ(HoldRec(s, s.Person, PersonFile::PERSONKEY, true, {}), 1);
    s.Person.release();
    OP_CLOSE(s, OpClose, {5});
    ::close(ready[0]);
    ::close(ready[1]);
}

// The child writes transaction k into three files: a header, a text and a
// person, all numbered k, until it is killed.
[[noreturn]] void writeForever(const std::string& home, uint32_t first, int readyFd) {
    SilentInterface ui;
    Session c(ui);
    openInstallation(c, home);
    useDatabase(c);
    OP_CLOSE(c, OpOpenShared, {3, 4, 5});
    // Tell the parent that the writing starts now, so its kill lands among
    // the transactions and not in the start-up.
    char go = 'w';
    (void)::write(readyFd, &go, 1);
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
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) writeForever(inst.dir.path(), next, ready[1]);
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        ::usleep(useconds_t(rng() % 40000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
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

// Several programs on one installation: what one program does never harms
// what another wrote (identifiers, busy files, file creation, holds,
// positions, read-ahead).
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::Installation;
using quill::test::RecordingInterface;

namespace {

// A forked child, killed and reaped on every path.
struct Child {
    pid_t pid = -1;
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            int st = 0;
            ::waitpid(pid, &st, 0);
        }
    }
    int wait() {
        int st = 0;
        ::waitpid(pid, &st, 0);
        pid = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
};

void useDatabase(Session& s) {
    s.Mem.Dirnamn = "F1";
    (void)ExistPath(s, 3, 0, s.Mem.FileDir + "/F1", "", true);
}

// One person in the database F1, which becomes the selected directory.
void addPerson(Session& s, uint32_t id, const std::string& identity) {
    useDatabase(s);
    OP_CLOSE(s, OpOpenShared, {5});
    s.Person.clearBuffer();
    s.PER.PERSONID = id;
    s.PER.PERSONSTRING = identity;
    ASSERT_TRUE(s.Person.add().ok());
    OP_CLOSE(s, OpClose, {5});
}

TEST(OnlyReading, OpeningAnInstallationWritesNothingToControl) {
    Installation inst;
    std::string control = inst.dir.path() + "/CFG/IDX008.TPS";
    std::string before = quill::test::readFile(control);
    SilentInterface ui;
    Session again(ui);
    openInstallation(again, inst.dir.path());
    EXPECT_EQ(quill::test::readFile(control), before);
}

TEST(Identifiers, DrawsOfSeveralProcessesNeverRepeatAndNeverGoBack) {
    Installation inst;
    constexpr int kChildren = 4, kDraws = 60;
    int pipes[kChildren][2];
    Child children[kChildren];
    for (int c = 0; c < kChildren; ++c) {
        ASSERT_EQ(::pipe(pipes[c]), 0);
        children[c].pid = ::fork();
        ASSERT_GE(children[c].pid, 0);
        if (children[c].pid == 0) {
            SilentInterface ui;
            Session s(ui);
            openInstallation(s, inst.dir.path());
            OP_CLOSE(s, OpOpenShared, {8});
            for (int i = 0; i < kDraws; ++i) {
                // Odd children draw inside a transaction, even ones alone;
                // every third draw reserves a block as an import does.
                uint32_t id = 0;
                bool inTxn = c % 2 == 1;
                if (inTxn && !beginWrites(s, {&s.Control})) ::_exit(3);
                uint32_t count = i % 3 == 0 ? 5 : 1;
                if (!reserveIdentifiers(s, count, id)) ::_exit(4);
                if (inTxn && !s.store.commit()) ::_exit(5);
                for (uint32_t k = 0; k < count; ++k) {
                    uint32_t v = id + k;
                    (void)::write(pipes[c][1], &v, sizeof v);
                }
            }
            ::_exit(0);
        }
        ::close(pipes[c][1]);
    }
    std::set<uint32_t> seen;
    std::size_t drawn = 0;
    for (int c = 0; c < kChildren; ++c) {
        uint32_t v;
        while (::read(pipes[c][0], &v, sizeof v) == sizeof v) {
            ++drawn;
            EXPECT_TRUE(seen.insert(v).second) << "identifier " << v << " handed out twice";
        }
        ::close(pipes[c][0]);
        EXPECT_EQ(children[c].wait(), 0);
    }
    EXPECT_EQ(seen.size(), drawn);
    // The generator stands above everything handed out.
    Session& s = inst.s();
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    ASSERT_TRUE(s.Control.get(ControlFile::IDKEY).ok());
    EXPECT_GT(uint32_t(s.CTL.NEXTNUMBER), *seen.rbegin());
    OP_CLOSE(s, OpClose, {8});
}

TEST(BusyFile, ALockHeldBeyondTheWaitIsReportedAsALockAndTheFileStays) {
    Installation inst;
    Session& s = inst.s();
    OP_CLOSE(s, OpOpenShared, {34});
    s.Batches.clearBuffer();
    s.BAT.ID = 260000;
    s.BAT.DESCRIPTION = "kept";
    ASSERT_TRUE(s.Batches.add().ok());
    OP_CLOSE(s, OpClose, {34});
    std::string name = inst.dir.path() + "/CFG/IDX034.TPS";

    // Another program holds the file exclusively for longer than the wait.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(name.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        OP_CLOSE(s, OpOpenShared, {34});
        ADD_FAILURE() << "opened a file that another program holds exclusively";
    } catch (const ProgramStop& stop) {
        EXPECT_NE(stop.text().find("File Is Already Locked"), std::string::npos) << stop.text();
        EXPECT_EQ(stop.text().find("definition is incorrect"), std::string::npos);
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    OP_CLOSE(s, OpForceClose, {34});
    OP_CLOSE(s, OpOpenShared, {34});
    EXPECT_EQ(s.Batches.records(), 1);
    OP_CLOSE(s, OpClose, {34});
}

TEST(Creation, CreatingAFileThatAnotherProgramMadeKeepsItsRecords) {
    Installation inst;
    Session& s = inst.s();
    ASSERT_NO_FATAL_FAILURE(addPerson(s, 250001, "first"));
    // A program that found the file missing a moment ago creates it now.
    ASSERT_TRUE(s.Person.create().ok());
    OP_CLOSE(s, OpOpenShared, {5});
    EXPECT_EQ(s.Person.records(), 1);
    OP_CLOSE(s, OpClose, {5});
}

TEST(Holds, AHoldReleasedWithinTheWaitIsHandedToTheWaiterWithTheHoldersChange) {
    Installation inst;
    Session& s = inst.s();
    ASSERT_NO_FATAL_FAILURE(addPerson(s, 250000, "held"));

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    Child child;
    child.pid = ::fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        SilentInterface ui;
        Session c(ui);
        openInstallation(c, inst.dir.path());
        useDatabase(c);
        OP_CLOSE(c, OpOpenShared, {5});
        c.Person.clearBuffer();
        c.PER.PERSONID = 250000;
        if (HoldRec(c, c.Person, PersonFile::PERSONKEY, true, {}) != 1) ::_exit(3);
        char b = 'h';
        (void)::write(ready[1], &b, 1);
        ::usleep(300000);
        c.PER.LASTNAME = "Changed";
        if (!c.Person.put()) ::_exit(4);
        c.Person.release();
        ::pause();
        ::_exit(0);
    }
    char b = 0;
    ASSERT_EQ(::read(ready[0], &b, 1), 1);
    OP_CLOSE(s, OpOpenShared, {5});
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    EXPECT_EQ(HoldRec(s, s.Person, PersonFile::PERSONKEY, true, {}), 1) << "the released hold was not handed over";
    EXPECT_EQ(s.PER.LASTNAME.str(), "Changed");
    s.Person.release();
    OP_CLOSE(s, OpClose, {5});
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(Positions, ADeletedRecordsPositionIsNeverGivenToAnother) {
    Installation inst;
    Session& s = inst.s();
    useDatabase(s);
    OP_CLOSE(s, OpOpenShared, {7});
    for (uint32_t id : {250001u, 250002u}) {
        s.Threads.clearBuffer();
        s.THR.THREADNUMBER = id;
        ASSERT_TRUE(s.Threads.add().ok());
    }
    Position last = s.Threads.position();
    ASSERT_TRUE(s.Threads.del().ok());
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = 250003;
    ASSERT_TRUE(s.Threads.add().ok());
    EXPECT_NE(s.Threads.position().id, last.id);
    EXPECT_EQ(s.Threads.reget(last).code(), RecordNotFoundErr);
    // Emptying the file forgets no position either.
    Position third = s.Threads.position();
    ASSERT_TRUE(s.Threads.empty().ok());
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = 250004;
    ASSERT_TRUE(s.Threads.add().ok());
    EXPECT_GT(s.Threads.position().id, third.id);
    OP_CLOSE(s, OpClose, {7});
}

TEST(ReadAhead, AWalkSeesWhatAnotherProgramDeletedOrChangedMeanwhile) {
    Installation inst;
    Session& s = inst.s();
    useDatabase(s);
    OP_CLOSE(s, OpOpenShared, {7});
    for (uint32_t id = 1; id <= 10; ++id) {
        s.Threads.clearBuffer();
        s.THR.THREADNUMBER = 250000 + id;
        s.THR.ALPHA = "old";
        ASSERT_TRUE(s.Threads.add().ok());
    }
    s.Threads.set(ThreadsFile::THREADKEY);
    ASSERT_TRUE(s.Threads.next().ok());
    ASSERT_EQ(uint32_t(s.THR.THREADNUMBER), 250001u);

    RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    useDatabase(*other);
    OP_CLOSE(*other, OpOpenShared, {7});
    other->Threads.clearBuffer();
    other->THR.THREADNUMBER = 250002;
    ASSERT_TRUE(other->Threads.get(ThreadsFile::THREADKEY).ok());
    ASSERT_TRUE(other->Threads.del().ok());
    other->THR.THREADNUMBER = 250003;
    ASSERT_TRUE(other->Threads.get(ThreadsFile::THREADKEY).ok());
    other->THR.ALPHA = "new";
    ASSERT_TRUE(other->Threads.put().ok());
    OP_CLOSE(*other, OpClose, {7});

    ASSERT_TRUE(s.Threads.next().ok());
    EXPECT_EQ(uint32_t(s.THR.THREADNUMBER), 250003u) << "returned a record deleted by another program";
    EXPECT_EQ(s.THR.ALPHA.str(), "new");
    OP_CLOSE(s, OpClose, {7});
}

}  // namespace

namespace {

TEST(SaveRecAfterDelete, ARecordDeletedByAnotherUserIsReportedAsDeletedAndNothingIsOverwritten) {
    Installation inst;
    Session& s = inst.s();
    useDatabase(s);
    OP_CLOSE(s, OpOpenShared, {7});
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = 250001;
    s.THR.ALPHA = "mine";
    ASSERT_TRUE(s.Threads.add().ok());
    SaveRecList list;
    Position pos;
    (void)SaveRec(s, s.Threads, list, 2, true, pos);

    RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    useDatabase(*other);
    OP_CLOSE(*other, OpOpenShared, {7});
    other->Threads.clearBuffer();
    other->THR.THREADNUMBER = 250001;
    ASSERT_TRUE(other->Threads.get(ThreadsFile::THREADKEY).ok());
    ASSERT_TRUE(other->Threads.del().ok());
    other->Threads.clearBuffer();
    other->THR.THREADNUMBER = 250002;
    other->THR.ALPHA = "theirs";
    ASSERT_TRUE(other->Threads.add().ok());
    OP_CLOSE(*other, OpClose, {7});

    s.THR.ALPHA = "edited";
    EXPECT_EQ(SaveRec(s, s.Threads, list, 2, false, pos), "");
    ASSERT_FALSE(inst.ui.messages.empty());
    EXPECT_EQ(inst.ui.messages.back().text,
              "The record has been deleted by another user!\r\n                   Update is cancelled!");
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = 250002;
    ASSERT_TRUE(s.Threads.get(ThreadsFile::THREADKEY).ok());
    EXPECT_EQ(s.THR.ALPHA.str(), "theirs");
    OP_CLOSE(s, OpClose, {7});
}

}  // namespace

// The common record layer: open counters, open-time recovery with its exact
// messages, the write/hold/save helpers, file removal and masks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::Installation;
using quill::test::RecordingInterface;

namespace {

struct Common : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    void selectDir() {
        s.Mem.Dirnamn = "F1";
        (void)ExistPath(s, 3, 0, s.Mem.FileDir + "/F1", "", true);
    }
};

TEST_F(Common, OpenCounterKeepsTheFileOpenUntilTheLastClose) {
    OP_CLOSE(s, OpOpenShared, {2});
    OP_CLOSE(s, OpOpenShared, {2});
    EXPECT_EQ(s.openCount(2), 2);
    OP_CLOSE(s, OpClose, {2});
    EXPECT_TRUE(s.Forums.isOpen());
    OP_CLOSE(s, OpClose, {2});
    EXPECT_FALSE(s.Forums.isOpen());
    OP_CLOSE(s, OpClose, {2});  // closing at 0 is harmless
    EXPECT_EQ(s.openCount(2), 0);
    EXPECT_TRUE(inst.ui.messages.empty());
}

TEST_F(Common, MissingDatabaseFileIsCreatedEmptyOnFirstOpen) {
    selectDir();
    std::string name = s.Mem.FileDir + "/F1/IDX003.TPS";
    struct stat st {};
    ASSERT_NE(::stat(name.c_str(), &st), 0);
    OP_CLOSE(s, OpOpenShared, {3});
    EXPECT_EQ(s.MsgNmbr.name(), name);
    EXPECT_EQ(s.MsgNmbr.records(), 0);
    OP_CLOSE(s, OpClose, {3});
}

TEST_F(Common, UndefinedFileNumberStopsTheProgram) {
    try {
        OP_CLOSE(s, OpOpenShared, {14});
        FAIL() << "no stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.caption(), "Program Failure!");
        EXPECT_EQ(stop.text(), "        File no 14 not defined!         \r\n        Quillmer will terminate!        ");
    }
}

// A record file of another layout with no records in it.
void writeEmptyOtherLayout(const std::string& name, int records) {
    Store store;
    RecordFile other(store, 5, nullptr);  // Person's layout under Codes' name
    other.setName(name);
    ::unlink(name.c_str());
    ASSERT_TRUE(other.create().ok());
    if (records) {
        PersonRecord rec{};
        RecordFile f(store, 5, reinterpret_cast<unsigned char*>(&rec));
        f.setName(name);
        ASSERT_TRUE(f.open().ok());
        for (int i = 0; i < records; ++i) {
            f.clearBuffer();
            rec.PERSONID = uint32_t(i + 1);
            rec.PERSONSTRING = "p" + std::to_string(i);
            ASSERT_TRUE(f.add().ok());
        }
        (void)f.close();
    }
}

TEST_F(Common, OnlyAFileKnownToHoldNoRecordsIsReplaced) {
    selectDir();
    std::string name = s.Mem.FileDir + "/F1/IDX001.TPS";
    writeEmptyOtherLayout(name, 0);
    OP_CLOSE(s, OpOpenShared, {1});
    EXPECT_EQ(s.Codes.records(), 0);
    EXPECT_TRUE(inst.ui.messages.empty());
    OP_CLOSE(s, OpClose, {1});

    // Small but holding records, or small and unreadable: the file stays and
    // the program stops.
    for (const std::string& kind : {std::string("records"), std::string("garbage")}) {
        if (kind == "records") writeEmptyOtherLayout(name, 1);
        else quill::test::writeFile(name, std::string(1000, 'x'));
        std::string before = quill::test::readFile(name);
        try {
            OP_CLOSE(s, OpOpenShared, {1});
            ADD_FAILURE() << kind << ": no stop";
        } catch (const ProgramStop& stop) {
            EXPECT_EQ(stop.caption(), " File Open Error - Invalid record declaration") << kind;
            EXPECT_EQ(stop.text(), "The file " + name +
                                       " cannot be opened\r\nas the file definition is incorrect.\r\nQuillmer will terminate.");
        }
        EXPECT_EQ(quill::test::readFile(name), before) << kind;
    }
    // Files without a threshold stop however small they are.
    std::string msgs = s.Mem.FileDir + "/F1/IDX003.TPS";
    quill::test::writeFile(msgs, "tiny");
    EXPECT_THROW(OP_CLOSE(s, OpOpenShared, {3}), ProgramStop);
}

TEST_F(Common, MissingPathStopsWithItsNotice) {
    s.Mem.Dirnamn = "F99";
    try {
        OP_CLOSE(s, OpOpenShared, {3});
        FAIL() << "no stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.caption(), "Path Not Found");
        EXPECT_EQ(stop.text(), "The path " + s.Mem.FileDir + "/F99 does not exist.\r\nQuillmer will terminate.");
        EXPECT_EQ(stop.notice(), "Check your directory setup in Preferences and run File/Rebuild.");
    }
}

TEST_F(Common, DatabaseFileWithoutASelectedDatabaseHasNoValidName) {
    s.Mem.Dirnamn.clear();
    try {
        OP_CLOSE(s, OpOpenShared, {3});
        FAIL() << "no stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.caption(), "Invalid File Name Error");
    }
}

TEST_F(Common, UnattendedRunsShowNothingAndGetTheSameResults) {
    selectDir();
    s.Mem.DoTask = 2;
    OP_CLOSE(s, OpOpenShared, {10});
    s.NewHR.clearBuffer();
    ASSERT_TRUE(s.NewHR.append().ok());
    OP_CLOSE(s, OpClose, {10});
    OP_CLOSE(s, OpOpenShared, {10, 3});  // keys rebuilt without the message
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 9;
    EXPECT_TRUE(UppDat(s, s.MsgNmbr, UpdAdd, UpdReport));
    EXPECT_FALSE(UppDat(s, s.MsgNmbr, UpdAdd, UpdReport));
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 10;
    EXPECT_EQ(HoldRec(s, s.MsgNmbr, MsgNmbrFile::IDKEY, true, {}), 0);
    OP_CLOSE(s, OpClose, {10, 3});
    EXPECT_TRUE(inst.ui.messages.empty());
}

TEST_F(Common, UppDatNamesTheOperationAndCause) {
    selectDir();
    OP_CLOSE(s, OpOpenShared, {3});
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 1;
    ASSERT_TRUE(UppDat(s, s.MsgNmbr, UpdAdd, UpdReport));
    ASSERT_TRUE(UppDat(s, s.MsgNmbr, UpdDelete, UpdReport));
    EXPECT_FALSE(UppDat(s, s.MsgNmbr, UpdDelete, UpdReport));
    EXPECT_FALSE(UppDat(s, s.MsgNmbr, UpdPut, UpdSilent));
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "Record delete error!\r\nRecord not available!");
    EXPECT_EQ(inst.ui.messages[0].caption, s.MsgNmbr.name());
    OP_CLOSE(s, OpClose, {3});
}

TEST_F(Common, HoldRecOnADeletedRecordSaysSo) {
    selectDir();
    OP_CLOSE(s, OpOpenShared, {3});
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 5;
    EXPECT_EQ(HoldRec(s, s.MsgNmbr, MsgNmbrFile::IDKEY, true, {}), 0);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "The record has been deleted by another user!\r\n                   Update is cancelled!");
    OP_CLOSE(s, OpClose, {3});
}

TEST_F(Common, SaveRecShowsTheOtherUsersChangeAndNeverWritesTheEditOverIt) {
    OP_CLOSE(s, OpOpenShared, {2});
    s.Forums.clearBuffer();
    s.FOR.ID = 7;
    s.FOR.DIRNUMBER = 7;
    s.FOR.DESCRIPTION = "Original";
    ASSERT_TRUE(s.Forums.add().ok());
    ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY).ok());
    SaveRecList list;
    Position pos;
    EXPECT_NE(SaveRec(s, s.Forums, list, 2, true, pos), "");

    // Another program instance changes the record meanwhile.
    RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    OP_CLOSE(*other, OpOpenShared, {2});
    other->Forums.clearBuffer();
    other->FOR.ID = 7;
    ASSERT_TRUE(other->Forums.get(ForumsFile::FORUMKEY).ok());
    other->FOR.DESCRIPTION = "Changed elsewhere";
    ASSERT_TRUE(other->Forums.put().ok());
    OP_CLOSE(*other, OpClose, {2});

    s.FOR.DESCRIPTION = "Edited here";
    EXPECT_EQ(SaveRec(s, s.Forums, list, 2, false, pos), "");
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "The record has just been changed by another user!\r\nTry again!");
    EXPECT_EQ(inst.ui.messages[0].caption, "Warning!");
    // The form now shows the record as the other user left it.
    EXPECT_EQ(s.FOR.DESCRIPTION.str(), "Changed elsewhere");
    // A second OK without a new edit keeps the other user's change; an edit
    // made on the current record goes through.
    EXPECT_EQ(SaveRec(s, s.Forums, list, 2, false, pos), "OK");
    s.Forums.clearBuffer();
    s.FOR.ID = 7;
    ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY).ok());
    EXPECT_EQ(s.FOR.DESCRIPTION.str(), "Changed elsewhere");
    s.FOR.DESCRIPTION = "Edited again";
    EXPECT_EQ(SaveRec(s, s.Forums, list, 2, false, pos), "OK");
    s.Forums.clearBuffer();
    s.FOR.ID = 7;
    ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY).ok());
    EXPECT_EQ(s.FOR.DESCRIPTION.str(), "Edited again");
    OP_CLOSE(s, OpClose, {2});
}

TEST_F(Common, TransactionCheckReportsABeginThatFailed) {
    OP_CLOSE(s, OpOpenShared, {2});
    ASSERT_TRUE(beginWrites(s, {&s.Forums}));
    EXPECT_FALSE(beginWrites(s, {&s.Forums}));  // one transaction at a time
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].caption, "Warning!");
    EXPECT_EQ(inst.ui.messages[0].text.rfind("Transaction Frame Error!\r\n", 0), 0u);
    EXPECT_FALSE(s.store.inTransaction());
    OP_CLOSE(s, OpClose, {2});
}

TEST_F(Common, DosFuncRemovesByPatternAndGetFSizeAddsSizes) {
    std::string d = inst.dir / "files";
    ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
    quill::test::writeFile(d + "/a.mbx", "12345");
    quill::test::writeFile(d + "/B.MBX", "123");
    quill::test::writeFile(d + "/c.txt", "1");
    EXPECT_EQ(GetFSize(d + "/*.mbx"), 8u);
    EXPECT_TRUE(DOSFunc(s, 5, "*.MBX", d));
    EXPECT_TRUE(DOSFunc(s, 4, "*.mbx", d));
    EXPECT_FALSE(DOSFunc(s, 5, "*.MBX", d));
    EXPECT_TRUE(DOSFunc(s, 5, "c.txt", d));
    EXPECT_TRUE(DOSFunc(s, 3, d + "/missing.txt", ""));
}

TEST(FileMask, MatchesAsTheReaderProgramsUsersExpect) {
    struct Case {
        const char* mask;
        const char* name;
        bool match;
    } cases[] = {
        {"*.MBX", "inbox.mbx", true},   {"*.MBX", "inbox.mbx.bak", false}, {"*.*", "README", true},
        {"*.*", "a.b.c", true},         {"*.", "README", true},            {"*.", "inbox.mbx", false},
        {"RECV.DBF", "recv.dbf", true}, {"?.MSG", "ab.MSG", false},        {"f*.dat", "FCABINET.DAT", true},
        {"*", "x.y", true},             {"*.THD", "forum.thd", true},      {"", "x", false},
    };
    for (auto& c : cases) EXPECT_EQ(maskMatch(c.mask, c.name), c.match) << c.mask << " / " << c.name;
    EXPECT_TRUE(anyMaskMatches("*.THD;*.MSG;*.PLX", "x.plx"));
    EXPECT_EQ(splitMasks(" *.A ; ;*.B"), (std::vector<std::string>{"*.A", "*.B"}));
}

}  // namespace

namespace {

TEST_F(Common, PackRemoveAndLayoutCheckLeaveTheFileClosedWithCounterZero) {
    selectDir();
    OP_CLOSE(s, OpOpenShared, {3});
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 1;
    ASSERT_TRUE(s.MsgNmbr.add().ok());
    OP_CLOSE(s, OpPack, {3});
    EXPECT_FALSE(s.MsgNmbr.isOpen());
    EXPECT_EQ(s.openCount(3), 0);
    OP_CLOSE(s, OpLayoutCheck, {3});
    EXPECT_FALSE(s.IndexingInProgress);
    quill::test::writeFile(s.Mem.FileDir + "/F1/IDX007.TPS", std::string(50000, 'z'));
    OP_CLOSE(s, OpLayoutCheck, {7});
    EXPECT_TRUE(s.IndexingInProgress);
    OP_CLOSE(s, OpRemove, {3, 7});
    EXPECT_FALSE(DOSFunc(s, 5, "IDX003.TPS", s.Mem.FileDir + "/F1"));
    EXPECT_FALSE(DOSFunc(s, 5, "IDX007.TPS", s.Mem.FileDir + "/F1"));
    OP_CLOSE(s, OpOpenShared, {3});  // recreated empty
    EXPECT_EQ(s.MsgNmbr.records(), 0);
    OP_CLOSE(s, OpEmpty, {3});
    EXPECT_EQ(s.openCount(3), 0);
}

TEST_F(Common, QueueErrorsAreReportedByKind) {
    s.store.setError(EntryNotFoundErr);
    EXPECT_FALSE(QError(s, 7));
    s.store.setError(NoMemoryErr);
    EXPECT_TRUE(QError(s, 7));
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "Queue access error\r\nInsufficient memory!");
    EXPECT_EQ(inst.ui.messages[0].caption, "Fatal error!");
    s.store.setError(InvalidFieldTypeErr);
    EXPECT_TRUE(QError(s, 8));
    EXPECT_EQ(inst.ui.messages[1].text, "Queue access error\r\nInvalid field type descriptor!\r\nThe last transaction is rolled back.");
    EXPECT_EQ(inst.ui.messages[1].caption, "Fatal error");
}

}  // namespace

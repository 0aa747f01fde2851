// The keyed record store: key order, case and blank rules, traversals that
// survive changes, bulk append with key builds, memos and transactions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/Common.h"
#include "database/Catalogue.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::Installation;

namespace {

struct Database : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    void SetUp() override {
        s.Mem.Dirnamn = "F1";
        ASSERT_EQ(ExistPath(s, 3, 0, s.Mem.FileDir + "/F1", "", true), 0);
    }
    void addMsg(uint32_t id, int32_t date, const std::string& thread = "t") {
        s.MsgNmbr.clearBuffer();
        s.MSG.MSGNUMBER = id;
        s.MSG.DATE = date;
        s.MSG.THREADALPHA = thread;
        ASSERT_TRUE(s.MsgNmbr.add().ok());
    }
    std::vector<uint32_t> walk(int key) {
        std::vector<uint32_t> ids;
        s.MsgNmbr.set(key);
        while (s.MsgNmbr.next()) ids.push_back(s.MSG.MSGNUMBER);
        return ids;
    }
};

TEST_F(Database, DateKeyYieldsNewestFirstAndEqualDatesByDescendingIdentifier) {
    OP_CLOSE(s, OpOpenShared, {3});
    addMsg(300, 100);
    addMsg(301, 200);
    addMsg(302, 100);
    addMsg(299, 200);
    EXPECT_EQ(walk(MsgNmbrFile::DATEKEY), (std::vector<uint32_t>{301, 299, 302, 300}));
    EXPECT_EQ(walk(MsgNmbrFile::IDKEY), (std::vector<uint32_t>{302, 301, 300, 299}));
    OP_CLOSE(s, OpClose, {3});
}

TEST_F(Database, PreviousFromAStartValueIncludesEqualKeysAndGoesDown) {
    OP_CLOSE(s, OpOpenShared, {3});
    for (uint32_t i = 1; i <= 5; ++i) addMsg(i, int32_t(i * 10));
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 3;
    s.MsgNmbr.setFrom(MsgNmbrFile::IDKEY);  // descending: 3, 2, 1 follow
    std::vector<uint32_t> fwd;
    while (s.MsgNmbr.next()) fwd.push_back(s.MSG.MSGNUMBER);
    EXPECT_EQ(fwd, (std::vector<uint32_t>{3, 2, 1}));
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 3;
    s.MsgNmbr.setFrom(MsgNmbrFile::IDKEY);
    std::vector<uint32_t> back;
    while (s.MsgNmbr.previous()) back.push_back(s.MSG.MSGNUMBER);
    EXPECT_EQ(back, (std::vector<uint32_t>{3, 4, 5}));
    OP_CLOSE(s, OpClose, {3});
}

TEST_F(Database, NocaseUniqueKeyRefusesANameDifferingOnlyInCaseOrTrailingBlanks) {
    OP_CLOSE(s, OpOpenShared, {2});
    s.Forums.clearBuffer();
    s.FOR.ID = 1;
    s.FOR.DIRNUMBER = 1;
    s.FOR.DESCRIPTION = "Gardening Forum";
    ASSERT_TRUE(s.Forums.add().ok());
    s.Forums.clearBuffer();
    s.FOR.ID = 2;
    s.FOR.DIRNUMBER = 2;
    s.FOR.DESCRIPTION = "GARDENING forum  ";
    Status st = s.Forums.add();
    EXPECT_EQ(st.code(), DupKeyErr);
    // nocase folds Windows-1252 letters too.
    s.FOR.DESCRIPTION = "\xE9t\xE9";
    ASSERT_TRUE(s.Forums.add().ok());
    s.Forums.clearBuffer();
    s.FOR.ID = 3;
    s.FOR.DIRNUMBER = 3;
    s.FOR.DESCRIPTION = "\xC9T\xC9";
    EXPECT_EQ(s.Forums.add().code(), DupKeyErr);
    // A lookup finds the record whatever the case.
    s.Forums.clearBuffer();
    s.FOR.DESCRIPTION = "gardening FORUM";
    ASSERT_TRUE(s.Forums.get(ForumsFile::ALPHAKEY).ok());
    EXPECT_EQ(s.FOR.ID, 1u);
    EXPECT_EQ(s.FOR.DESCRIPTION.str(), "Gardening Forum");
    OP_CLOSE(s, OpClose, {2});
}

TEST_F(Database, TraversalKeepsItsPlaceWhenTheLoopDeletesAndAddsRecords) {
    OP_CLOSE(s, OpOpenShared, {3});
    for (uint32_t i = 1; i <= 20; ++i) addMsg(i, 1000, i % 2 ? "odd" : "even");
    std::vector<uint32_t> seen;
    s.MsgNmbr.set(MsgNmbrFile::THREADKEY);  // even 2..20 then odd 1..19
    while (s.MsgNmbr.next()) {
        uint32_t id = s.MSG.MSGNUMBER;
        seen.push_back(id);
        if (id % 4 == 0) {
            ASSERT_TRUE(s.MsgNmbr.del().ok());
        } else if (id == 3) {
            // Changing the current record's key moves it behind the cursor.
            s.MSG.THREADALPHA = "aaa";
            ASSERT_TRUE(s.MsgNmbr.put().ok());
        }
        if (id == 5) {
            MsgNmbrRecord keep = s.MSG;
            addMsg(1001, 1, "zzz");  // lands ahead of the cursor: visited
            addMsg(1002, 1, "a");    // lands behind: not visited
            s.MSG = keep;
        }
    }
    std::vector<uint32_t> expect = {2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 1001};
    EXPECT_EQ(seen, expect);
    EXPECT_EQ(s.MsgNmbr.records(), 20 - 5 + 2);
    OP_CLOSE(s, OpClose, {3});
}

// Writes inside the read-ahead batch: an add just after the current key and
// a put that moves a record there are both visited, and a record that
// another add pushed out of the batch is not lost.
TEST_F(Database, TraversalVisitsARecordWrittenJustAheadOfTheCursor) {
    OP_CLOSE(s, OpOpenShared, {3});
    for (uint32_t id : {10u, 8u, 6u, 4u}) addMsg(id, 1000);
    std::vector<uint32_t> seen;
    s.MsgNmbr.set(MsgNmbrFile::IDKEY);  // descending: 10, 8, 6, 4
    while (s.MsgNmbr.next()) {
        seen.push_back(s.MSG.MSGNUMBER);
        if (s.MSG.MSGNUMBER == 10) {
            MsgNmbrRecord keep = s.MSG;
            addMsg(9, 1000);
            s.MSG = keep;
        }
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{10, 9, 8, 6, 4}));

    // A put that moves the current record ahead of the cursor visits it again there.
    ASSERT_TRUE(s.MsgNmbr.empty().ok());
    for (auto [id, thread] : {std::pair{1u, "a"}, {2u, "c"}, {3u, "e"}, {4u, "g"}}) addMsg(id, 1000, thread);
    seen.clear();
    s.MsgNmbr.set(MsgNmbrFile::THREADKEY);
    while (s.MsgNmbr.next()) {
        seen.push_back(s.MSG.MSGNUMBER);
        if (s.MSG.MSGNUMBER == 1 && s.MSG.THREADALPHA.str() == "a") {
            s.MSG.THREADALPHA = "d";
            ASSERT_TRUE(s.MsgNmbr.put().ok());
        }
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 1, 3, 4}));
    OP_CLOSE(s, OpClose, {3});
}

// A transaction over other files than the last one must not write through
// the connection kept from it: each record lands in its own file.
TEST_F(Database, TransactionOverOtherFilesWritesEachRecordIntoItsOwnFile) {
    OP_CLOSE(s, OpOpenShared, {3, 4, 5});
    ASSERT_TRUE(beginWrites(s, {&s.MsgNmbr, &s.MsgText}));
    addMsg(1, 1);
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = 1;
    s.MsgText.memo = "text one";
    ASSERT_TRUE(s.MsgText.add().ok());
    ASSERT_TRUE(s.store.commit().ok());

    ASSERT_TRUE(beginWrites(s, {&s.MsgNmbr, &s.Person}));
    addMsg(2, 2);
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    s.PER.PERSONSTRING = "person";
    ASSERT_TRUE(s.Person.add().ok());
    ASSERT_TRUE(s.store.commit().ok());

    EXPECT_EQ(s.MsgNmbr.records(), 2);
    EXPECT_EQ(s.MsgText.records(), 1);
    EXPECT_EQ(s.Person.records(), 1);
    s.Person.clearBuffer();
    s.PER.PERSONID = 250000;
    ASSERT_TRUE(s.Person.get(PersonFile::PERSONKEY).ok());
    EXPECT_EQ(s.PER.PERSONSTRING.str(), "person");
    s.MsgText.setPhysical();
    ASSERT_TRUE(s.MsgText.next().ok());
    EXPECT_EQ(s.TXT.MSGNUMBER, 1u);
    EXPECT_EQ(s.MsgText.memo, "text one");
    EXPECT_FALSE(s.MsgText.next().ok());
    OP_CLOSE(s, OpClose, {3, 4, 5});
}

TEST_F(Database, DupKeyKeepsEqualKeysInPhysicalOrder) {
    OP_CLOSE(s, OpOpenShared, {5});
    for (uint32_t id : {900u, 100u, 500u}) {
        s.Person.clearBuffer();
        s.PER.PERSONID = id;
        s.PER.PERSONSTRING = "p" + std::to_string(id);
        s.PER.LASTNAME = "Smith";
        ASSERT_TRUE(s.Person.add().ok());
    }
    std::vector<uint32_t> ids;
    s.Person.set(PersonFile::NAMEKEY);
    while (s.Person.next()) ids.push_back(s.PER.PERSONID);
    EXPECT_EQ(ids, (std::vector<uint32_t>{900, 100, 500}));
    OP_CLOSE(s, OpClose, {5});
}

TEST_F(Database, OptKeyLeavesOutRecordsWhoseComponentsAreBlank) {
    s.MasIdxPath = s.Mem.FileDir;
    buildName(s, 28);
    ASSERT_TRUE(s.WordList.create().ok());
    ASSERT_TRUE(s.WordList.open().ok());
    for (int i = 1; i <= 3; ++i) {
        s.WordList.clearBuffer();
        s.WOR.WORDID = i;
        s.WOR.THEWORD = i == 2 ? "" : "w" + std::to_string(i);
        ASSERT_TRUE(s.WordList.add().ok());
    }
    // A second blank word does not break the unique key: blanks are not in it.
    s.WordList.clearBuffer();
    s.WOR.WORDID = 4;
    ASSERT_TRUE(s.WordList.add().ok());
    int n = 0;
    s.WordList.set(WordListFile::BY_THEWORD);
    while (s.WordList.next()) ++n;
    EXPECT_EQ(n, 2);
    EXPECT_EQ(s.WordList.records(), 4);
    (void)s.WordList.close();
}

TEST_F(Database, AppendThenBuildMakesTheKeysAndUniqueBuildKeepsTheFirstOfEachValue) {
    buildName(s, 18);
    ASSERT_TRUE(s.ImportedMessages.create().ok());
    ASSERT_TRUE(s.ImportedMessages.open(OpenMode::Exclusive).ok());
    for (uint32_t i : {5u, 3u, 5u, 1u}) {
        s.ImportedMessages.clearBuffer();
        s.IMP.FORUMNUMBER = 7;
        s.IMP.MSGNUMBER = i;
        ASSERT_TRUE(s.ImportedMessages.append().ok());
    }
    Status b = s.ImportedMessages.build();
    EXPECT_EQ(b.code(), DupKeyErr);
    std::vector<std::pair<uint32_t, int64_t>> seen;
    s.ImportedMessages.set(ImportedMessagesFile::IDKEY);
    while (s.ImportedMessages.next()) seen.push_back({s.IMP.MSGNUMBER, s.ImportedMessages.pointer()});
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, int64_t>>{{1, 4}, {3, 2}, {5, 1}}));
    // The key is usable again: adds are checked.
    s.ImportedMessages.clearBuffer();
    s.IMP.FORUMNUMBER = 7;
    s.IMP.MSGNUMBER = 3;
    EXPECT_EQ(s.ImportedMessages.add().code(), DupKeyErr);
    (void)s.ImportedMessages.close();
    // And the file opens without the keys-need-rebuilding path.
    ASSERT_TRUE(s.ImportedMessages.open().ok());
    (void)s.ImportedMessages.close();
}

TEST_F(Database, StagedCopiesOfOneMessageAllStayInTheOrderTheyWereAppended) {
    buildName(s, 10);
    ASSERT_TRUE(s.NewHR.create().ok());
    ASSERT_TRUE(s.NewHR.open(OpenMode::Exclusive).ok());
    for (uint32_t i : {5u, 3u, 5u, 1u}) {
        s.NewHR.clearBuffer();
        s.NHR.INTERNAL = 7;
        s.NHR.MSGNUMBER = i;
        s.NHR.HEADING = "copy " + std::to_string(s.NewHR.records());
        ASSERT_TRUE(s.NewHR.append().ok());
    }
    ASSERT_TRUE(s.NewHR.build().ok());
    std::vector<std::string> headings;
    s.NewHR.set(NewHRFile::MSGKEY);
    while (s.NewHR.next()) headings.push_back(s.NHR.HEADING.str());
    EXPECT_EQ(headings, (std::vector<std::string>{"copy 3", "copy 1", "copy 0", "copy 2"}));
    (void)s.NewHR.close();
}

TEST_F(Database, AppendedFileLeftUnbuiltIsReportedAsNeedingRebuildAndRecovered) {
    OP_CLOSE(s, OpOpenShared, {10});
    s.NewHR.clearBuffer();
    s.NHR.MSGNUMBER = 1;
    ASSERT_TRUE(s.NewHR.append().ok());
    OP_CLOSE(s, OpClose, {10});
    EXPECT_EQ(s.NewHR.open().code(), RebuildKeyErr);
    OP_CLOSE(s, OpOpenShared, {10});
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].caption, "File Open Error - Bad keys");
    EXPECT_EQ(s.NewHR.records(), 1);
    OP_CLOSE(s, OpClose, {10});
}

TEST_F(Database, MemoAndTextKeepEveryByteUpTo64000) {
    OP_CLOSE(s, OpOpenShared, {4});
    std::string text;
    for (int i = 0; i < 64100; ++i) text.push_back(char(i % 256));
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = 42;
    s.MsgText.memo = text;
    ASSERT_TRUE(s.MsgText.add().ok());
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = 42;
    ASSERT_TRUE(s.MsgText.get(MsgTextFile::IDKEY).ok());
    EXPECT_EQ(s.MsgText.memo, text.substr(0, 64000));
    OP_CLOSE(s, OpClose, {4});
}

TEST_F(Database, FailedDuplicateAddInReportAndRollBackModeUndoesTheWholeTransaction) {
    OP_CLOSE(s, OpOpenShared, {3, 4, 5});
    addMsg(1, 1);
    ASSERT_TRUE(beginWrites(s, {&s.MsgNmbr, &s.MsgText, &s.Person}));
    addMsg(2, 2);
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = 2;
    ASSERT_TRUE(UppDat(s, s.MsgText, UpdAdd, UpdReportRollback));
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 1;
    EXPECT_FALSE(UppDat(s, s.MsgNmbr, UpdAdd, UpdReportRollback));
    EXPECT_FALSE(s.store.inTransaction());
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text,
              "Record add error!\r\nA record with identical key already exists!\r\nThe last transaction is rolled back.");
    EXPECT_EQ(inst.ui.messages[0].caption, s.MsgNmbr.name());
    EXPECT_EQ(s.MsgNmbr.records(), 1);
    EXPECT_EQ(s.MsgText.records(), 0);
    OP_CLOSE(s, OpClose, {3, 4, 5});
}

TEST_F(Database, ForumRefHoldsAtMostOneRecord) {
    s.Forums.clearBuffer();
    s.FOR.TYPE = 1;
    s.FOR.DESCRIPTION = "First";
    ASSERT_TRUE(UpdREF(s, 7));
    s.FOR.DESCRIPTION = "Second";
    ASSERT_TRUE(UpdREF(s, 7));
    OP_CLOSE(s, OpOpenShared, {22});
    EXPECT_EQ(s.ForumRef.records(), 1);
    ASSERT_TRUE(s.ForumRef.getByNumber(1).ok());
    EXPECT_EQ(s.REF.DESCRIPTION.str(), "Second");
    OP_CLOSE(s, OpClose, {22});
}

}  // namespace

namespace {

TEST_F(Database, RollbackOfAnAppendRestoresTheKeysForLaterAppends) {
    OP_CLOSE(s, OpOpenShared, {18});
    auto appendOne = [&] {
        s.ImportedMessages.clearBuffer();
        s.IMP.FORUMNUMBER = 1;
        s.IMP.MSGNUMBER = 1;
        return s.ImportedMessages.append();
    };
    ASSERT_TRUE(beginWrites(s, {&s.ImportedMessages}));
    ASSERT_TRUE(appendOne().ok());
    ASSERT_TRUE(s.store.rollback().ok());
    ASSERT_TRUE(beginWrites(s, {&s.ImportedMessages}));
    EXPECT_TRUE(appendOne().ok());
    EXPECT_TRUE(appendOne().ok()) << "append keeps no key until the build";
    ASSERT_TRUE(s.store.commit().ok());
    EXPECT_EQ(s.ImportedMessages.build().code(), DupKeyErr);
    EXPECT_EQ(s.ImportedMessages.records(), 1);
    OP_CLOSE(s, OpClose, {18});
}

}  // namespace

// A walk fetches rows in batches that start small after every set and grow
// while the walk goes on: whatever the number of records and wherever the
// walk turns, each record comes once, in key order, with its own memo.
TEST_F(Database, WalksOfEveryLengthVisitEachRecordOnceAndTurnWhereTheyStand) {
    OP_CLOSE(s, OpOpenShared, {3, 4});
    for (uint32_t n : {0u, 1u, 2u, 3u, 5u, 8u, 9u, 16u, 17u, 63u, 64u, 65u, 130u}) {
        SCOPED_TRACE("records: " + std::to_string(n));
        ASSERT_TRUE(s.MsgNmbr.empty().ok());
        ASSERT_TRUE(s.MsgText.empty().ok());
        for (uint32_t id = 1; id <= n; ++id) {
            addMsg(id, 1000);
            s.MsgText.clearBuffer();
            s.TXT.MSGNUMBER = id;
            s.MsgText.memo = "text " + std::to_string(id);
            ASSERT_TRUE(s.MsgText.add().ok());
        }
        std::vector<uint32_t> descending, ascending;
        for (uint32_t id = n; id >= 1; --id) descending.push_back(id);
        for (uint32_t id = 1; id <= n; ++id) ascending.push_back(id);

        EXPECT_EQ(walk(MsgNmbrFile::IDKEY), descending);  // IDKEY runs from the highest number
        std::vector<uint32_t> back;
        s.MsgNmbr.set(MsgNmbrFile::IDKEY);
        while (s.MsgNmbr.previous()) back.push_back(s.MSG.MSGNUMBER);
        EXPECT_EQ(back, ascending);

        std::vector<uint32_t> texts;
        s.MsgText.setPhysical();
        while (s.MsgText.next()) {
            texts.push_back(s.TXT.MSGNUMBER);
            EXPECT_EQ(s.MsgText.memo, "text " + std::to_string(uint32_t(s.TXT.MSGNUMBER)));
        }
        EXPECT_EQ(texts, ascending);

        // Turning back after k records gives the records before the k-th.
        for (uint32_t k : {1u, 2u, 3u, 4u, 9u, 17u, 64u, 66u}) {
            if (k > n) break;
            s.MsgNmbr.set(MsgNmbrFile::IDKEY);
            for (uint32_t i = 0; i < k; ++i) ASSERT_TRUE(s.MsgNmbr.next().ok());
            ASSERT_EQ(uint32_t(s.MSG.MSGNUMBER), n + 1 - k);
            std::vector<uint32_t> turned;
            while (s.MsgNmbr.previous()) turned.push_back(s.MSG.MSGNUMBER);
            std::vector<uint32_t> expect;
            for (uint32_t id = n + 2 - k; id <= n; ++id) expect.push_back(id);
            EXPECT_EQ(turned, expect) << "turned after " << k;
        }
    }
    OP_CLOSE(s, OpClose, {3, 4});
}

// Batches in the record store: many records added by one call (all or none,
// numbered above every position given out) and read scopes that share one
// read transaction and leave no lock behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/RecordStore.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::Installation;
using quill::test::RecordingInterface;

namespace {

struct RecordBatches : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    void SetUp() override {
        s.Mem.Dirnamn = "F1";
        ASSERT_EQ(ExistPath(s, 3, 0, s.Mem.FileDir + "/F1", "", true), 0);
        OP_CLOSE(s, OpOpenShared, {MsgNmbrFile::Number});
    }
    void TearDown() override { OP_CLOSE(s, OpClose, {MsgNmbrFile::Number}); }
    Status addNumbers(const std::vector<uint32_t>& numbers) {
        return s.MsgNmbr.addMany(numbers.size(), [&](std::size_t i) {
            s.MsgNmbr.clearBuffer();
            s.MSG.MSGNUMBER = numbers[i];
            s.MSG.DATE = int32_t(numbers[i]);
        });
    }
    // The numbers stored, ascending (the key runs newest first).
    std::vector<uint32_t> walk() {
        std::vector<uint32_t> ids;
        s.MsgNmbr.set(MsgNmbrFile::IDKEY);
        while (s.MsgNmbr.next()) ids.insert(ids.begin(), s.MSG.MSGNUMBER);
        return ids;
    }
    std::vector<uint32_t> range(uint32_t from, uint32_t count) {
        std::vector<uint32_t> v;
        for (uint32_t i = 0; i < count; ++i) v.push_back(from + i);
        return v;
    }
    int64_t positionOf(uint32_t number) {
        s.MsgNmbr.clearBuffer();
        s.MSG.MSGNUMBER = number;
        return s.MsgNmbr.get(MsgNmbrFile::IDKEY) ? s.MsgNmbr.pointer() : -1;
    }
};

TEST_F(RecordBatches, AddManyNumbersItsRecordsAboveEveryPositionEverGivenOut) {
    ASSERT_TRUE(addNumbers({1, 2, 3}).ok());
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 3;
    ASSERT_TRUE(s.MsgNmbr.get(MsgNmbrFile::IDKEY).ok());
    ASSERT_TRUE(s.MsgNmbr.del().ok());
    // 100 rows: whole statements of 64 and 8 rows and single ones.
    ASSERT_TRUE(addNumbers(range(10, 100)).ok());
    EXPECT_EQ(positionOf(10), 4);   // not 3, which the deleted record had
    EXPECT_EQ(positionOf(109), 103);
    std::vector<uint32_t> expected = {1, 2};
    for (uint32_t n : range(10, 100)) expected.push_back(n);
    EXPECT_EQ(walk(), expected);
}

TEST_F(RecordBatches, AddManyOutsideATransactionCommitsItsRows) {
    ASSERT_TRUE(addNumbers(range(1, 70)).ok());
    OP_CLOSE(s, OpClose, {MsgNmbrFile::Number});
    OP_CLOSE(s, OpOpenShared, {MsgNmbrFile::Number});
    EXPECT_EQ(s.MsgNmbr.records(), 70);
}

TEST_F(RecordBatches, ADuplicateKeyInALaterStatementUndoesTheWholeBatchButNotTheTransaction) {
    ASSERT_TRUE(addNumbers({500}).ok());
    ASSERT_TRUE(beginWrites(s, {&s.MsgNmbr}));
    ASSERT_TRUE(addNumbers({1}).ok());
    // Row 71 repeats 500: the first 64 rows went in by an earlier statement.
    std::vector<uint32_t> batch = range(1000, 80);
    batch[70] = 500;
    Status st = addNumbers(batch);
    EXPECT_EQ(st.code(), DupKeyErr);
    EXPECT_TRUE(s.store.inTransaction());
    ASSERT_TRUE(s.store.commit().ok());
    EXPECT_EQ(walk(), (std::vector<uint32_t>{1, 500}));
}

TEST_F(RecordBatches, AReadScopeLeavesNoLockAndNoOldViewBehind) {
    ASSERT_TRUE(addNumbers({1, 2, 3}).ok());
    {
        ReadScope scope({&s.MsgNmbr});
        EXPECT_EQ(positionOf(2), 2);
        EXPECT_EQ(walk(), (std::vector<uint32_t>{1, 2, 3}));
    }
    // Another program writes once the scope is over: its commit does not
    // wait on a read lock left behind, and this program sees the record.
    RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    other->Mem.Dirnamn = "F1";
    OP_CLOSE(*other, OpOpenShared, {MsgNmbrFile::Number});
    other->MsgNmbr.clearBuffer();
    other->MSG.MSGNUMBER = 4;
    EXPECT_TRUE(other->MsgNmbr.add().ok());
    OP_CLOSE(*other, OpClose, {MsgNmbrFile::Number});
    EXPECT_EQ(walk(), (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST_F(RecordBatches, AReadScopeOverAFileInTheStoresTransactionLetsItsWritesCommit) {
    ASSERT_TRUE(beginWrites(s, {&s.MsgNmbr}));
    {
        ReadScope scope({&s.MsgNmbr});
        ASSERT_TRUE(addNumbers({7, 8}).ok());
        EXPECT_EQ(walk(), (std::vector<uint32_t>{7, 8}));
    }
    ASSERT_TRUE(s.store.commit().ok());
    OP_CLOSE(s, OpClose, {MsgNmbrFile::Number});
    OP_CLOSE(s, OpOpenShared, {MsgNmbrFile::Number});
    EXPECT_EQ(s.MsgNmbr.records(), 2);
}

}  // namespace

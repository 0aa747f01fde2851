// The reply tree of a thread: levels, pre-order, icons and row texts, and the
// tree of a thread read from an imported archive.
#include "browse/ThreadTree.h"

#include <gtest/gtest.h>

#include "database/Calendar.h"
#include "shell/ArchiveKit.h"

namespace quill::test {
namespace {

// (message number, reference number) pairs in any order.
std::vector<ThreadEntry> entriesOf(const std::vector<std::pair<uint32_t, uint32_t>>& links) {
    std::vector<ThreadEntry> v;
    for (auto [n, ref] : links) v.push_back(threadEntry(n, ref, "S" + std::to_string(n)));
    return v;
}

// The tree as "number/level" for a plain node, "number/level+" for a folder.
std::string shape(const std::vector<TreeRow>& rows) {
    std::string out;
    for (auto& r : rows)
        out += (out.empty() ? "" : " ") + std::to_string(r.msgNumber) + "/" + std::to_string(r.level) +
               (r.folder ? "+" : "");
    return out;
}

std::string treeOf(const std::vector<std::pair<uint32_t, uint32_t>>& links) {
    auto entries = entriesOf(links);
    assignLevels(entries);
    return shape(treeRows(entries, 1, "@D10-"));
}

struct TreeCase {
    const char* name;
    std::vector<std::pair<uint32_t, uint32_t>> links;
    const char* tree;
};

TEST(ThreadTreeBuilding, LevelsOrderAndIconsFollowTheReplies) {
    const TreeCase cases[] = {
        {"single message is one row with the file icon", {{5, 0}}, "5/1"},
        {"first message replying outside the archive is a root", {{10, 3}, {11, 10}}, "10/1+ 11/2"},
        {"reference to itself makes a root", {{7, 7}, {8, 7}}, "7/1+ 8/2"},
        {"two replies to one message appear under it in ascending number",
         {{1, 0}, {4, 1}, {2, 1}},
         "1/1+ 2/2 4/2"},
        {"each subtree is complete before the next sibling",
         {{1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 4}, {6, 3}},
         "1/1+ 2/2+ 4/3+ 5/4 3/2+ 6/3"},
        {"several roots in ascending number with their subtrees",
         {{9, 0}, {3, 0}, {10, 9}, {4, 3}},
         "3/1+ 4/2 9/1+ 10/2"},
        {"replies numbered below their parents still find their level",
         {{1, 2}, {2, 3}, {3, 4}, {4, 0}},
         "4/1+ 3/2+ 2/3+ 1/4"},
        {"a cycle terminates and is not shown", {{1, 2}, {2, 1}, {5, 0}}, "5/1"},
        {"a reply into a cycle is not shown either", {{1, 2}, {2, 1}, {3, 1}, {6, 0}, {7, 6}}, "6/1+ 7/2"},
        {"a message replying to a member of a cycle does not mark it", {{1, 2}, {2, 1}, {3, 2}}, ""},
        {"empty thread gives no rows", {}, ""},
    };
    for (const TreeCase& c : cases) EXPECT_EQ(treeOf(c.links), c.tree) << c.name;
}

TEST(ThreadTreeBuilding, AChainDeeperThanTheStackIsBuiltInFull) {
    // 100,000 messages, each replying to the next higher one: one pass per
    // level would take forever, recursion would overflow the stack.
    const uint32_t n = 100000;
    std::vector<ThreadEntry> entries;
    for (uint32_t i = 1; i <= n; ++i) entries.push_back(threadEntry(i, i == n ? 0 : i + 1));
    assignLevels(entries);
    auto rows = treeRows(entries, 1, "@D10-");
    ASSERT_EQ(rows.size(), n);
    EXPECT_EQ(rows.front().msgNumber, n);
    EXPECT_EQ(rows.back().msgNumber, 1u);
    EXPECT_EQ(rows.back().level, int(n));
}

TEST(ThreadTreeRowText, DisplayPreferenceChoosesTheParts) {
    ThreadEntry e = threadEntry(42, 0, "Ann Lee", dateFromYmd(2024, 3, 9));
    const std::pair<int, const char*> cases[] = {
        {1, "Ann Lee"},
        {2, "Ann Lee 42"},
        {3, "Ann Lee 2024-03-09"},
        {4, "Ann Lee 42 2024-03-09"},
        {5, "Ann Lee 2024-03-09 42"},
        {0, "Ann Lee"},
        {9, "Ann Lee"},
    };
    for (auto [display, text] : cases) EXPECT_EQ(treeRowText(e, display, "@D10-"), text) << display;
    EXPECT_EQ(treeRowText(e, 3, "@D2-"), "Ann Lee 03-09-2024");
    EXPECT_EQ(treeRowText(e, 3, "@D6-"), "Ann Lee 09-03-2024");
}

TEST(ThreadTreeRowText, SenderIsCutAt35CharactersButNeverInsideACharacterReference) {
    ThreadEntry e = threadEntry(1, 0, std::string(40, 'x'));
    EXPECT_EQ(treeRowText(e, 2, "@D10-"), std::string(35, 'x') + " 1");
    // A reference that would straddle the cut is left out whole.
    e.sender = std::string(31, 'y') + "&#8364;z";
    EXPECT_EQ(treeRowText(e, 1, "@D10-"), std::string(31, 'y'));
}

// The tree of a thread read back from an archive.
struct ThreadTreeArchive : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    TempDir files;

    static Fx msg(uint32_t number, uint32_t ref, const std::string& subject, const std::string& from) {
        Fx m = forumMessage(number, ref, subject);
        m.from = from;
        m.date = "2024-02-0" + std::to_string(1 + number % 9) + " 10:00:00";
        return m;
    }
};

TEST_F(ThreadTreeArchive, TreeHoldsTheThreadsMessagesOnlyWithSendersAndPreferredFormat) {
    ASSERT_NE(importActiveForum(s, files,
                                {msg(100, 0, "Roses", "Ann Lee <70000,1>"), msg(101, 100, "Roses", "Bob Ray <70000,2>"),
                                 msg(102, 0, "Tulips", "Cy Doe <70000,3>"), msg(103, 100, "Roses", "Bob Ray <70000,2>"),
                                 msg(104, 101, "Roses", "Ann Lee <70000,1>")},
                                "Tree Forum"),
              0u);
    uint32_t roses = threadOf(s, 100);
    ASSERT_NE(roses, 0u);
    ASSERT_NE(threadOf(s, 102), roses);
    setKonfigNumber(s, 10, 10);  // dates as yyyy-mm-dd
    setKonfigNumber(s, kThreadTreeDisplayPreference, 4);
    auto rows = buildThreadTree(s, roses);
    ASSERT_EQ(shape(rows), "100/1+ 101/2+ 104/3 103/2");
    EXPECT_EQ(rows[0].text, "Ann Lee 100 2024-02-02");
    EXPECT_EQ(rows[1].text, "Bob Ray 101 2024-02-03");
    EXPECT_TRUE(buildThreadTree(s, 987654).empty());
}

}  // namespace
}  // namespace quill::test

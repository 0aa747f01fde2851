// Key words and topics: the code form, the links and the count invariant,
// set classification, the per-message marks, the key word indexing and the
// purge upkeep.
#include "search/Codes.h"
#include "search/Search.h"
#include "search/SearchTestKit.h"

namespace quill::test {
namespace {

struct CodesTest : SearchArchive {
    void SetUp() override {
        importForum({forum(1, "Windows and WIN.INI"), forum(2, "windows95 is old"), forum(3, "Printer DRIVER"),
                     forum(4, "nothing here")});
    }
    uint32_t links(uint32_t id) { return uint32_t(codeView(s, id).size()); }
};

TEST_F(CodesTest, ANameDifferingOnlyInLetterCaseIsADuplicateWithinItsKind) {
    CodeResult a = addCode(s, CodeTopic, "Printers");
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(addCode(s, CodeTopic, "PRINTERS").status, CodeStatus::Duplicate);
    EXPECT_TRUE(addCode(s, CodeKeyWord, "printers").ok());  // the other kind has its own names
    EXPECT_EQ(addCode(s, CodeTopic, "   ").status, CodeStatus::EmptyName);
    CodeEntry t = findCode(s, a.id);
    EXPECT_EQ(t.count, 0u);
    EXPECT_EQ(t.date, 0);
    EXPECT_FALSE(t.charCase || t.wordOnly);
    // A topic never keeps the key word flags.
    ASSERT_TRUE(changeCode(s, a.id, "Printing", true, true).ok());
    t = findCode(s, a.id);
    EXPECT_EQ(t.name, "Printing");
    EXPECT_FALSE(t.charCase || t.wordOnly);
    EXPECT_EQ(codeListTitle(s, CodeTopic, 1), " Test Forum Topics [1]");
}

TEST_F(CodesTest, TogglingATopicMovesItsCountByOneAndFlipsTheMark) {
    uint32_t t = addCode(s, CodeTopic, "Hardware").id;
    uint32_t u = addCode(s, CodeTopic, "Another").id;
    ASSERT_TRUE(toggleTopic(s, t, 3));
    ASSERT_TRUE(toggleTopic(s, t, 1));
    auto marks = topicsOfMessage(s, 3);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].code.id, u);  // alphabetical
    EXPECT_FALSE(marks[0].linked);
    EXPECT_TRUE(marks[1].linked);
    EXPECT_EQ(findCode(s, t).count, 2u);
    ASSERT_TRUE(toggleTopic(s, t, 3));
    EXPECT_EQ(findCode(s, t).count, 1u);
    EXPECT_EQ(codeView(s, t), (std::vector<uint32_t>{1}));
}

TEST_F(CodesTest, SetClassificationAddsOnlyMissingLinksAndTheRecountCorrectsTheCount) {
    uint32_t t = addCode(s, CodeTopic, "Set").id;
    ASSERT_TRUE(toggleTopic(s, t, 2));
    ASSERT_TRUE(classifySet(s, t, {1, 2, 3}, true).ok());
    EXPECT_EQ(codeView(s, t), (std::vector<uint32_t>{3, 2, 1}));  // newest number first
    EXPECT_EQ(findCode(s, t).count, 1u);                          // left to the recount
    EXPECT_EQ(recountTopics(s), 1u);
    EXPECT_EQ(findCode(s, t).count, 3u);
    ASSERT_TRUE(classifySet(s, t, {3, 4}, false).ok());
    EXPECT_EQ(codeView(s, t), (std::vector<uint32_t>{2, 1}));
    EXPECT_TRUE(inst.ui.notices.back() == "Topics removed!");

    inst.ui.clear();
    EXPECT_EQ(classifySet(s, 0, {1}, true).status, CodeStatus::NoTopic);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "No topic selected!");
    EXPECT_EQ(inst.ui.messages[0].caption, "Selection error");
}

TEST_F(CodesTest, SetClassificationWithADateRangeTouchesOnlyMessagesInside) {
    importForum({forum(10, "x", "2020-06-01 10:00:00"), forum(11, "x", "2021-06-01 10:00:00")});
    uint32_t t = addCode(s, CodeTopic, "Dated").id;
    ASSERT_TRUE(classifySet(s, t, {10, 11}, true, dateFromYmd(2021, 1, 1), dateFromYmd(2021, 12, 31)).ok());
    EXPECT_EQ(codeView(s, t), (std::vector<uint32_t>{11}));
}

TEST_F(CodesTest, DeletingACodeRemovesAllItsLinksInOneTransaction) {
    uint32_t t = addCode(s, CodeTopic, "Many").id;
    uint32_t keep = addCode(s, CodeTopic, "Keep").id;
    std::vector<uint32_t> many;
    for (uint32_t n = 1; n <= 2000; ++n) many.push_back(n);  // links need no existing message
    ASSERT_TRUE(classifySet(s, t, many, true).ok());
    ASSERT_TRUE(classifySet(s, keep, {1, 2}, true).ok());
    ASSERT_TRUE(deleteCode(s, t).ok());
    EXPECT_EQ(links(t), 0u);
    EXPECT_EQ(findCode(s, t).id, 0u);
    EXPECT_EQ(links(keep), 2u);
    EXPECT_EQ(deleteCode(s, t).status, CodeStatus::NotFound);
}

TEST_F(CodesTest, KeyWordIndexingHonoursMatchCaseAndMatchWordAndNeverDoublesALink) {
    uint32_t any = addCode(s, CodeKeyWord, "windows").id;
    uint32_t exactCase = addCode(s, CodeKeyWord, "Win", true, false).id;
    uint32_t whole = addCode(s, CodeKeyWord, "win.ini", false, true).id;
    uint32_t part = addCode(s, CodeKeyWord, "window", false, true).id;
    uint32_t driver = addCode(s, CodeKeyWord, "driver", true, true).id;
    EXPECT_EQ(addCode(s, CodeKeyWord, "WINDOWS").status, CodeStatus::Duplicate);
    EXPECT_EQ(indexKeyWords(s), 4);
    EXPECT_EQ(codeView(s, any), (std::vector<uint32_t>{2, 1}));  // also inside windows95
    EXPECT_EQ(codeView(s, exactCase), (std::vector<uint32_t>{1}));
    EXPECT_EQ(codeView(s, whole), (std::vector<uint32_t>{1}));
    EXPECT_TRUE(codeView(s, part).empty());    // only inside a longer word
    EXPECT_TRUE(codeView(s, driver).empty());  // DRIVER has other letter case
    EXPECT_EQ(indexKeyWords(s), 0);              // a second run adds nothing
    CodeEntry k = findCode(s, any);
    EXPECT_EQ(k.count, 2u);
    EXPECT_GT(k.date, 0);
    EXPECT_GT(k.time, 0);
}

TEST_F(CodesTest, PurgeUpkeepDropsOrphanLinksAndLinksOfMissingCodesThenRecounts) {
    uint32_t a = addCode(s, CodeTopic, "A").id, b = addCode(s, CodeTopic, "B").id;
    uint32_t k = addCode(s, CodeKeyWord, "K").id;
    for (uint32_t code : {a, b, k}) ASSERT_TRUE(classifySet(s, code, {1, 3, 99}, true).ok());  // 99 never existed
    // A link whose code is gone while its message exists.
    ASSERT_TRUE(classifySet(s, 777777, {1, 3}, true).ok());
    int64_t orphans = 0, missing = 0;
    ASSERT_TRUE(removeOrphanedSearchIndexes(s, &orphans));
    EXPECT_EQ(orphans, 3);  // the three links of message 99
    ASSERT_TRUE(removeLinksOfMissingCodes(s, &missing));
    EXPECT_EQ(missing, 2);
    ASSERT_TRUE(updateKeyWordIndexCounts(s));
    for (uint32_t code : {a, b, k}) {
        EXPECT_EQ(codeView(s, code), (std::vector<uint32_t>{3, 1}));
        EXPECT_EQ(findCode(s, code).count, 2u);
    }
    EXPECT_TRUE(codeView(s, 777777).empty());
}

}  // namespace
}  // namespace quill::test

// The search: random queries against a brute-force scan of the stored texts,
// the field and date terms, the pause, the result set with its re-sorting,
// and the hit list of a text.
#include <algorithm>
#include <random>
#include <set>

#include "search/Search.h"
#include "search/SearchTestKit.h"
#include "search/WordIndex.h"

namespace quill::test {
namespace {

const std::vector<std::string> vocabulary = {"apple", "banana", "cherry", "damson", "elder",  "fig",
                                             "grape", "hazel",  "iris",   "juniper", "kiwi", "lemon"};

struct SearchTest : SearchArchive {
    std::map<uint32_t, std::vector<std::string>> texts;  // message -> its words in order

    void buildRandomArchive(unsigned seed) {
        std::mt19937 rng(seed);
        std::vector<Fx> msgs;
        for (uint32_t n = 1; n <= 60; ++n) {
            int len = 3 + int(rng() % 10);
            std::string text;
            std::vector<std::string> ws;
            for (int i = 0; i < len; ++i) {
                std::string w = vocabulary[rng() % vocabulary.size()];
                ws.push_back(w);
                text += (i ? (i % 4 == 0 ? ".\r\n" : " ") : "") + (i % 3 == 0 ? upper1252(w) : w);
            }
            texts[n] = ws;
            msgs.push_back(forum(n, text, "2024-01-" + std::string(n % 28 < 9 ? "0" : "") + std::to_string(1 + n % 28) +
                                              " 12:00:00"));
        }
        importForum(msgs);
        WordIndexRun run(s, IndexMode::Full);
        run.batchSize = 7;
        run.runToEnd();
        ASSERT_FALSE(run.failed()) << run.failure();
    }
    bool has(uint32_t n, const std::string& w) {
        auto& ws = texts[n];
        return std::find(ws.begin(), ws.end(), w) != ws.end();
    }
    bool hasPhrase(uint32_t n, const std::string& a, const std::string& b) {
        auto& ws = texts[n];
        for (std::size_t i = 0; i + 1 < ws.size(); ++i)
            if (ws[i] == a && ws[i + 1] == b) return true;
        return false;
    }
    std::set<uint32_t> found(const std::string& q) {
        SearchOutcome r = runSearch(s, q);
        EXPECT_TRUE(r.ok) << q << ": " << r.error;
        EXPECT_EQ(readResultSet(s), r.ids) << q;
        return std::set<uint32_t>(r.ids.begin(), r.ids.end());
    }
};

TEST_F(SearchTest, RandomQueriesFindExactlyWhatABruteForceScanFinds) {
    buildRandomArchive(7);
    std::mt19937 rng(11);
    auto pick = [&] { return vocabulary[rng() % vocabulary.size()]; };
    for (int round = 0; round < 60; ++round) {
        std::string a = pick(), b = pick(), c = pick();
        int shape = round % 6;
        std::string q;
        std::set<uint32_t> expected;
        for (uint32_t n = 1; n <= 60; ++n) {
            bool m = false;
            switch (shape) {
                case 0: q = a; m = has(n, a); break;
                case 1: q = a + " " + b; m = has(n, a) && has(n, b); break;
                case 2: q = a + " OR " + b; m = has(n, a) || has(n, b); break;
                case 3: q = "\"" + a + " " + b + "\""; m = hasPhrase(n, a, b); break;
                case 4: q = a + " OR " + b + " " + c; m = (has(n, a) || has(n, b)) && has(n, c); break;
                case 5: q = c + " -" + a; m = has(n, c) && !has(n, a); break;
            }
            if (m) expected.insert(n);
        }
        EXPECT_EQ(found(q), expected) << q;
    }
}

TEST_F(SearchTest, HitsComeNewestNumberFirstAndStopWordsAreIgnoredOutsidePhrases) {
    importForum({forum(1, "the red car", "2024-01-01 10:00:00"), forum(2, "a red car", "2024-03-01 10:00:00"),
                 forum(3, "red the car", "2024-02-01 10:00:00")});
    WordIndexRun run(s, IndexMode::Full);
    run.runToEnd();
    SearchOutcome r = runSearch(s, "the red");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.ids, (std::vector<uint32_t>{3, 2, 1}));
    EXPECT_EQ(found("\"the red\""), (std::set<uint32_t>{1}));
    EXPECT_EQ(found("\"red car\""), (std::set<uint32_t>{1, 2}));
}

TEST_F(SearchTest, FieldAndDateTermsFilterOnTheHeaders) {
    importForum({forum(1, "report", "2023-12-31 10:00:00", "Mary Jones <70000,1>", "Budget"),
                 forum(2, "report", "2024-01-01 10:00:00", "John Smith <70000,2>", "Budget plans"),
                 forum(3, "report", "2024-02-15 10:00:00", "Mary Jones <70000,1>", "Holiday"),
                 forum(4, "other", "2024-02-20 10:00:00", "Mary Jones <70000,1>", "Budget")});
    WordIndexRun run(s, IndexMode::Full);
    run.runToEnd();
    EXPECT_EQ(found("report from:mary"), (std::set<uint32_t>{1, 3}));
    EXPECT_EQ(found("from:\"john smith\""), (std::set<uint32_t>{2}));
    EXPECT_EQ(found("subject:budget"), (std::set<uint32_t>{1, 2, 4}));
    EXPECT_EQ(found("report date:2024"), (std::set<uint32_t>{2, 3}));
    EXPECT_EQ(found("date:2024-01-01..2024-02-15"), (std::set<uint32_t>{2, 3}));
    EXPECT_EQ(found("date:..2024-01"), (std::set<uint32_t>{1, 2}));
    EXPECT_EQ(found("report OR subject:budget -from:john"), (std::set<uint32_t>{1, 3, 4}));
    EXPECT_EQ(found("to:nobody"), (std::set<uint32_t>{}));
}

TEST(ParseQuery, BadSearchStringsAreRefusedWithAReason) {
    WordTables t = WordTables::defaults();
    for (const char* bad : {"\"open phrase", "OR apple", "apple OR", "apple OR OR pear", "date:2024-13",
                            "date:yesterday", "from:", "", "... ---"})
        EXPECT_FALSE(parseQuery(bad, t).error.empty()) << bad;
    Query q = parseQuery("a OR b c \"d e\"", t);
    ASSERT_TRUE(q.error.empty());
    ASSERT_EQ(q.groups.size(), 3u);
    EXPECT_EQ(q.groups[0].size(), 2u);
    EXPECT_TRUE(q.groups[2][0].phrase);
    EXPECT_EQ(parseQuery("e-mail", t).groups[0][0].phrase, false);  // one word under the default set
}

TEST_F(SearchTest, ThePauseAsksAfterTheScanLimitAndNoStopsWithAnEmptyResultSet) {
    buildRandomArchive(3);
    inst.ui.answer = RecordingInterface::Answer::Yes;
    SearchOutcome go = runSearch(s, "apple banana", 5);
    EXPECT_FALSE(go.cancelled);
    EXPECT_FALSE(inst.ui.questions.empty());
    EXPECT_EQ(go.ids.size(), found("apple banana").size());

    inst.ui.questions.clear();
    inst.ui.answer = RecordingInterface::Answer::No;
    SearchOutcome stop = runSearch(s, "apple banana", 5);
    EXPECT_TRUE(stop.cancelled);
    EXPECT_EQ(inst.ui.questions.size(), 1u);
    EXPECT_TRUE(readResultSet(s).empty());
}

TEST_F(SearchTest, ASteppedRunPausesAtEveryScanLimitAndResumedFindsWhatAnUninterruptedRunFinds) {
    buildRandomArchive(5);
    // Words the index answers, a phrase and a negation checked message by
    // message, and a header term with an OR.
    for (std::string q : {"apple banana", "\"apple banana\"", "cherry -damson", "subject:subject fig OR grape"}) {
        std::vector<uint32_t> whole = runSearch(s, q, 1000000).ids;
        for (int64_t limit : {1, 4, 25}) {
            Searcher searcher(s);
            SearchRun run(searcher, q, limit);
            int pauses = 0, percent = 0;
            int64_t nextPoint = limit;
            while (!run.finished()) {
                if (run.paused()) {
                    EXPECT_GE(run.scanned(), nextPoint) << q;
                    nextPoint = (run.scanned() / limit + 1) * limit;
                    ++pauses;
                    run.resume();
                    continue;
                }
                (void)run.step();
                if (!run.paused()) {
                    EXPECT_LT(run.scanned(), nextPoint) << q << ": ran past a pause point";
                }
                EXPECT_GE(run.percent(), percent) << q;
                percent = run.percent();
            }
            EXPECT_EQ(run.percent(), 100);
            if (limit < 25) {
                EXPECT_GT(pauses, 0) << q;
            }
            EXPECT_FALSE(run.outcome().cancelled);
            EXPECT_EQ(run.outcome().ids, whole) << q << " paused every " << limit;
            EXPECT_EQ(readResultSet(s), whole) << q;
        }
    }
}

TEST_F(SearchTest, CancellingAtAPauseEndsTheRunAtOnceWithAnEmptyResultSet) {
    buildRandomArchive(3);
    ASSERT_FALSE(found("apple").empty());
    Searcher searcher(s);
    SearchRun run(searcher, "\"apple banana\"", 2);
    while (!run.paused() && !run.finished()) (void)run.step();
    ASSERT_TRUE(run.paused());
    run.cancel();
    EXPECT_TRUE(run.finished());
    EXPECT_TRUE(run.outcome().ok);
    EXPECT_TRUE(run.outcome().cancelled);
    EXPECT_TRUE(run.outcome().ids.empty());
    EXPECT_TRUE(readResultSet(s).empty());
    EXPECT_EQ(run.step(), SearchRun::State::Finished);
    EXPECT_TRUE(inst.ui.questions.empty());  // the caller asks, not the run
}

TEST_F(SearchTest, AQueryThatCannotBeReadEndsTheRunAndLeavesTheResultSetStanding) {
    buildRandomArchive(3);
    std::set<uint32_t> before = found("apple");
    Searcher searcher(s);
    SearchRun run(searcher, "apple \"open phrase");
    EXPECT_EQ(run.step(), SearchRun::State::Finished);
    EXPECT_FALSE(run.outcome().ok);
    EXPECT_EQ(run.outcome().error, "A quoted phrase is not closed.");
    std::vector<uint32_t> stored = readResultSet(s);
    EXPECT_EQ(std::set<uint32_t>(stored.begin(), stored.end()), before);
}

TEST_F(SearchTest, LargeResultSetsAreGatheredInStepsAndWrittenWholeOrNotAtAll) {
    // 220 hits (written as 64, 8 and single rows), then 110; both words stay
    // under the quarter of the messages that would make them stop words.
    std::vector<Fx> msgs;
    for (uint32_t n = 1; n <= 1100; ++n)
        msgs.push_back(forum(n, n % 10 == 0 ? "plum pie" : n % 5 == 0 ? "plum tart" : "walnut " + std::to_string(n)));
    importForum(msgs);
    WordIndexRun index(s, IndexMode::Full);
    index.runToEnd();
    ASSERT_FALSE(index.failed());
    SearchOutcome plums = runSearch(s, "plum");
    ASSERT_EQ(plums.ids.size(), 220u);
    EXPECT_EQ(plums.ids.front(), 1100u);  // newest number first
    EXPECT_EQ(readResultSet(s), plums.ids);
    // No term narrows this one through the index: every message is read
    // over several steps.
    SearchOutcome noPie = runSearch(s, "-pie");
    EXPECT_TRUE(noPie.ok) << noPie.error;
    std::vector<uint32_t> expected;
    for (uint32_t n = 1100; n >= 1; --n)
        if (n % 10 != 0) expected.push_back(n);
    EXPECT_EQ(noPie.ids, expected);
    SearchOutcome pies = runSearch(s, "pie");
    ASSERT_EQ(pies.ids.size(), 110u);
    EXPECT_EQ(readResultSet(s), pies.ids);

    // A write that fails in its second statement of rows leaves the last
    // set standing, with the failure told.
    std::vector<uint32_t> broken = plums.ids;
    broken[70] = broken[3];
    EXPECT_FALSE(writeResultSet(s, broken));
    EXPECT_EQ(readResultSet(s), pies.ids);
    ASSERT_FALSE(inst.ui.messages.empty());
    EXPECT_EQ(inst.ui.messages.back().text.rfind("Record add error!", 0), 0u);
}

TEST_F(SearchTest, ResortingDropsDeletedMessagesRenumbersAndKeepsTheCurrentOne) {
    importForum({forum(1, "word", "2024-01-01 10:00:00", "Zed <70000,9>"),
                 forum(2, "word", "2024-01-03 10:00:00", "Amy <70000,8>"),
                 forum(3, "word", "2024-01-02 10:00:00", "Bob <70000,7>")});
    WordIndexRun run(s, IndexMode::Full);
    run.runToEnd();
    SearchOutcome r = runSearch(s, "word");
    ASSERT_EQ(r.ids, (std::vector<uint32_t>{3, 2, 1}));

    ResultSet set{r.ids, OrderFound, 3};
    ASSERT_TRUE(resortResultSet(s, set, OrderDate));
    EXPECT_EQ(set.ids, (std::vector<uint32_t>{2, 3, 1}));
    EXPECT_EQ(readResultSet(s), set.ids);
    EXPECT_FALSE(resortResultSet(s, set, OrderDate));  // the current order: nothing happens
    EXPECT_EQ(set.ids, (std::vector<uint32_t>{2, 3, 1}));

    OP_CLOSE(s, OpOpenShared, {MsgNmbrFile::Number});
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 2;
    ASSERT_TRUE(s.MsgNmbr.get(MsgNmbrFile::IDKEY));
    ASSERT_TRUE(s.MsgNmbr.del());
    OP_CLOSE(s, OpClose, {MsgNmbrFile::Number});

    ASSERT_TRUE(resortResultSet(s, set, OrderFourth));  // forum databases: by sender
    EXPECT_EQ(set.ids, (std::vector<uint32_t>{3, 1}));   // Bob, Zed; Amy's message is gone
    EXPECT_EQ(set.current, 3u);
    EXPECT_EQ(readResultSet(s), set.ids);
    EXPECT_EQ(sortMenuText(TypeForum, OrderFourth),
              "Sort by date|Sort by thread|Sort by section|+Sort by sender|Sort by receiver");
    EXPECT_EQ(sortMenuText(TypeMail, OrderDate),
              "+Sort by date|Sort by partner|Sort by sender|Sort by receiver|Sort by subject");
}

TEST(HitList, FindsEverySearchedWordInTextOrder) {
    std::string text = "Apple pie. An apple a day; APPLES are not apple.";
    auto hits = hitList(text, {"APPLE", "DAY"}, WordTables::defaults());
    std::vector<std::string> got;
    for (auto& h : hits) got.push_back(text.substr(h.start, h.end - h.start));
    EXPECT_EQ(got, (std::vector<std::string>{"Apple", "apple", "day", "apple"}));
}

}  // namespace
}  // namespace quill::test

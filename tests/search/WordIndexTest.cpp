// The word indexing run (Full, Partial, Recount), the 25 % rule, the
// out-of-date flags and the three purge upkeep steps.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "database/Common.h"
#include "search/SearchTestKit.h"
#include "search/WordIndex.h"

namespace quill::test {
namespace {

struct WordIndexTest : SearchArchive {
    // The WordList mirror: word -> count.
    std::map<std::string, int32_t> wordList() {
        std::map<std::string, int32_t> m;
        EXPECT_TRUE(ensureWordList(s));
        EXPECT_TRUE(openIndexFile(s, s.WordList));
        s.WordList.set(WordListFile::BY_THEWORD);
        while (s.WordList.next()) m[s.WOR.THEWORD.str()] = s.WOR.WORDCOUNT;
        (void)s.WordList.close();
        return m;
    }
    IndexReport index(IndexMode mode) {
        WordIndexRun run(s, mode);
        run.sliceSize = 3;
        run.batchSize = 4;  // several blocks per word
        run.runToEnd();
        EXPECT_FALSE(run.failed()) << run.failure();
        return run.report();
    }
    std::vector<uint32_t> postingsOf(const std::string& word) {
        IndexStore store;
        EXPECT_TRUE(openIndexStore(s, store));
        IndexStore::Word w = store.findWord(word);
        return w.id ? store.postings(w.id) : std::vector<uint32_t>{};
    }
    // FOR:WORDLISTINDEXNEEDSUPDATE as stored in the catalogue row.
    int32_t storedFlag() {
        OP_CLOSE(s, OpOpenShared, {ForumsFile::Number});
        s.Forums.clearBuffer();
        s.FOR.ID = s.Mem.ForumNumber;
        int32_t v = s.Forums.get(ForumsFile::FORUMKEY) ? int32_t(s.FOR.WORDLISTINDEXNEEDSUPDATE) : -1;
        OP_CLOSE(s, OpClose, {ForumsFile::Number});
        return v;
    }
    uint32_t wordIdOf(const std::string& word) {
        IndexStore store;
        EXPECT_TRUE(openIndexStore(s, store));
        return store.findWord(word).id;
    }
};

TEST_F(WordIndexTest, FullIndexLinksEveryMessageToItsWordsOnceAndCountsThem) {
    importForum({forum(1, "alpha beta gamma alpha"), forum(2, "beta delta"), forum(3, "The alpha and the omega"),
                 forum(4, "From: x@y.z\r\nSubject: s\r\n\r\nheaderless body"), forum(5, "gamma\r\n")});
    IndexReport r = index(IndexMode::Full);
    EXPECT_EQ(r.indexed, 5);
    auto words = wordList();
    std::map<std::string, int32_t> expected = {{"ALPHA", 2}, {"BETA", 2},     {"GAMMA", 2}, {"DELTA", 1},
                                               {"OMEGA", 1}, {"HEADERLESS", 1}, {"BODY", 1}};
    EXPECT_EQ(words, expected);  // stop words (THE, AND) and header fields are not indexed
    EXPECT_EQ(postingsOf("ALPHA"), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(postingsOf("GAMMA"), (std::vector<uint32_t>{1, 5}));
    EXPECT_EQ(s.Mem.WordListIndexNeedsUpdate, 0);
    EXPECT_FALSE(s.IndexingInProgress);

    // A second Full run replaces the index rather than adding to it.
    index(IndexMode::Full);
    EXPECT_EQ(wordList(), expected);
    EXPECT_EQ(postingsOf("ALPHA"), (std::vector<uint32_t>{1, 3}));
}

TEST_F(WordIndexTest, PartialIndexesOnlyTheNewMessagesAndKeepsWordIdentifiers) {
    importForum({forum(10, "apple banana"), forum(11, "banana cherry")});
    index(IndexMode::Full);
    uint32_t banana = wordIdOf("BANANA");
    importForum({forum(5, "banana damson"), forum(12, "elder")});
    IndexReport r = index(IndexMode::Partial);
    EXPECT_EQ(r.indexed, 2);
    EXPECT_EQ(wordIdOf("BANANA"), banana);
    // Message 5 lies below the earlier block: the list still comes out ascending.
    EXPECT_EQ(postingsOf("BANANA"), (std::vector<uint32_t>{5, 10, 11}));
    EXPECT_EQ(wordList()["BANANA"], 3);
    EXPECT_EQ(wordList()["ELDER"], 1);
    EXPECT_EQ(s.Mem.WordListIndexNeedsUpdate, 0);
}

// Every word with its count and messages, and every message with its words,
// by text (a Partial run numbers new words differently from a Full one).
struct IndexContents {
    std::map<std::string, std::pair<int32_t, std::vector<uint32_t>>> words;
    std::map<uint32_t, std::set<std::string>> messages;
    bool operator==(const IndexContents&) const = default;
};

IndexContents contentsOf(Session& s) {
    IndexContents c;
    IndexStore store;
    EXPECT_TRUE(openIndexStore(s, store));
    std::map<uint32_t, std::string> text;
    for (auto& w : store.words()) {
        text[w.id] = w.word;
        c.words[w.word] = {w.count, store.postings(w.id)};
    }
    for (uint32_t m : store.indexedMessages())
        for (uint32_t w : store.wordsOf(m)) c.messages[m].insert(text.count(w) ? text[w] : "?" + std::to_string(w));
    return c;
}

TEST_F(WordIndexTest, PartialOverNewMessagesBetweenIndexedOnesBuildsWhatFullBuilds) {
    const char* vocabulary[] = {"apple", "banana", "cherry", "damson", "elder", "fig", "grape", "hazel", "iris",
                                "juniper", "kiwi", "lime", "mango", "nutmeg", "olive", "pear", "quince"};
    auto textOf = [&](uint32_t n) {
        std::string t;
        for (uint32_t k = 0; k < 6; ++k) t += std::string(vocabulary[(n * 7 + k * k * 3) % 17]) + " ";
        return t + "word" + std::to_string(n % 5) + " " + vocabulary[n % 17];
    };
    std::vector<Fx> first, later;
    for (uint32_t n = 10; n < 40; n += 2) first.push_back(forum(n, textOf(n)));
    importForum(first);
    index(IndexMode::Full);
    // New messages below, between (singly and in runs) and above the indexed ones.
    for (uint32_t n : {3u, 11u, 13u, 15u, 21u, 29u, 31u, 33u, 40u, 41u, 42u, 43u, 44u, 60u}) later.push_back(forum(n, textOf(n)));
    importForum(later);
    IndexReport r = index(IndexMode::Partial);
    EXPECT_EQ(r.indexed, int64_t(later.size()));
    IndexContents partial = contentsOf(s);
    EXPECT_EQ(partial.messages.size(), first.size() + later.size());

    index(IndexMode::Full);
    IndexContents full = contentsOf(s);
    EXPECT_TRUE(partial == full);
    EXPECT_EQ(full.words["APPLE"].first, int32_t(full.words["APPLE"].second.size()));
}

TEST_F(WordIndexTest, ARunStoppedBetweenStepsKeepsWholeBatchesAndPartialCompletesIt) {
    std::vector<Fx> msgs;
    for (uint32_t n = 1; n <= 60; ++n)
        msgs.push_back(forum(n, "common word" + std::to_string(n % 7) + " unique" + std::to_string(n) + " shared"));
    importForum(msgs);
    {
        WordIndexRun run(s, IndexMode::Full);
        run.sliceSize = 7;
        run.batchSize = 8;
        for (int k = 0; k < 4; ++k) ASSERT_TRUE(run.step());
        // Destroyed here, between two steps.
    }
    EXPECT_FALSE(s.IndexingInProgress);
    IndexContents cut = contentsOf(s);
    // What was written are whole batches, each message with all its words.
    EXPECT_EQ(cut.messages.size() % 8, 0u);
    for (auto& [m, words] : cut.messages) {
        EXPECT_EQ(words.size(), 4u) << m;  // COMMON, WORDn, UNIQUEn, SHARED
        EXPECT_TRUE(words.count("UNIQUE" + std::to_string(m))) << m;
    }
    index(IndexMode::Partial);
    IndexContents completed = contentsOf(s);
    EXPECT_EQ(completed.messages.size(), 60u);

    index(IndexMode::Full);
    EXPECT_TRUE(contentsOf(s) == completed);
}

TEST_F(WordIndexTest, ImportIntoAnIndexedDatabaseRaisesTheOutOfDateFlagWithItsMessages) {
    importForum({forum(1, "apple")});
    EXPECT_EQ(storedFlag(), 1);  // a new database has no index yet
    index(IndexMode::Full);
    EXPECT_EQ(storedFlag(), 0);

    // Messages that are all duplicates store nothing: the index stays current.
    importForum({forum(1, "apple")});
    EXPECT_EQ(storedFlag(), 0);
    EXPECT_EQ(s.Mem.WordListIndexNeedsUpdate, 0);

    importForum({forum(2, "banana")});
    EXPECT_EQ(storedFlag(), 1);
    EXPECT_EQ(s.Mem.WordListIndexNeedsUpdate, 1);
    IndexReport r = index(IndexMode::Partial);
    EXPECT_EQ(r.indexed, 1);
    EXPECT_EQ(storedFlag(), 0);
    EXPECT_EQ(s.Mem.WordListIndexNeedsUpdate, 0);
}

TEST_F(WordIndexTest, AnImportLandingWhileTheRunReadsLeavesTheFlagRaised) {
    importForum({forum(1, "apple"), forum(2, "banana"), forum(3, "cherry")});
    index(IndexMode::Full);
    WordIndexRun run(s, IndexMode::Full);
    run.sliceSize = 1;
    ASSERT_TRUE(run.step());  // started
    ASSERT_TRUE(run.step());  // one message read

    // Another program imports into the same database meanwhile.
    RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    writeFile(files / "late.fix", fixtureText({forum(4, "damson")}));
    ImportDefinition d = fixtureDefinition(files.path(), {"late.fix"});
    d.forumName = "Test Forum";
    RunOutcome r = runImport(*other, d);
    ASSERT_TRUE(r.ok) << r.failure;

    run.runToEnd();
    ASSERT_FALSE(run.failed()) << run.failure();
    EXPECT_EQ(storedFlag(), 1);
    index(IndexMode::Partial);
    EXPECT_EQ(storedFlag(), 0);
    EXPECT_EQ(postingsOf("DAMSON"), (std::vector<uint32_t>{4}));
}

TEST_F(WordIndexTest, RecountRecommendsPartialForUnindexedMessagesAndFullForChangedWordDefinitions) {
    importForum({forum(1, "one two")});
    WordIndexRun first(s, IndexMode::Recount);
    first.runToEnd();
    EXPECT_EQ(first.report().advice, "Full");
    index(IndexMode::Full);
    importForum({forum(2, "three")});
    IndexReport r = index(IndexMode::Recount);
    EXPECT_EQ(r.unindexed, 1);
    EXPECT_EQ(r.advice, "Partial");
    index(IndexMode::Partial);
    EXPECT_EQ(index(IndexMode::Recount).advice, "");

    // Changing a flag makes the next Partial run a Full one.
    WordTables t = WordTables::defaults();
    t.InWordHash['.'] = 0;
    ASSERT_TRUE(saveWordTables(s, kDefaultWordSet, t));
    EXPECT_EQ(index(IndexMode::Recount).advice, "Full");
    IndexReport p = index(IndexMode::Partial);
    EXPECT_TRUE(p.fullForced);
    EXPECT_EQ(p.indexed, 2);
}

TEST_F(WordIndexTest, IndexingInProgressIsSetWhileTheRunLasts) {
    importForum({forum(1, "one"), forum(2, "two")});
    {
        WordIndexRun run(s, IndexMode::Full);
        run.sliceSize = 1;
        ASSERT_TRUE(run.step());
        EXPECT_TRUE(s.IndexingInProgress);
        run.runToEnd();
        EXPECT_FALSE(s.IndexingInProgress);
    }
    {
        // A run abandoned half-way clears it too.
        WordIndexRun run(s, IndexMode::Full);
        ASSERT_TRUE(run.step());
        EXPECT_TRUE(s.IndexingInProgress);
    }
    EXPECT_FALSE(s.IndexingInProgress);
}

TEST_F(WordIndexTest, AWordInMoreThanAQuarterOfTheMessagesBecomesAStopWordUnlessSwitchedOff) {
    std::vector<Fx> msgs;
    for (uint32_t n = 1; n <= 120; ++n)
        msgs.push_back(forum(n, "everywhere " + std::string(n <= 30 ? "quarter " : "") + (n <= 31 ? "beyond " : "") +
                                    "unique" + std::string(1, char('a' + n % 26)) + std::string(1, char('a' + n / 26))));
    importForum(msgs);
    IndexSettings st = loadIndexSettings(s);
    st.autoStopWords = false;
    ASSERT_TRUE(saveIndexSettings(s, st));
    index(IndexMode::Full);
    EXPECT_EQ(wordList().count("EVERYWHERE"), 1u);

    st.autoStopWords = true;
    ASSERT_TRUE(saveIndexSettings(s, st));
    IndexReport r = index(IndexMode::Full);
    std::set<std::string> added(r.stopWordsAdded.begin(), r.stopWordsAdded.end());
    EXPECT_EQ(added, (std::set<std::string>{"EVERYWHERE", "BEYOND"}));  // 30 of 120 is not more than 25 %
    auto words = wordList();
    EXPECT_EQ(words.count("EVERYWHERE"), 0u);
    EXPECT_EQ(words["QUARTER"], 30);
    EXPECT_TRUE(postingsOf("EVERYWHERE").empty());
    EXPECT_EQ(loadStopWords(s).count("EVERYWHERE"), 1u);
}

TEST_F(WordIndexTest, DeletedWordBecomesAStopWordAndIsNotIndexedAgain) {
    importForum({forum(1, "keep drop"), forum(2, "drop")});
    index(IndexMode::Full);
    ASSERT_TRUE(deleteIndexedWord(s, "drop"));
    EXPECT_EQ(wordList().count("DROP"), 0u);
    index(IndexMode::Full);
    EXPECT_EQ(wordList().count("DROP"), 0u);
    EXPECT_EQ(wordList().count("KEEP"), 1u);
}

TEST_F(WordIndexTest, PurgeUpkeepRemovesLinksAndLowersCountsOfTheDeletedMessages) {
    importForum({forum(1, "solo shared common"), forum(2, "shared common"), forum(3, "common")});
    index(IndexMode::Full);
    std::vector<uint32_t> deleted = {1, 2};
    std::map<uint32_t, int32_t> tally;
    ASSERT_TRUE(purgeOrphanedWordIndexes(s, deleted, tally));
    EXPECT_TRUE(deleted.empty());
    EXPECT_EQ(tally[wordIdOf("SHARED")], 2);  // two messages that share a word: one tally of 2
    EXPECT_TRUE(postingsOf("SHARED").empty());
    EXPECT_EQ(postingsOf("COMMON"), (std::vector<uint32_t>{3}));
    ASSERT_TRUE(updateIndexCounts(s, tally));
    ASSERT_TRUE(rebuildWordList(s));
    auto words = wordList();
    EXPECT_EQ(words.count("SOLO"), 0u);    // the only message that held it: 1 - 1 = 0
    EXPECT_EQ(words.count("SHARED"), 0u);
    EXPECT_EQ(words["COMMON"], 1);
}

TEST_F(WordIndexTest, ACountBelowItsTallyEndsTheWordInsteadOfGoingNegative) {
    importForum({forum(1, "word"), forum(2, "word second")});
    index(IndexMode::Full);
    std::map<uint32_t, int32_t> tally = {{wordIdOf("WORD"), 5}, {wordIdOf("SECOND"), 0}, {999999, 1}};
    ASSERT_TRUE(updateIndexCounts(s, tally));
    ASSERT_TRUE(rebuildWordList(s));
    auto words = wordList();
    EXPECT_EQ(words.count("WORD"), 0u);
    EXPECT_EQ(words["SECOND"], 1);
}

TEST_F(WordIndexTest, APurgeWithoutDeletionsStillRebuildsTheListAndClearsTheFlags) {
    importForum({forum(1, "word")});
    index(IndexMode::Full);
    ASSERT_TRUE(setIndexNeedsUpdate(s, 1));
    std::vector<uint32_t> none;
    std::map<uint32_t, int32_t> tally;
    ASSERT_TRUE(purgeOrphanedWordIndexes(s, none, tally));
    ASSERT_TRUE(updateIndexCounts(s, tally));
    ASSERT_TRUE(rebuildWordList(s));
    EXPECT_EQ(s.Mem.WordListIndexNeedsUpdate, 0);
    EXPECT_EQ(listCatalogue(s).size(), 1u);
    OP_CLOSE(s, OpOpenShared, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.ID = s.Mem.ForumNumber;
    ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY));
    EXPECT_EQ(int32_t(s.FOR.WORDLISTINDEXNEEDSUPDATE), 0);
    OP_CLOSE(s, OpClose, {ForumsFile::Number});
    EXPECT_EQ(wordList()["WORD"], 1);
}

TEST_F(WordIndexTest, UpkeepOfANeverIndexedDatabaseCreatesNoIndexFile) {
    importForum({forum(1, "word")});
    std::vector<uint32_t> deleted = {1};
    std::map<uint32_t, int32_t> tally = {{1, 1}};
    ASSERT_TRUE(purgeOrphanedWordIndexes(s, deleted, tally));
    EXPECT_TRUE(deleted.empty());
    ASSERT_TRUE(updateIndexCounts(s, tally));
    EXPECT_FALSE(std::filesystem::exists(buildName(s, MasIdxFile::Number)));
}

}  // namespace
}  // namespace quill::test

// The target database list of a run: loading with redirections, new forum
// and newsgroup entries, the touched list, pruning and selecting.
#include <gtest/gtest.h>

#include <filesystem>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "import/TargetList.h"
#include "import/TaskLink.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

struct TargetFixture : ::testing::Test {
    Installation inst;
    Session& s = inst.s();

    // A catalogue entry written directly, as a newsgroup with a redirection.
    uint32_t addEntry(const std::string& name, uint8_t type, uint32_t dir, uint32_t redirect = 0, bool noImport = false) {
        OP_CLOSE(s, OpOpenShared, {2, 8});
        s.Forums.clearBuffer();
        uint32_t id = NextNr(s);
        s.FOR.ID = id;
        s.FOR.DESCRIPTION = name;
        s.FOR.TYPE = type;
        s.FOR.DIRNUMBER = dir;
        s.FOR.REDIRNOW = redirect;
        s.FOR.NOIMPORT = noImport ? 1 : 0;
        EXPECT_TRUE(s.Forums.add());
        OP_CLOSE(s, OpClose, {2, 8});
        return id;
    }
    TargetList loaded() {
        TargetList t;
        OP_CLOSE(s, OpOpenShared, {2});
        t.load(s);
        OP_CLOSE(s, OpClose, {2});
        return t;
    }
};

TEST_F(TargetFixture, LoadKeepsOneStepRedirectionsAndDropsChainsAndMissingTargets) {
    uint32_t c = addEntry("C", TypeNewsgroup, 3, 0);
    uint32_t b = addEntry("B", TypeNewsgroup, 2, c);
    addEntry("A", TypeNewsgroup, 1, b);        // A -> B -> C: B redirects itself, so A is not redirected
    addEntry("D", TypeNewsgroup, 7, 999999);   // missing target
    addEntry("E", TypeNewsgroup, 5, c);
    TargetList t = loaded();
    EXPECT_EQ(t.size(), 5u);
    EXPECT_EQ(t.entry("a")->redirTarget, 0u);
    EXPECT_EQ(t.entry("B")->redirTarget, c);
    EXPECT_EQ(t.entry("B")->redirName, "C");
    EXPECT_EQ(t.entry("d")->redirTarget, 0u);
    EXPECT_EQ(t.entry("E")->redirName, "C");
    EXPECT_EQ(t.nextDirNumber(), 8u);
    // Sorted by the upper-cased name.
    auto e = t.entries();
    EXPECT_EQ(e.front().description, "A");
    EXPECT_EQ(e.back().description, "E");
}

TEST_F(TargetFixture, NewNamesBecomeNewEntriesWithSuccessiveDirectoryNumbersAndCounterIdentifiers) {
    addEntry("Old", TypeForum, 4);
    TargetList t = loaded();
    uint32_t counter = 900000;
    uint8_t kind = TypeNewsgroup;
    s.NewHR.clearBuffer();
    TargetFound g1 = t.FindTargetDatabase(s, "alt.first", kind, &counter);
    EXPECT_EQ(kind, TypeNewsgroup);
    EXPECT_EQ(g1.id, 900000u);
    EXPECT_EQ(uint32_t(s.NHR.SECTIONNUMBER), 900000u);
    EXPECT_EQ(s.NHR.SEC_DESCRIPTION.str(), "alt.first");
    kind = TypeNewsgroup;
    TargetFound g2 = t.FindTargetDatabase(s, "alt.second", kind, &counter);
    kind = 0;
    TargetFound f = t.FindTargetDatabase(s, "New Forum", kind, &counter);
    EXPECT_EQ(kind, TypeForum);
    EXPECT_EQ(counter, 900003u);
    EXPECT_EQ(t.entry("alt.first")->dirNumber, 5u);
    EXPECT_EQ(t.entry("alt.second")->dirNumber, 6u);
    EXPECT_EQ(t.entry("new forum")->dirNumber, 7u);
    EXPECT_TRUE(t.entry("alt.first")->isNew);
    // The same name again is the same entry.
    kind = TypeNewsgroup;
    EXPECT_EQ(t.FindTargetDatabase(s, "ALT.FIRST", kind, &counter).id, g1.id);
    EXPECT_EQ(counter, 900003u);
    EXPECT_EQ(t.touched().size(), 3u);
    (void)g2;
    (void)f;
}

TEST_F(TargetFixture, RedirectedNewsgroupGivesItsTargetButKeepsItsOwnSection) {
    uint32_t target = addEntry("Collected", TypeNewsgroup, 1);
    uint32_t group = addEntry("alt.moved", TypeNewsgroup, 2, target);
    TargetList t = loaded();
    uint32_t counter = 1;
    uint8_t kind = TypeNewsgroup;
    s.NewHR.clearBuffer();
    TargetFound r = t.FindTargetDatabase(s, "alt.moved", kind, &counter);
    EXPECT_EQ(r.id, target);
    EXPECT_EQ(uint32_t(s.NHR.SECTIONNUMBER), group);
    EXPECT_EQ(s.NHR.SEC_DESCRIPTION.str(), "alt.moved");
    ASSERT_EQ(t.touched().size(), 1u);
    EXPECT_EQ(t.touched()[0].id, target);
}

TEST_F(TargetFixture, EntryClosedForImportIsNotTouched) {
    addEntry("Closed", TypeForum, 1, 0, true);
    TargetList t = loaded();
    uint32_t counter = 1;
    uint8_t kind = TypeForum;
    TargetFound r = t.FindTargetDatabase(s, "Closed", kind, &counter);
    EXPECT_FALSE(r.importAllowed);
    EXPECT_TRUE(t.touched().empty());
}

struct Cleanups : TaskLink {
    std::vector<uint32_t> ids;
    void CleanUp(int code, uint32_t id) override {
        if (code == 2) ids.push_back(id);
    }
    void importFinished(uint8_t, int32_t) override {}
};

TEST_F(TargetFixture, PruneKeepsTouchedEntriesAndTellsTheSchedulerInScheduledRuns) {
    addEntry("Untouched", TypeForum, 1);
    uint32_t kept = addEntry("Kept", TypeForum, 2);
    TargetList t = loaded();
    uint32_t counter = 1;
    uint8_t kind = TypeForum;
    (void)t.FindTargetDatabase(s, "Kept", kind, &counter);
    Cleanups task;
    TargetList copy = t;
    EXPECT_TRUE(copy.prune(s, &task));
    EXPECT_EQ(copy.size(), 1u);
    EXPECT_TRUE(task.ids.empty());  // interactive: no scheduler
    s.Mem.DoTask = 2;
    EXPECT_TRUE(t.prune(s, &task));
    EXPECT_EQ(task.ids, std::vector<uint32_t>{kept});
    s.Mem.DoTask = 0;
    TargetList empty = loaded();
    EXPECT_FALSE(empty.prune(s, nullptr));
}

TEST_F(TargetFixture, SelectCreatesTheCatalogueEntryAndDirectoryOfANewDatabase) {
    TargetList t = loaded();
    uint32_t counter = 777777;
    uint8_t kind = TypeNewsgroup;
    (void)t.FindTargetDatabase(s, "alt.brand.new", kind, &counter);
    ASSERT_TRUE(t.select(s, "alt.brand.new"));
    EXPECT_EQ(s.Mem.ForumNumber, 777777u);
    EXPECT_EQ(s.Mem.ForumType, TypeNewsgroup);
    EXPECT_EQ(s.Mem.Description, "alt.brand.new");
    EXPECT_EQ(s.Mem.Dirnamn, "F1");
    EXPECT_TRUE(std::filesystem::is_directory(s.Mem.FileDir + "/F1"));
    EXPECT_TRUE(std::filesystem::exists(s.Mem.FileDir + "/F1/IDX022.DAT"));
    auto cat = listCatalogue(s);
    ASSERT_EQ(cat.size(), 1u);
    EXPECT_EQ(cat[0].type, TypeNewsgroup);
    EXPECT_EQ(cat[0].dirNumber, 1u);
    EXPECT_FALSE(t.select(s, "not in the list"));
    EXPECT_FALSE(t.entry("alt.brand.new")->isNew);
    EXPECT_TRUE(t.takeNextTouched(s));
    EXPECT_EQ(s.Mem.ForumNumber, 777777u);
    EXPECT_FALSE(t.takeNextTouched(s));
}

}  // namespace
}  // namespace quill::test

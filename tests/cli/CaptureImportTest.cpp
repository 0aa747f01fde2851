// Importing a folder of CompuServe forum captures through the command-line
// tool: one forum database per forum named in the captures.
#include <gtest/gtest.h>

#include "import/ImportTestKit.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CaptureImportVerb, FolderOfThreeForumsGivesThreeForumDatabasesWithSectionsThreadsAndPersons) {
    TempDir home;
    std::string out, err;
    ASSERT_EQ(runCli({"--home", home.path(), "init"}), 0);
    ASSERT_EQ(runCli({"--home", home.path(), "import", "--type", "OzWin I", "--recursive",
                      QUILL_SOURCE_DIR "/tests/data/ozwin1/three-forums"},
                     &out, &err),
              0)
        << err;
    EXPECT_TRUE(contains(out + err, "imported 6  skipped 0")) << out << err;

    RecordingInterface ui;
    Session s(ui);
    openInstallation(s, home.path());
    std::string dump = archiveDump(s);
    for (const char* line : {
             "forum ALPHAFORUM msgcount=2",
             "forum BETAFORUM msgcount=2",
             "forum GAMMAFORUM msgcount=2",
             // sections by number and name
             "forum ALPHAFORUM section 1 General count=2",
             "forum GAMMAFORUM section 3 Modems count=1",
             "forum GAMMAFORUM section 4 Cables count=1",
             // a thread joined by reference, one joined by subject
             "forum ALPHAFORUM thread General / Hello alpha count=2",
             "forum ALPHAFORUM msg 101 ref=100 1997-04-02 [Hello alpha]",
             "forum BETAFORUM thread Printers / Printer jams count=2",
             "forum BETAFORUM msg 201 ref=0 1997-04-04 [Printer jams]",
             // CompuServe IDs in comma form, whatever form the capture used
             "forum ALPHAFORUM person BEN BAKER 70001,222 from=1 to=0",
             "forum BETAFORUM person CID COLE 70001,333 from=1 to=0",
             "forum GAMMAFORUM person DEE DUNN 70001,444 from=1 to=1",
         })
        EXPECT_TRUE(contains(dump, line)) << "lacks: " << line << "\n" << dump;
    int databases = 0;
    for (auto& e : listCatalogue(s)) databases += e.type == TypeForum ? 1 : 0;
    EXPECT_EQ(databases, 3);
    // Every cached count equals what a counting pass would find.
    auto problems = archiveProblems(s);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

}  // namespace
}  // namespace quill::test

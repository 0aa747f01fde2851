// Identifiers, directories, the directory setting and database selection;
// preferences with their defaults and limits.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "database/Preferences.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::Installation;
using quill::test::RecordingInterface;

namespace {

uint32_t generatorValue(Session& s) {
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    EXPECT_TRUE(s.Control.get(ControlFile::IDKEY).ok());
    uint32_t v = s.CTL.NEXTNUMBER;
    OP_CLOSE(s, OpClose, {8});
    return v;
}

TEST(Identifiers, FreshInstallationHandsOut250000First) {
    Installation inst;
    Session& s = inst.s();
    OP_CLOSE(s, OpOpenShared, {8});
    EXPECT_EQ(NextNr(s), 250000u);
    OP_CLOSE(s, OpClose, {8});
    EXPECT_EQ(generatorValue(s), 250001u);
}

TEST(Identifiers, LowGeneratorIsRaisedToTheFloorAtStartUp) {
    Installation inst;
    Session& s = inst.s();
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    ASSERT_TRUE(s.Control.get(ControlFile::IDKEY).ok());
    s.CTL.NEXTNUMBER = 1000;
    ASSERT_TRUE(s.Control.put().ok());
    OP_CLOSE(s, OpClose, {8});
    RecordingInterface ui;
    auto again = inst.another(ui);
    EXPECT_EQ(generatorValue(*again), 250000u);
}

// A counter that cannot be written back must not hand out its identifier:
// the same identifier would be handed out again by the next draw.
TEST(Identifiers, CounterThatCannotBeWrittenBackHandsOutNothingAndSaysSo) {
    Installation inst;
    Session& s = inst.s();
    buildName(s, ControlFile::Number);
    ASSERT_TRUE(s.Control.open(OpenMode::ReadOnly).ok());
    EXPECT_EQ(NextNr(s), 0u);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].caption, "Control File Error");
    EXPECT_EQ(inst.ui.messages[0].text, "Access Denied\r\nNext ID cannot be generated!");
    ASSERT_TRUE(s.Control.close().ok());
    EXPECT_EQ(generatorValue(s), 250000u);
    OP_CLOSE(s, OpOpenShared, {8});
    EXPECT_EQ(NextNr(s), 250000u);
    OP_CLOSE(s, OpClose, {8});
}

TEST(Identifiers, GeneratorCalledBeforePreferencesStartsAtOne) {
    quill::test::TempDir dir;
    RecordingInterface ui;
    Session s(ui);
    startDirectories(s, dir.path());
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 1;
    if (s.Control.get(ControlFile::IDKEY)) {
        ASSERT_TRUE(s.Control.del().ok());
    }
    EXPECT_EQ(NextNr(s), 1u);
    EXPECT_EQ(NextNr(s), 2u);
    OP_CLOSE(s, OpClose, {8});
}

TEST(Directories, NextDirectoryNumberFollowsTheHighestAndNeverReusesGaps) {
    Installation inst;
    Session& s = inst.s();
    OP_CLOSE(s, OpOpenShared, {2});
    EXPECT_EQ(nextDirNumber(s), 1u);
    for (uint32_t n : {1u, 2u, 7u}) {
        s.Forums.clearBuffer();
        s.FOR.ID = n + 100;
        s.FOR.DIRNUMBER = n;
        s.FOR.DESCRIPTION = "db" + std::to_string(n);
        ASSERT_TRUE(s.Forums.add().ok());
    }
    EXPECT_EQ(nextDirNumber(s), 8u);
    EXPECT_EQ(directoryName(8), "F8");
    OP_CLOSE(s, OpClose, {2});
}

TEST(Directories, ExistPathRefusesRelativeAndNetworkNamesSilently) {
    Installation inst;
    Session& s = inst.s();
    for (const char* p : {"relative/dir", "\\\\server\\share", "", "C:\\QUILL"})
        EXPECT_EQ(ExistPath(s, 1, 0, p, "tail", false), 0) << p;
    EXPECT_TRUE(inst.ui.messages.empty());
    EXPECT_EQ(ExistPath(s, 1, 0, inst.dir.path(), "", false), 1);
}

TEST(Directories, ExistPathCreatesAMissingDirectoryAfterSayingSo) {
    Installation inst;
    Session& s = inst.s();
    std::string p = inst.dir / "NEW";
    EXPECT_EQ(ExistPath(s, 3, 0, p, "Tail text", false), 0);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, "The specified path " + p + " does not exist.\r\nTail text");
    EXPECT_EQ(inst.ui.messages[0].caption, " Path Not Found");
    EXPECT_EQ(inst.ui.beeps, 1);
    EXPECT_EQ(ExistPath(s, 1, 0, p, "", true), 1);
}

TEST(Directories, SavedSettingIsUsedAtTheNextStart) {
    Installation inst;
    Session& s = inst.s();
    std::string data = inst.dir / "data";
    ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
    std::string t = data;
    ASSERT_TRUE(AutoPath(s, 2, 18, t));
    ASSERT_TRUE(AutoPath(s, 4, 18, t));
    RecordingInterface ui;
    auto again = inst.another(ui);
    EXPECT_EQ(again->Mem.FileDir, data);
    EXPECT_EQ(again->Mem.TempDir, inst.dir / "TEMP");
    std::string read;
    ASSERT_TRUE(AutoPath(*again, 3, 17, read));
    EXPECT_EQ(read, inst.dir / "TEMP");
    EXPECT_THROW(AutoPath(*again, 3, 19, read), ProgramStop);
}

TEST(Selection, SelectingADatabaseFillsTheSharedVariablesAndAMissingOneChangesNothing) {
    Installation inst;
    Session& s = inst.s();
    OP_CLOSE(s, OpOpenShared, {2});
    s.Forums.clearBuffer();
    s.FOR.ID = 250100;
    s.FOR.DIRNUMBER = 3;
    s.FOR.TYPE = TypeMail;
    s.FOR.PERSONID = 250101;
    s.FOR.DESCRIPTION = "Home mail";
    ASSERT_TRUE(s.Forums.add().ok());
    OP_CLOSE(s, OpClose, {2});
    ASSERT_TRUE(selectDatabase(s, 250100));
    EXPECT_EQ(s.Mem.Dirnamn, "F3");
    EXPECT_EQ(s.Mem.ForumType, TypeMail);
    EXPECT_EQ(s.Mem.PersonID, 250101u);
    EXPECT_EQ(s.Mem.Description, "Home mail");
    EXPECT_FALSE(selectDatabase(s, 999));
    EXPECT_EQ(s.Mem.ForumNumber, 250100u);
    EXPECT_EQ(s.Mem.Dirnamn, "F3");
}

TEST(Preferences, DefaultsFillZeroValuesAndSavedValuesSurviveARestart) {
    Installation inst;
    Session& s = inst.s();
    EXPECT_EQ(konfigNumber(s, 10), 17);
    EXPECT_EQ(konfigNumber(s, 13), 7);
    EXPECT_EQ(konfigNumber(s, 58), 78);
    EXPECT_EQ(konfigNumber(s, 23), 12632256);
    int32_t size = 0;
    std::string font;
    ASSERT_TRUE(Konfig(s, 8, 35, size, 0, font));
    EXPECT_EQ(font, "Arial");
    EXPECT_EQ(size, 8);
    setKonfigNumber(s, 10, 10);
    int32_t v = 0;
    std::string text = "C:/very/long/path/that/is/cut";
    ASSERT_TRUE(Konfig(s, 24, 14, v, 0, text));
    ASSERT_TRUE(Konfig(s, 4, 0, v, 0, text));
    ASSERT_TRUE(Konfig(s, 26, 0, v, 0, text));
    RecordingInterface ui;
    auto again = inst.another(ui);
    std::string label, picture;
    EXPECT_EQ(SetDate(*again, label, picture), 10);
    EXPECT_EQ(label, "yyyy-mm-dd");
    std::string back;
    ASSERT_TRUE(Konfig(*again, 25, 14, v, 0, back));
    EXPECT_EQ(back, "C:/very/long/path/that/is/cut");
    EXPECT_THROW(Konfig(*again, 3, 22, v, 0, back), ProgramStop);
    EXPECT_TRUE(Konfig(*again, 8, 99, v, 0, back));
}

TEST(Preferences, WindowValuesOf2000OrMoreAreNotStored) {
    Installation inst;
    Session& s = inst.s();
    WindowRect r;
    ASSERT_TRUE(WindowPos(s, 3, 4, r));
    WindowRect before = r;
    WindowRect wide{10, 20, 2500, 300};
    ASSERT_TRUE(WindowPos(s, 2, 4, wide));
    ASSERT_TRUE(WindowPos(s, 3, 4, r));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.height, 300);
    EXPECT_EQ(r.width, before.width);
}

TEST(Preferences, ResetCopiesDefaultsInMemoryOnlyUntilSaved) {
    Installation inst;
    Session& s = inst.s();
    WindowRect moved{5, 6, 700, 500};
    ASSERT_TRUE(WindowPos(s, 2, 1, moved));
    ASSERT_TRUE(WindowPos(s, 4, 0, moved));
    ASSERT_TRUE(WindowPos(s, 5, 0, moved));
    WindowRect r;
    ASSERT_TRUE(WindowPos(s, 3, 1, r));
    EXPECT_NE(r, moved);
    RecordingInterface ui;
    auto again = inst.another(ui);
    ASSERT_TRUE(WindowPos(*again, 3, 1, r));
    EXPECT_EQ(r, moved);
}

TEST(Preferences, ColumnWidthsOutsideSixTo600AreIgnored) {
    Installation inst;
    Session& s = inst.s();
    std::vector<int> w;
    ASSERT_TRUE(ListCol(s, 3, 5, w));
    std::vector<int> before = w;
    std::vector<int> taken = {3, 700, 250, 6, 600};
    ASSERT_TRUE(ListCol(s, 2, 5, taken));
    ASSERT_TRUE(ListCol(s, 3, 5, w));
    EXPECT_EQ(w, (std::vector<int>{before[0], before[1], 250, 6, 600}));
}

}  // namespace

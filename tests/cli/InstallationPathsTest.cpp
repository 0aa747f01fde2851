// An installation uses the directories of the place it is opened at: a copy
// or a moved installation writes into itself, whatever its directory setting
// was written with, and no directory is cut to fit its field.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "database/Catalogue.h"
#include "import/ImportTestKit.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<Fx> forumInput(uint32_t first, int n) {
    std::vector<Fx> v;
    for (int i = 0; i < n; ++i) {
        Fx m;
        m.number = first + uint32_t(i);
        m.section = "1 General";
        m.subject = "Subject " + std::to_string(first);
        m.text = "Text " + std::to_string(first + uint32_t(i));
        v.push_back(m);
    }
    return v;
}

int importInto(const std::string& home, const std::string& file) {
    std::string err;
    int rc = runCli({"--home", home, "import", "--type", "Test Fixture", "--into", "Lotus", file}, nullptr, &err);
    EXPECT_EQ(rc, 0) << err;
    return rc;
}

// The directory setting as the program wrote it before it kept directories
// relative to the installation: whole paths.
void writeWholePathSetting(const std::string& home) {
    RecordingInterface ui;
    Session s(ui);
    openInstallation(s, home);
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = 4;
    ASSERT_TRUE(s.Control.get(ControlFile::IDKEY));
    std::string area(257, ' ');
    std::string temp = home + "/TEMP";
    area.replace(0, temp.size(), temp);
    area.replace(100, home.size(), home);
    s.CTL.CTLGROUP = area;
    ASSERT_TRUE(s.Control.put());
    OP_CLOSE(s, OpClose, {8});
}

struct Checked {
    uint32_t count = 0;
    std::string fileDir, tempDir;
    std::vector<std::string> problems;
};

Checked check(const std::string& home) {
    RecordingInterface ui;
    Session s(ui);
    openInstallation(s, home);
    Checked c;
    c.fileDir = s.Mem.FileDir;
    c.tempDir = s.Mem.TempDir;
    c.problems = archiveProblems(s);
    for (auto& e : listCatalogue(s)) {
        kit::OpenDb open(s, e);
        uint32_t n = uint32_t(s.MsgNmbr.records());
        if (n != e.msgCount) c.problems.push_back(e.description + " shows " + std::to_string(e.msgCount));
        if (e.description == "Lotus") c.count = n;
        // The database's files lie in this installation.
        if (s.MsgNmbr.name().rfind(home + "/F", 0) != 0) c.problems.push_back("header file at " + s.MsgNmbr.name());
    }
    return c;
}

struct PathCase {
    bool wholePaths;  // the setting was written with whole paths
    bool move;        // moved rather than copied
};
void PrintTo(const PathCase& c, std::ostream* os) {
    *os << (c.move ? "moved" : "copied") << (c.wholePaths ? ", whole paths" : "");
}

class RelocatedInstallation : public ::testing::TestWithParam<PathCase> {};

TEST_P(RelocatedInstallation, ImportsIntoItselfOnly) {
    TempDir root, files;
    std::string a = root / "A", b = root / "B";
    writeFile(files / "one.fix", fixtureText(forumInput(100, 3)));
    writeFile(files / "two.fix", fixtureText(forumInput(200, 4)));
    ASSERT_EQ(runCli({"--home", a, "init"}), 0);
    if (GetParam().wholePaths) writeWholePathSetting(a);
    importInto(a, files / "one.fix");
    if (GetParam().move) std::filesystem::rename(a, b);
    else std::filesystem::copy(a, b, std::filesystem::copy_options::recursive);

    importInto(b, files / "two.fix");
    Checked cb = check(b);
    EXPECT_EQ(cb.fileDir, b);
    EXPECT_EQ(cb.tempDir, b + "/TEMP");
    EXPECT_EQ(cb.count, 7u);
    EXPECT_TRUE(cb.problems.empty()) << ::testing::PrintToString(cb.problems);
    if (!GetParam().move) {
        Checked ca = check(a);
        EXPECT_EQ(ca.count, 3u);
        EXPECT_TRUE(ca.problems.empty()) << ::testing::PrintToString(ca.problems);
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, RelocatedInstallation,
                         ::testing::Values(PathCase{false, false}, PathCase{false, true}, PathCase{true, false},
                                           PathCase{true, true}),
                         [](const auto& info) {
                             return std::string(info.param.move ? "Moved" : "Copied") +
                                    (info.param.wholePaths ? "WithWholePaths" : "");
                         });

TEST(LongHome, StoresInsideItAndADirectoryTooLongForItsFieldIsRefused) {
    TempDir root, files;
    std::string home = root.path() + "/";
    home += std::string(127 - home.size(), 'h');
    ASSERT_EQ(home.size(), 127u);
    writeFile(files / "one.fix", fixtureText(forumInput(100, 3)));
    ASSERT_EQ(runCli({"--home", home, "init"}), 0);
    importInto(home, files / "one.fix");
    Checked c = check(home);
    EXPECT_EQ(c.count, 3u);
    EXPECT_TRUE(c.problems.empty()) << ::testing::PrintToString(c.problems);
    EXPECT_TRUE(std::filesystem::is_directory(home + "/F1"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.path()), {}), 1);  // nothing beside it

    // A temporary directory elsewhere whose path is longer than its field.
    std::string elsewhere = files.path() + "/" + std::string(110, 't');
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0755), 0);
    RecordingInterface ui;
    {
        Session s(ui);
        openInstallation(s, home);
        std::string t = elsewhere;
        ASSERT_TRUE(AutoPath(s, 2, 17, t));
        EXPECT_FALSE(AutoPath(s, 4, 17, t));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_TRUE(contains(ui.messages[0].text, elsewhere + " is longer than 100 characters")) << ui.messages[0].text;
    }
    EXPECT_EQ(check(home).tempDir, home + "/TEMP");
}

TEST(SavedDirectories, AMissingTemporaryDirectoryIsResetAndAMissingDataDirectoryIsReported) {
    TempDir home, elsewhere;
    std::string temp = elsewhere / "temp", data = elsewhere / "data";
    ASSERT_EQ(::mkdir(temp.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
    {
        RecordingInterface ui;
        Session s(ui);
        openInstallation(s, home.path());
        std::string t = temp, d = data;
        ASSERT_TRUE(AutoPath(s, 2, 17, t));
        ASSERT_TRUE(AutoPath(s, 2, 18, d));
        ASSERT_TRUE(AutoPath(s, 4, 18, d));
    }
    Checked c = check(home.path());
    EXPECT_EQ(c.tempDir, temp);
    EXPECT_EQ(c.fileDir, data);

    std::filesystem::remove_all(temp);
    EXPECT_EQ(check(home.path()).tempDir, home / "TEMP");

    std::filesystem::remove_all(data);
    std::string out, err;
    EXPECT_NE(runCli({"--home", home.path(), "db", "list"}, &out, &err), 0);
    EXPECT_TRUE(contains(err, "The previously saved path to your data files is no longer valid: " + data)) << err;
    EXPECT_FALSE(std::filesystem::exists(data));  // never created on a guess
}

}  // namespace
}  // namespace quill::test

// The command-line tool's installation and catalogue listing.
#include <gtest/gtest.h>

#include "database/Common.h"
#include "database/Installation.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::runCli;
using quill::test::TempDir;

namespace {

TEST(CliInit, CreatesTheInstallationAndAnEmptyCatalogue) {
    TempDir dir;
    std::string out, err;
    ASSERT_EQ(runCli({"--home", dir.path(), "init"}, &out, &err), 0) << err;
    EXPECT_EQ(quill::test::readFile(dir / "CFG/IDX008.TPS").substr(0, 15), "SQLite format 3");
    ASSERT_EQ(runCli({"--home", dir.path(), "db", "list", "--json"}, &out, &err), 0) << err;
    EXPECT_EQ(out, "");
}

TEST(CliInit, ListsTheCatalogueAsJsonInUtf8) {
    TempDir dir;
    {
        SilentInterface ui;
        Session s(ui);
        openInstallation(s, dir.path());
        OP_CLOSE(s, OpOpenShared, {2});
        s.Forums.clearBuffer();
        s.FOR.ID = 250003;
        s.FOR.TYPE = TypeNewsgroup;
        s.FOR.DIRNUMBER = 4;
        s.FOR.MSGCOUNT = 12;
        s.FOR.DESCRIPTION = "de.rec.k\xFC" "che \"test\"";
        ASSERT_TRUE(s.Forums.add().ok());
        OP_CLOSE(s, OpClose, {2});
    }
    std::string out, err;
    ASSERT_EQ(runCli({"--home", dir.path(), "db", "list", "--json"}, &out, &err), 0) << err;
    EXPECT_EQ(out,
              "{\"id\":250003,\"type\":\"news\",\"description\":\"de.rec.k\xC3\xBC" "che \\\"test\\\"\",\"dirnumber\":4,"
              "\"msgcount\":12,\"status\":0,\"active\":false}\n");
}

TEST(CliInit, BadUsageExitsNonZeroWithOneLineCause) {
    TempDir dir;
    std::string out, err;
    EXPECT_NE(runCli({"--home", dir.path(), "frobnicate"}, &out, &err), 0);
    EXPECT_NE(err.find("unknown verb"), std::string::npos);
    EXPECT_EQ(runCli({"--help"}, &out, &err), 0);
    EXPECT_NE(out.find("db list"), std::string::npos);
    EXPECT_EQ(runCli({"db", "--help"}, &out, &err), 0);
}

TEST(CliInit, FatalStopReachesTheUserAsAFailure) {
    TempDir dir;
    std::string out, err;
    ASSERT_EQ(runCli({"--home", dir.path(), "init"}, &out, &err), 0);
    // A catalogue that is not a record file at all cannot be opened.
    quill::test::writeFile(dir / "CFG/IDX002.TPS", std::string(100000, 'q'));
    EXPECT_NE(runCli({"--home", dir.path(), "db", "list"}, &out, &err), 0);
    EXPECT_NE(err.find("as the file definition is incorrect"), std::string::npos) << err;
}

}  // namespace

// The db verb of the command-line tool, run as a program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

class DbVerb : public ::testing::Test {
protected:
    test::TempDir home;
    std::string out, err;

    int run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", home.path(), "db"});
        return test::runCli(args, &out, &err);
    }
    // The installation as a program opening it afterwards sees it.
    std::unique_ptr<Session> open(test::RecordingInterface& ui) {
        auto s = std::make_unique<Session>(ui);
        openInstallation(*s, home.path());
        return s;
    }
    static bool contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(DbVerb, AddForumCreatesTheDatabaseThatListShows) {
    ASSERT_EQ(run({"add-forum", "Sailing Forum"}), 0) << err;
    EXPECT_TRUE(contains(out, "forum  Sailing Forum  F1")) << out;
    ASSERT_EQ(run({"list"}), 0) << err;
    EXPECT_TRUE(contains(out, "forum  Sailing Forum  F1  0")) << out;
}

TEST_F(DbVerb, DuplicateNameExitsNonZeroWithTheSystemsMessage) {
    ASSERT_EQ(run({"add-forum", "Sailing Forum"}), 0) << err;
    EXPECT_EQ(run({"add-forum", "SAILING FORUM"}), 1);
    EXPECT_TRUE(contains(err, "Record add error!")) << err;
    EXPECT_TRUE(contains(err, "A record with identical key already exists!")) << err;
    EXPECT_EQ(run({"add-mail", "sailing forum", "me@example.com"}), 1);
    EXPECT_TRUE(contains(err, "The last transaction is rolled back.")) << err;
}

TEST_F(DbVerb, AddMailStoresOwnerAndAlternativeAddresses) {
    ASSERT_EQ(run({"add-mail", "Jane Doe", "jane@example.com", "--alt", "jd@work.example", "--alt=70000,123"}), 0)
        << err;
    EXPECT_TRUE(contains(out, "mail  Jane Doe  F1")) << out;
    test::RecordingInterface ui;
    auto s = open(ui);
    uint32_t id = findDatabaseByName(*s, "Jane Doe");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(s->FOR.MAILADDRESS.str(), "jane@example.com");
    EXPECT_EQ(altAddressesOf(s->FOR), (std::vector<std::string>{"jd@work.example", "70000,123"}));
    EXPECT_NE(uint32_t(s->FOR.PERSONID), 0u);
}

TEST_F(DbVerb, AddMailRefusesMissingAddressAndTooManyAlternatives) {
    EXPECT_EQ(run({"add-mail", "Jane Doe"}), 2);
    EXPECT_EQ(run({"add-mail", "Jane Doe", " "}), 2);
    std::vector<std::string> args = {"add-mail", "Jane Doe", "jane@example.com"};
    for (int i = 0; i < 11; ++i) {
        args.push_back("--alt");
        args.push_back("a" + std::to_string(i) + "@example.com");
    }
    EXPECT_EQ(run(args), 2);
    ASSERT_EQ(run({"list"}), 0);
    EXPECT_TRUE(contains(out, "No databases.")) << out;
}

TEST_F(DbVerb, SetAltReplacesTheAlternativeAddresses) {
    ASSERT_EQ(run({"add-mail", "Jane Doe", "jane@example.com", "--alt", "old@example.com"}), 0) << err;
    ASSERT_EQ(run({"set-alt", "jane doe", "new1@example.com", "new2@example.com"}), 0) << err;
    {
        test::RecordingInterface ui;
        auto s = open(ui);
        ASSERT_NE(findDatabaseByName(*s, "Jane Doe"), 0u);
        EXPECT_EQ(altAddressesOf(s->FOR), (std::vector<std::string>{"new1@example.com", "new2@example.com"}));
    }
    // A unique beginning of the name will do; no addresses removes them.
    ASSERT_EQ(run({"set-alt", "Jane"}), 0) << err;
    test::RecordingInterface ui;
    auto s = open(ui);
    ASSERT_NE(findDatabaseByName(*s, "Jane Doe"), 0u);
    EXPECT_TRUE(altAddressesOf(s->FOR).empty());
}

TEST_F(DbVerb, SetAltRefusesAForumDatabase) {
    ASSERT_EQ(run({"add-forum", "Sailing Forum"}), 0) << err;
    EXPECT_EQ(run({"set-alt", "Sailing Forum", "a@example.com"}), 2);
    EXPECT_TRUE(contains(err, "not a mail database")) << err;
    EXPECT_EQ(run({"set-alt", "Nothing", "a@example.com"}), 1);
}

TEST_F(DbVerb, SelectUniqueMatchBecomesTheActiveDatabase) {
    ASSERT_EQ(run({"add-forum", "CompuServe Forum"}), 0) << err;
    ASSERT_EQ(run({"add-forum", "Computer News"}), 0) << err;
    ASSERT_EQ(run({"select", "computer"}), 0) << err;
    EXPECT_TRUE(contains(out, "* ")) << out;
    EXPECT_TRUE(contains(out, "Computer News")) << out;

    ASSERT_EQ(run({"list"}), 0);
    EXPECT_TRUE(contains(out, "  forum  CompuServe Forum")) << out;
    EXPECT_TRUE(contains(out, "forum  Computer News  F2")) << out;
    std::size_t star = out.find("* ");
    ASSERT_NE(star, std::string::npos);
    EXPECT_LT(star, out.find("Computer News"));
    EXPECT_GT(star, out.find("CompuServe Forum"));

    ASSERT_EQ(run({"list", "--json"}), 0);
    EXPECT_TRUE(contains(out, "\"description\":\"Computer News\",\"dirnumber\":2,\"msgcount\":0,\"status\":0,\"active\":true"))
        << out;
    EXPECT_TRUE(contains(out, "\"description\":\"CompuServe Forum\",\"dirnumber\":1,\"msgcount\":0,\"status\":0,\"active\":false"))
        << out;
}

TEST_F(DbVerb, SelectWithSeveralOrNoMatchesListsCandidatesAndKeepsTheActiveOne) {
    ASSERT_EQ(run({"add-forum", "CompuServe Forum"}), 0) << err;
    ASSERT_EQ(run({"add-forum", "Computer News"}), 0) << err;
    ASSERT_EQ(run({"add-forum", "Zeta"}), 0) << err;
    ASSERT_EQ(run({"select", "zeta"}), 0) << err;

    EXPECT_EQ(run({"select", "Comp"}), 1);
    EXPECT_TRUE(contains(out, "CompuServe Forum")) << out;
    EXPECT_TRUE(contains(out, "Computer News")) << out;
    EXPECT_FALSE(contains(out, "Zeta")) << out;
    EXPECT_TRUE(contains(err, "several databases match")) << err;

    EXPECT_EQ(run({"select", "Q"}), 1);
    EXPECT_TRUE(contains(out, "Zeta")) << out;
    EXPECT_TRUE(contains(err, "no database matches")) << err;

    test::RecordingInterface ui;
    auto s = open(ui);
    EXPECT_TRUE(restoreActiveDatabase(*s));
    EXPECT_EQ(s->Mem.Description, "Zeta");
}

TEST_F(DbVerb, SelectByTypeChoosesAmongThatKindOnly) {
    ASSERT_EQ(run({"add-forum", "Mailing Forum"}), 0) << err;
    ASSERT_EQ(run({"add-mail", "Mail Home", "me@example.com"}), 0) << err;
    EXPECT_EQ(run({"select", "mail"}), 1);
    ASSERT_EQ(run({"select", "mail", "--type", "mail"}), 0) << err;
    EXPECT_TRUE(contains(out, "mail  Mail Home")) << out;
    EXPECT_EQ(run({"select", "mail", "--type", "news"}), 1);
    EXPECT_EQ(run({"select", "mail", "--type", "bogus"}), 2);
}

TEST_F(DbVerb, NamesTravelAsUtf8AndAreStoredInTheArchiveCharacterSet) {
    ASSERT_EQ(run({"add-forum", "Caf\xC3\xA9 Forum"}), 0) << err;
    EXPECT_TRUE(contains(out, "Caf\xC3\xA9 Forum")) << out;
    test::RecordingInterface ui;
    auto s = open(ui);
    EXPECT_NE(findDatabaseByName(*s, "CAF\xC9 FORUM"), 0u);
    ASSERT_EQ(run({"select", "caf\xC3\xA9"}), 0) << err;
}

TEST_F(DbVerb, UsageMistakesExitWithStatusTwo) {
    EXPECT_EQ(run({"add-forum"}), 2);
    EXPECT_EQ(run({"add-forum", "A", "B"}), 2);
    EXPECT_EQ(run({"add-forum", "--bogus", "A"}), 2);
    EXPECT_EQ(run({"add-forum", std::string(101, 'n')}), 2);
    EXPECT_EQ(run({"select"}), 2);
    EXPECT_EQ(run({"frobnicate"}), 2);
}

}  // namespace
}  // namespace quill

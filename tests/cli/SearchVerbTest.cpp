// The index, search, topics and keywords verbs of the command-line tool, run
// as a program on a mail database.
#include <gtest/gtest.h>

#include "import/ImportTestKit.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

class SearchVerb : public CliTest {
protected:
    static Fx mail(int day, const std::string& from, const std::string& text) {
        Fx m;
        m.kind = "mail";
        m.date = "2024-03-0" + std::to_string(day) + " 09:00:00";
        m.from = from;
        m.to = "Owner <owner@example.com>";
        m.subject = "Note " + std::to_string(day);
        m.text = text;
        return m;
    }
    // Imports the mails into Owner through a fixture file of the given name.
    void importMails(const std::string& name, const std::vector<Fx>& msgs) {
        writeFile(files / name, fixtureText(msgs));
        ASSERT_EQ(cli({"import", "--type", "Test Fixture", "--mailbox", "Owner", files / name}), 0) << err;
    }
    void SetUp() override {
        ASSERT_EQ(cli({"init"}), 0) << err;
        ASSERT_EQ(cli({"db", "add-mail", "Owner", "owner@example.com"}), 0) << err;
        const char* bob = "Bob Ray <bob@example.org>";
        importMails("m.fix", {mail(1, bob, "The quarterly budget is attached."),
                              mail(2, "Ann Lee <ann@example.org>", "Lunch on Friday?"),
                              mail(3, bob, "Budget review moved to Friday.")});
    }
};

TEST_F(SearchVerb, IndexThenSearchPrintsOneHitPerLineNewestNumberFirst) {
    ASSERT_EQ(cli({"index", "Owner", "--full"}), 0) << err;
    EXPECT_NE(out.find("indexed 3 of 3 messages"), std::string::npos) << out;
    ASSERT_EQ(cli({"search", "Owner", "budget"}), 0) << err;
    ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_NE(out.find("\t2024-03-03\tBob Ray <bob@example.org>\tNote 3\n"), std::string::npos) << out;
    EXPECT_LT(out.find("Note 3"), out.find("Note 1"));

    ASSERT_EQ(cli({"search", "Owner", "friday", "-budget", "--json"}), 0) << err;
    EXPECT_NE(out.find("\"from\":\"Ann Lee <ann@example.org>\",\"subject\":\"Note 2\"}"), std::string::npos) << out;
    EXPECT_EQ(cli({"search", "Owner", "nowhere"}), 1);
    EXPECT_EQ(cli({"search", "Owner", "\"unclosed"}), 2);
    EXPECT_NE(err.find("not closed"), std::string::npos);

    ASSERT_EQ(cli({"index", "Owner", "--recount"}), 0) << err;
    EXPECT_NE(out.find("up to date"), std::string::npos) << out;
}

TEST_F(SearchVerb, SearchOnAnIndexOutOfDateAfterAnImportSaysSoButStillLists) {
    ASSERT_EQ(cli({"index", "Owner", "--full"}), 0) << err;
    ASSERT_EQ(cli({"search", "Owner", "budget"}), 0) << err;
    EXPECT_EQ(err.find("out of date"), std::string::npos) << err;

    importMails("more.fix", {mail(9, "Ann Lee <ann@example.org>", "The budget again.")});
    ASSERT_EQ(cli({"search", "Owner", "budget"}), 0) << err;
    EXPECT_NE(err.find("the word index is out of date"), std::string::npos) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;  // the new mail is not indexed yet

    ASSERT_EQ(cli({"index", "Owner", "--partial"}), 0) << err;
    ASSERT_EQ(cli({"search", "Owner", "budget"}), 0) << err;
    EXPECT_EQ(err.find("out of date"), std::string::npos) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
}

TEST_F(SearchVerb, TopicsAttachToTheResultSetAndKeyWordsLinkMatchingMessages) {
    ASSERT_EQ(cli({"index", "Owner"}), 0) << err;
    ASSERT_EQ(cli({"topics", "Owner", "add", "Money"}), 0) << err;
    EXPECT_EQ(cli({"topics", "Owner", "add", "MONEY"}), 1);
    ASSERT_EQ(cli({"search", "Owner", "budget"}), 0) << err;
    ASSERT_EQ(cli({"topics", "Owner", "attach", "Money", "--result"}), 0) << err;
    ASSERT_EQ(cli({"topics", "Owner"}), 0) << err;
    EXPECT_EQ(out, "Money\t2\n");
    ASSERT_EQ(cli({"topics", "Owner", "rename", "Money", "Finance"}), 0) << err;
    ASSERT_EQ(cli({"topics", "Owner", "list", "Finance"}), 0) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    ASSERT_EQ(cli({"topics", "Owner", "delete", "Finance"}), 0) << err;
    ASSERT_EQ(cli({"topics", "Owner"}), 0) << err;
    EXPECT_EQ(out, "");

    ASSERT_EQ(cli({"keywords", "Owner", "add", "Friday", "--case", "--word"}), 0) << err;
    ASSERT_EQ(cli({"keywords", "Owner", "run"}), 0) << err;
    EXPECT_EQ(out, "links added 2\n");
    ASSERT_EQ(cli({"keywords", "Owner"}), 0) << err;
    EXPECT_EQ(out.rfind("Friday\t2\tYes\tYes\t", 0), 0u) << out;
}

}  // namespace
}  // namespace quill::test

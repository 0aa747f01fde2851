#include <gtest/gtest.h>

#include "import/ImportChoices.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

using namespace quill;

namespace {

struct ChoicesFixture : ::testing::Test {
    test::Installation inst;
    Session& s = inst.s();
    void SetUp() override {
        ASSERT_TRUE(addForumDatabase(s, "Gardening").ok());
        ASSERT_TRUE(addMailDatabase(s, "Owner Mail", "owner@example.com", {}).ok());
    }
    static ImportChoices files(std::vector<std::string> names) {
        ImportChoices c;
        c.type = "Eudora";
        c.method = SelectFiles;
        c.files = std::move(names);
        return c;
    }
};

TEST_F(ChoicesFixture, SelectedFilesOfOneDirectoryBecomeItsPathAndTheirNames) {
    DefinitionOutcome one = buildImportDefinition(s, files({"/in/a.mbx", "/in/b.mbx"}));
    ASSERT_TRUE(one.ok()) << one.error;
    EXPECT_EQ(one.def.impPath, "/in");
    EXPECT_EQ(one.def.masks, "a.mbx;b.mbx");
    EXPECT_EQ(int(one.def.fileType), 6);
    EXPECT_EQ(one.def.typeName, "Eudora");

    DefinitionOutcome two = buildImportDefinition(s, files({"/in/a.mbx", "/out/b.mbx"}));
    ASSERT_TRUE(two.ok()) << two.error;
    EXPECT_EQ(two.def.impPath, "");
    EXPECT_EQ(two.def.masks, "/in/a.mbx;/out/b.mbx");
}

TEST_F(ChoicesFixture, ANewForumNameIsLeftToTheRunAndAnExistingOneGoesByIdentifier) {
    ImportChoices c = files({"/in/a.mbx"});
    c.forumDatabase = "Roses";
    DefinitionOutcome fresh = buildImportDefinition(s, c);
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ(fresh.def.database, 0u);
    EXPECT_EQ(fresh.def.forumName, "Roses");
    c.forumDatabase = "GARDENING";
    DefinitionOutcome known = buildImportDefinition(s, c);
    ASSERT_TRUE(known.ok());
    EXPECT_EQ(known.def.database, findDatabaseByName(s, "Gardening"));
    EXPECT_EQ(known.def.forumName, "");
}

TEST_F(ChoicesFixture, ChoicesThatMakeNoDefinitionAreRefusedWithAReason) {
    struct Case {
        const char* name;
        std::function<void(ImportChoices&)> change;
    } cases[] = {
        {"unknown type", [](ImportChoices& c) { c.type = "No Such Reader"; }},
        {"no directory", [](ImportChoices& c) { c.method = SelectDirectory; }},
        {"no files", [](ImportChoices& c) { c.files.clear(); }},
        {"';' in a file name", [](ImportChoices& c) { c.files = {"/in/a;b.mbx"}; }},
        {"mail database as forum", [](ImportChoices& c) { c.forumDatabase = "Owner Mail"; }},
        {"forum database as mailbox", [](ImportChoices& c) { c.mailbox = "Gardening"; }},
        {"unknown mailbox", [](ImportChoices& c) { c.mailbox = "Nobody Mail"; }},
        {"topic without mailbox", [](ImportChoices& c) { c.mailTopic = 7; }},
        {"topic the mailbox lacks", [](ImportChoices& c) { c.mailbox = "Owner Mail"; c.mailTopic = 7; }},
        {"saved with a new forum", [](ImportChoices& c) { c.forumDatabase = "Roses"; c.save = true; }},
    };
    for (const Case& k : cases) {
        ImportChoices c = files({"/in/a.mbx"});
        k.change(c);
        DefinitionOutcome out = buildImportDefinition(s, c);
        EXPECT_FALSE(out.ok()) << k.name;
        EXPECT_FALSE(out.error.empty()) << k.name;
    }
    EXPECT_TRUE(inst.ui.messages.empty()) << "nothing is shown: the caller tells the user";
}

}  // namespace

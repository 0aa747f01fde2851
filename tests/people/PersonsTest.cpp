#include "people/Persons.h"

#include <gtest/gtest.h>

#include <string>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

// A fresh installation with one forum database selected and the files of
// the person registry open.
class PersonRegistry : public ::testing::Test {
protected:
    test::Installation inst;
    Session& s = inst.s();

    void SetUp() override {
        DbResult r = addForumDatabase(s, "Registry");
        ASSERT_TRUE(r.ok());
        ASSERT_TRUE(selectDatabase(s, r.id));
        OP_CLOSE(s, OpOpenShared, {PersonFile::Number, PLINKFile::Number, ControlFile::Number});
        inst.ui.clear();
    }
    void TearDown() override {
        OP_CLOSE(s, OpClose, {PersonFile::Number, PLINKFile::Number, ControlFile::Number});
    }

    bool begin() { return beginWrites(s, {&s.Person, &s.PLINK, &s.Control}); }

    // AddPers in its own committed transaction; the person's identifier, 0 on failure.
    uint32_t addPerson(const std::string& address, const std::string& name) {
        if (!begin()) return 0;
        if (AddPers(s, address, name)) return 0;
        if (!s.store.commit()) return 0;
        return s.PER.PERSONID;
    }

    bool personWithString(const std::string& ident) {
        s.Person.clearBuffer();
        s.PER.PERSONSTRING = ident;
        return bool(s.Person.get(PersonFile::STRINGKEY));
    }

    bool aliasExists(const std::string& ident) {
        s.PLINK.clearBuffer();
        s.PLI.PERSONSTRING = ident;
        return bool(s.PLINK.get(PLINKFile::STRINGKEY));
    }

    void addAlias(const std::string& ident, uint32_t personId) {
        s.PLINK.clearBuffer();
        s.PLI.PERSONSTRING = ident;
        s.PLI.PERSONID = personId;
        ASSERT_TRUE(s.PLINK.add());
    }
};

TEST(PersonString, NameBlankAddressInUpperCase) {
    EXPECT_EQ(personString("John Smith  ", "70000,123 "), "JOHN SMITH 70000,123");
    EXPECT_EQ(personString("", "jsmith@host.com"), " JSMITH@HOST.COM");
    EXPECT_EQ(personString("J\xE9r\xF4me", "a@b"), "J\xC9R\xD4ME A@B");
}

TEST(PersonString, ClippedToTheFieldWidth) {
    std::string ident = personString(std::string(60, 'n'), std::string(60, 'a'));
    EXPECT_EQ(ident.size(), personStringWidth);
    EXPECT_EQ(ident, std::string(60, 'N') + " " + std::string(39, 'A'));
}

TEST_F(PersonRegistry, NewPersonTakesNamePartsAndAddressAsGiven) {
    uint32_t id = addPerson("jsmith@Host.com", "John Q. Smith III");
    ASSERT_NE(id, 0u);
    EXPECT_GE(id, kIdentifierFloor);
    EXPECT_EQ(s.PER.PERSONSTRING.str(), "JOHN Q. SMITH III JSMITH@HOST.COM");
    EXPECT_EQ(s.PER.ADDRESS.str(), "jsmith@Host.com");
    EXPECT_EQ(s.PER.LASTNAME.str(), "Smith III");
    EXPECT_EQ(s.PER.FIRSTNAME.str(), "John Q.");
    EXPECT_EQ(uint32_t(s.PER.FROMCOUNT), 0u);
    EXPECT_EQ(uint32_t(s.PER.TOCOUNT), 0u);
    EXPECT_EQ(int32_t(s.PER.LASTDATE), 0);
    EXPECT_TRUE(inst.ui.messages.empty());
}

TEST_F(PersonRegistry, NamesDifferingOnlyInCaseAreOnePerson) {
    uint32_t a = addPerson("70000,123", "John Smith");
    uint32_t b = addPerson("70000,123", "JOHN SMITH");
    ASSERT_NE(a, 0u);
    EXPECT_EQ(a, b);
    EXPECT_EQ(s.Person.records(), 1);
}

TEST_F(PersonRegistry, PeriodFormAddressIsAnotherPerson) {
    uint32_t a = addPerson("70000,123", "John Smith");
    uint32_t b = addPerson("70000.123", "John Smith");
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(s.Person.records(), 2);
}

TEST_F(PersonRegistry, EmptyNameGivesBlankLedIdentityAndNoNames) {
    ASSERT_NE(addPerson("70000,123", ""), 0u);
    EXPECT_EQ(s.PER.PERSONSTRING.str(), " 70000,123");
    EXPECT_TRUE(s.PER.LASTNAME.empty());
    EXPECT_TRUE(s.PER.FIRSTNAME.empty());
    EXPECT_TRUE(personWithString(" 70000,123"));
}

TEST_F(PersonRegistry, LongIdentityIsFoundAgain) {
    std::string name(60, 'x'), address(60, 'y');
    uint32_t a = addPerson(address, name);
    uint32_t b = addPerson(address, name);
    ASSERT_NE(a, 0u);
    EXPECT_EQ(a, b);
}

TEST_F(PersonRegistry, AliasOfMergedPersonGivesTheSurvivor) {
    uint32_t survivor = addPerson("70000,123", "John Smith");
    ASSERT_NE(survivor, 0u);
    addAlias(personString("Johnny Smith", "70000,124"), survivor);

    ASSERT_TRUE(begin());
    ASSERT_FALSE(AddPers(s, "70000,124", "Johnny Smith"));
    ASSERT_TRUE(s.store.commit());
    EXPECT_EQ(uint32_t(s.PER.PERSONID), survivor);
    EXPECT_EQ(s.PER.PERSONSTRING.str(), "JOHN SMITH 70000,123");
    EXPECT_EQ(s.Person.records(), 1);
    EXPECT_TRUE(aliasExists(personString("Johnny Smith", "70000,124")));
}

TEST_F(PersonRegistry, DanglingAliasIsReplacedByANewPerson) {
    const std::string ident = personString("Johnny Smith", "70000,124");
    addAlias(ident, 999);  // a person that was deleted after the merge

    uint32_t id = addPerson("70000,124", "Johnny Smith");
    ASSERT_NE(id, 0u);
    EXPECT_NE(id, 999u);
    EXPECT_EQ(s.PER.PERSONSTRING.str(), ident);
    EXPECT_FALSE(aliasExists(ident));
    EXPECT_TRUE(personWithString(ident));
    EXPECT_TRUE(inst.ui.messages.empty());
}

TEST_F(PersonRegistry, RolledBackAddLeavesNeitherPersonNorIdentifierUsed) {
    ASSERT_TRUE(begin());
    ASSERT_FALSE(AddPers(s, "70000,123", "John Smith"));
    const uint32_t id = s.PER.PERSONID;
    ASSERT_TRUE(s.store.rollback());

    EXPECT_FALSE(personWithString(personString("John Smith", "70000,123")));
    EXPECT_EQ(s.Person.records(), 0);
    EXPECT_EQ(NextNr(s), id);
}

TEST_F(PersonRegistry, NoIdentifierIsReportedAndRollsBack) {
    // The generator's file is closed, so no identifier can be drawn.
    OP_CLOSE(s, OpClose, {ControlFile::Number});
    ASSERT_TRUE(beginWrites(s, {&s.Person, &s.PLINK}));
    EXPECT_TRUE(AddPers(s, "70000,123", "John Smith"));
    EXPECT_FALSE(s.store.inTransaction());
    ASSERT_FALSE(inst.ui.messages.empty());
    EXPECT_EQ(inst.ui.messages.back().text,
              "A new person ID could not be generated \r\nThe last transaction is rolled back.");
    EXPECT_EQ(inst.ui.messages.back().caption, s.Person.name());
    EXPECT_EQ(s.Person.records(), 0);
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number});
}

TEST_F(PersonRegistry, NoIdentifierWhileUnattendedFailsSilently) {
    OP_CLOSE(s, OpClose, {ControlFile::Number});
    s.Mem.DoTask = 2;
    ASSERT_TRUE(beginWrites(s, {&s.Person, &s.PLINK}));
    EXPECT_TRUE(AddPers(s, "70000,123", "John Smith"));
    EXPECT_FALSE(s.store.inTransaction());
    EXPECT_TRUE(inst.ui.messages.empty());
    s.Mem.DoTask = 0;
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number});
}

// --- mail counts -------------------------------------------------------------

class MailCounts : public PersonRegistry {
protected:
    uint32_t nextMail = 1000;

    void SetUp() override {
        PersonRegistry::SetUp();
        OP_CLOSE(s, OpOpenShared, {MailFile::Number});
    }
    void TearDown() override {
        OP_CLOSE(s, OpClose, {MailFile::Number});
        PersonRegistry::TearDown();
    }
    void addMail(uint32_t fromId, const std::string& fromAlpha, uint32_t toId, const std::string& toAlpha,
                 int32_t date) {
        s.Mail.clearBuffer();
        s.MAI.MAILID = nextMail++;
        s.MAI.FROMID = fromId;
        s.MAI.FROMALPHA = fromAlpha;
        s.MAI.TOID = toId;
        s.MAI.TOALPHA = toAlpha;
        s.MAI.DATE = date;
        s.MAI.TIME = 100;
        ASSERT_TRUE(s.Mail.add());
    }
    // The person in the buffer, as the counting runs hold it.
    void holdPerson(uint32_t id, const std::string& lastName, uint32_t fromCount, uint32_t toCount) {
        s.Person.clearBuffer();
        s.PER.PERSONID = id;
        s.PER.LASTNAME = lastName;
        s.PER.FROMCOUNT = fromCount;
        s.PER.TOCOUNT = toCount;
    }
};

TEST_F(MailCounts, ModeZeroForPersonWithoutMailSaysRemovableAndChangesNothing) {
    addMail(7, "Other", 8, "Another", 1000);
    holdPerson(5, "Smith", 4, 2);
    EXPECT_EQ(CFromToMail(s, 0), PersonHasNoMail);
    EXPECT_EQ(uint32_t(s.PER.FROMCOUNT), 4u);
    EXPECT_EQ(uint32_t(s.PER.TOCOUNT), 2u);
}

TEST_F(MailCounts, ModeOneForPersonWithoutMailZeroesTheCounts) {
    holdPerson(5, "Smith", 4, 2);
    EXPECT_EQ(CFromToMail(s, 1), MailCountsChanged);
    EXPECT_EQ(uint32_t(s.PER.FROMCOUNT), 0u);
    EXPECT_EQ(uint32_t(s.PER.TOCOUNT), 0u);
}

TEST_F(MailCounts, OtherModesForPersonWithoutMailReportNothing) {
    holdPerson(5, "Smith", 4, 2);
    EXPECT_EQ(CFromToMail(s, 2), MailCountsUnchanged);
    EXPECT_EQ(uint32_t(s.PER.FROMCOUNT), 4u);
}

TEST_F(MailCounts, CountsSentAndReceivedMailOfThisPersonOnly) {
    // Smith (5) sends two mails and receives one; Smith (6), a namesake,
    // and a person whose name shares the first ten letters do not count.
    addMail(5, "Smith", 9, "Jones", 1000);
    addMail(5, "Smith", 9, "Jones", 2000);
    addMail(9, "Jones", 5, "Smith", 1500);
    addMail(6, "Smith", 5, "Smithersso", 1500);
    addMail(6, "Smith", 9, "Jones", 1500);
    addMail(4, "Smithereen", 9, "Jones", 1500);
    holdPerson(5, "Smith", 0, 0);
    EXPECT_EQ(CFromToMail(s, 0), MailCountsChanged);
    EXPECT_EQ(uint32_t(s.PER.FROMCOUNT), 2u);
    EXPECT_EQ(uint32_t(s.PER.TOCOUNT), 1u);
    // Counted again, nothing is to be written.
    EXPECT_EQ(CFromToMail(s, 1), MailCountsUnchanged);
}

TEST_F(MailCounts, LongLastNameIsMatchedOnItsFirstTenCharacters) {
    addMail(5, "Vanderbilt", 9, "Jones", 1000);
    holdPerson(5, "Vanderbilt-Smith", 0, 0);
    EXPECT_EQ(CFromToMail(s, 0), MailCountsChanged);
    EXPECT_EQ(uint32_t(s.PER.FROMCOUNT), 1u);
    EXPECT_EQ(uint32_t(s.PER.TOCOUNT), 0u);
}

// --- stored-text comparison ------------------------------------------------

class StoredTexts : public PersonRegistry {
protected:
    void SetUp() override {
        PersonRegistry::SetUp();
        OP_CLOSE(s, OpOpenShared, {MsgTextFile::Number});
        addText(1, "Hello world, this is the text.\r\n");
        addText(2, "Hello world, this is the text.\r\nWith a signature.");
        addText(3, "Something else entirely.");
    }
    void TearDown() override {
        OP_CLOSE(s, OpClose, {MsgTextFile::Number});
        PersonRegistry::TearDown();
    }
    void addText(uint32_t id, const std::string& text) {
        s.MsgText.clearBuffer();
        s.TXT.MSGNUMBER = id;
        s.MsgText.memo = text;
        ASSERT_TRUE(s.MsgText.add());
    }
};

TEST_F(StoredTexts, ModeOneComparesWithTheStagedText) {
    s.NewHR.memo = "Hello world, this is the text.\r\n   ";
    EXPECT_TRUE(DupString(s, 1, 1, 0));
    s.NewHR.memo = "Hello world, this is another text.";
    EXPECT_FALSE(DupString(s, 1, 1, 0));
}

TEST_F(StoredTexts, ModeTwoComparesTwoStoredTexts) {
    EXPECT_TRUE(DupString(s, 2, 1, 2));   // a prefix, 17 characters longer
    EXPECT_TRUE(DupString(s, 2, 2, 1));
    EXPECT_FALSE(DupString(s, 2, 1, 3));
}

TEST_F(StoredTexts, MissingRecordOrUnknownModeIsNoDuplicate) {
    s.NewHR.memo = "";
    EXPECT_FALSE(DupString(s, 1, 77, 0));
    EXPECT_FALSE(DupString(s, 2, 1, 77));
    EXPECT_FALSE(DupString(s, 2, 77, 1));
    EXPECT_FALSE(DupString(s, 3, 1, 1));
}

}  // namespace
}  // namespace quill

#include "people/Databases.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "database/Preferences.h"
#include "people/Persons.h"
#include "people/Threads.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

bool isDirectory(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const char* const kDuplicate = "Record add error!\r\nA record with identical key already exists!";

class Catalogue : public ::testing::Test {
protected:
    test::Installation inst;
    Session& s = inst.s();

    // The catalogue record of id, read into the Forums buffer.
    bool readEntry(uint32_t id) {
        OP_CLOSE(s, OpOpenShared, {ForumsFile::Number});
        s.Forums.clearBuffer();
        s.FOR.ID = id;
        bool found = bool(s.Forums.get(ForumsFile::FORUMKEY));
        OP_CLOSE(s, OpClose, {ForumsFile::Number});
        return found;
    }
    // The ForumRef record of the database in directory F<dirNumber>.
    bool readRef(uint32_t dirNumber) {
        std::string saved = s.Mem.Dirnamn;
        s.Mem.Dirnamn = directoryName(dirNumber);
        OP_CLOSE(s, OpOpenShared, {ForumRefFile::Number});
        bool found = s.ForumRef.records() == 1;
        s.ForumRef.setPhysical();
        found = found && bool(s.ForumRef.next());
        OP_CLOSE(s, OpClose, {ForumRefFile::Number});
        s.Mem.Dirnamn = saved;
        return found;
    }
    std::size_t entries() { return listCatalogue(s).size(); }
    std::string dataDir(uint32_t dirNumber) { return s.Mem.FileDir + "/" + directoryName(dirNumber); }
};

// --- forum databases -----------------------------------------------------------

TEST_F(Catalogue, NewForumGetsItsEntryDirectoryAndReference) {
    DbResult r = addForumDatabase(s, "Sailing Forum");
    ASSERT_TRUE(r.ok());
    EXPECT_GE(r.id, kIdentifierFloor);
    EXPECT_EQ(r.dirNumber, 1u);
    ASSERT_TRUE(readEntry(r.id));
    EXPECT_EQ(s.FOR.DESCRIPTION.str(), "Sailing Forum");
    EXPECT_EQ(uint8_t(s.FOR.TYPE), TypeForum);
    EXPECT_EQ(uint32_t(s.FOR.DIRNUMBER), 1u);
    EXPECT_GT(int32_t(s.FOR.CREATED), 0);
    EXPECT_EQ(int32_t(s.FOR.WORDLISTINDEXNEEDSUPDATE), 1);
    EXPECT_EQ(uint8_t(s.FOR.INDEXTYPE), 1);
    EXPECT_EQ(uint32_t(s.FOR.MSGCOUNT), 0u);
    EXPECT_EQ(uint8_t(s.FOR.COUNTFLAG), 0);
    EXPECT_EQ(uint32_t(s.FOR.PERSONID), 0u);
    EXPECT_TRUE(isDirectory(dataDir(1)));
    ASSERT_TRUE(readRef(1));
    EXPECT_EQ(uint8_t(s.REF.TYPE), TypeForum);
    EXPECT_EQ(s.REF.DESCRIPTION.str(), "Sailing Forum");
    EXPECT_TRUE(inst.ui.messages.empty());
}

TEST_F(Catalogue, DirectoryNumbersFollowTheHighestWithoutReusingGaps) {
    DbResult a = addForumDatabase(s, "A");
    DbResult b = addForumDatabase(s, "B");
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(a.dirNumber, 1u);
    EXPECT_EQ(b.dirNumber, 2u);
    // Move B to F7: the next database goes to F8, not F3.
    OP_CLOSE(s, OpOpenShared, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.ID = b.id;
    ASSERT_TRUE(s.Forums.get(ForumsFile::FORUMKEY));
    s.FOR.DIRNUMBER = 7;
    ASSERT_TRUE(s.Forums.put());
    OP_CLOSE(s, OpClose, {ForumsFile::Number});
    DbResult c = addForumDatabase(s, "C");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.dirNumber, 8u);
}

TEST_F(Catalogue, ForumNameDifferingOnlyInCaseIsRefusedWithTheWriteMessage) {
    ASSERT_TRUE(addForumDatabase(s, "Sailing Forum").ok());
    DbResult r = addForumDatabase(s, "SAILING forum");
    EXPECT_EQ(r.status, DbStatus::Duplicate);
    EXPECT_EQ(r.storeError, DupKeyErr);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, kDuplicate);
    EXPECT_EQ(inst.ui.messages[0].caption, s.Forums.name());
    EXPECT_EQ(entries(), 1u);
    EXPECT_FALSE(isDirectory(dataDir(2)));
}

TEST_F(Catalogue, BlankForumNameIsRefused) {
    DbResult r = addForumDatabase(s, "   ");
    EXPECT_EQ(r.status, DbStatus::EmptyName);
    EXPECT_EQ(inst.ui.beeps, 1);
    EXPECT_EQ(entries(), 0u);
}

TEST_F(Catalogue, CreatingADatabaseLeavesTheSelectedOneAlone) {
    DbResult a = addForumDatabase(s, "Active");
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(selectDatabase(s, a.id));
    ASSERT_TRUE(addForumDatabase(s, "Other").ok());
    EXPECT_EQ(s.Mem.Dirnamn, "F1");
    EXPECT_EQ(s.Mem.ForumNumber, a.id);
}

// --- mail databases ----------------------------------------------------------

TEST_F(Catalogue, NewMailDatabaseOwnsAPersonInItsOwnDirectory) {
    DbResult r = addMailDatabase(s, "Jane Doe", "jane@example.com", {"", "jd@work.example", "  ", "70000,123"});
    ASSERT_TRUE(r.ok());
    ASSERT_TRUE(readEntry(r.id));
    EXPECT_EQ(uint8_t(s.FOR.TYPE), TypeMail);
    EXPECT_EQ(s.FOR.MAILADDRESS.str(), "jane@example.com");
    EXPECT_EQ(altAddressesOf(s.FOR), (std::vector<std::string>{"jd@work.example", "70000,123"}));
    EXPECT_TRUE(s.FOR.ALTADDRESS[2].empty());
    EXPECT_EQ(int32_t(s.FOR.WORDLISTINDEXNEEDSUPDATE), 1);
    EXPECT_EQ(uint8_t(s.FOR.INDEXTYPE), 1);
    const uint32_t owner = s.FOR.PERSONID;
    EXPECT_NE(owner, 0u);

    ASSERT_TRUE(selectDatabase(s, r.id));
    EXPECT_EQ(s.Mem.PersonID, owner);
    OP_CLOSE(s, OpOpenShared, {PersonFile::Number});
    s.Person.clearBuffer();
    s.PER.PERSONID = owner;
    ASSERT_TRUE(s.Person.get(PersonFile::PERSONKEY));
    EXPECT_EQ(s.PER.PERSONSTRING.str(), "JANE DOE JANE@EXAMPLE.COM");
    EXPECT_EQ(s.PER.LASTNAME.str(), "Doe");
    EXPECT_EQ(s.Person.records(), 1);
    OP_CLOSE(s, OpClose, {PersonFile::Number});

    ASSERT_TRUE(readRef(r.dirNumber));
    EXPECT_EQ(uint8_t(s.REF.TYPE), TypeMail);
    EXPECT_EQ(int32_t(s.REF.PERSONID), int32_t(owner));
    EXPECT_EQ(s.REF.MAILADDRESS.str(), "jane@example.com");
    EXPECT_EQ(s.REF.ALTADDRESS[1].str(), "70000,123");
}

TEST_F(Catalogue, DatabasesCreatedByProgramsAtOnceEachGetADirectoryOfTheirOwn) {
    // Several programs adding databases at the same moment must never share
    // a directory: a mail database's person files would then hold another
    // owner, and its reference record would be overwritten.
    constexpr int kPrograms = 3, kEach = 6;
    const std::string home = inst.dir.path();
    std::vector<std::unique_ptr<test::ChildProcess>> programs;
    for (int p = 0; p < kPrograms; ++p) {
        programs.push_back(std::make_unique<test::ChildProcess>([home, p] {
            SilentInterface ui;
            Session child(ui);
            openInstallation(child, home);
            for (int i = 0; i < kEach; ++i) {
                const std::string name = "Box " + std::to_string(p) + "-" + std::to_string(i);
                DbResult r = i % 3 == 2 ? addForumDatabase(child, name)
                                        : addMailDatabase(child, name, name + "@example.org", {});
                if (!r.ok()) return 10 + int(r.status);
            }
            return 0;
        }));
    }
    for (auto& p : programs) EXPECT_EQ(p->wait(), 0);

    std::vector<CatalogueEntry> all = listCatalogue(s);
    ASSERT_EQ(all.size(), std::size_t(kPrograms * kEach));
    std::set<uint32_t> dirs;
    for (const CatalogueEntry& e : all) {
        ASSERT_TRUE(readEntry(e.id));
        const uint32_t dir = s.FOR.DIRNUMBER;
        const uint8_t type = s.FOR.TYPE;
        const uint32_t owner = s.FOR.PERSONID;
        EXPECT_TRUE(dirs.insert(dir).second) << "directory " << dir << " given twice";
        ASSERT_TRUE(readRef(dir));
        EXPECT_EQ(uint8_t(s.REF.TYPE), type);
        if (type != TypeMail) continue;
        EXPECT_EQ(int32_t(s.REF.PERSONID), int32_t(owner));
        ASSERT_TRUE(selectDatabase(s, e.id));
        OP_CLOSE(s, OpOpenShared, {PersonFile::Number});
        EXPECT_EQ(s.Person.records(), 1) << "persons of directory " << dir;
        OP_CLOSE(s, OpClose, {PersonFile::Number});
    }
}

TEST_F(Catalogue, MailDatabaseNeedsNameAndDefaultAddress) {
    DbResult noAddress = addMailDatabase(s, "Jane Doe", "  ", {});
    EXPECT_EQ(noAddress.status, DbStatus::MissingAddress);
    DbResult noName = addMailDatabase(s, "", "jane@example.com", {});
    EXPECT_EQ(noName.status, DbStatus::EmptyName);
    EXPECT_EQ(inst.ui.beeps, 2);
    EXPECT_EQ(entries(), 0u);
    EXPECT_FALSE(isDirectory(dataDir(1)));
}

TEST_F(Catalogue, MoreThanTenAlternativeAddressesAreRefused) {
    std::vector<std::string> eleven;
    for (int i = 0; i < 11; ++i) eleven.push_back("a" + std::to_string(i) + "@example.com");
    EXPECT_EQ(addMailDatabase(s, "Jane", "jane@example.com", eleven).status, DbStatus::TooManyAddresses);
    eleven.pop_back();
    EXPECT_TRUE(addMailDatabase(s, "Jane", "jane@example.com", eleven).ok());
}

TEST_F(Catalogue, DuplicateMailDatabaseIsRolledBackWholly) {
    ASSERT_TRUE(addForumDatabase(s, "Jane Doe").ok());
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number});
    const uint32_t next = NextNr(s);
    OP_CLOSE(s, OpClose, {ControlFile::Number});

    DbResult r = addMailDatabase(s, "JANE DOE", "jane@example.com", {});
    EXPECT_EQ(r.status, DbStatus::Duplicate);
    ASSERT_EQ(inst.ui.messages.size(), 1u);
    EXPECT_EQ(inst.ui.messages[0].text, std::string(kDuplicate) + "\r\nThe last transaction is rolled back.");
    EXPECT_EQ(inst.ui.messages[0].caption, s.Forums.name());
    EXPECT_EQ(entries(), 1u);
    // Neither the owner person nor the identifiers survive the rollback, and
    // the directory made for the database goes with them.
    EXPECT_FALSE(isDirectory(dataDir(r.dirNumber)));
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number});
    EXPECT_EQ(NextNr(s), next + 1);
    OP_CLOSE(s, OpClose, {ControlFile::Number});
}

TEST_F(Catalogue, NewMailDatabaseIdentifierIsRememberedOnRequest) {
    DbResult quiet = addMailDatabase(s, "First", "first@example.com", {});
    ASSERT_TRUE(quiet.ok());
    EXPECT_EQ(konfigNumber(s, 19), 0);
    DbResult r = addMailDatabase(s, "Second", "second@example.com", {}, true);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(uint32_t(konfigNumber(s, 19)), r.id);
    test::RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    EXPECT_EQ(uint32_t(konfigNumber(*other, 19)), r.id);
}

TEST_F(Catalogue, MailDatabaseWhileAnotherDatabaseIsBrowsed) {
    // The selected database has its Person file open with a person in the
    // buffer; the new owner must land in the new directory, and the browse
    // must find its file, counter and buffer as it left them.
    DbResult active = addForumDatabase(s, "Active");
    ASSERT_TRUE(active.ok());
    ASSERT_TRUE(selectDatabase(s, active.id));
    OP_CLOSE(s, OpOpenShared, {PersonFile::Number, PLINKFile::Number, ControlFile::Number});
    OP_CLOSE(s, OpOpenShared, {PersonFile::Number});
    ASSERT_TRUE(beginWrites(s, {&s.Person, &s.PLINK, &s.Control}));
    ASSERT_FALSE(AddPers(s, "70000,1", "Browsed Person"));
    ASSERT_TRUE(s.store.commit());
    const std::string personFile = s.Person.name();

    DbResult mail = addMailDatabase(s, "Jane Doe", "jane@example.com", {});
    ASSERT_TRUE(mail.ok());
    EXPECT_EQ(s.Mem.Dirnamn, "F1");
    EXPECT_EQ(s.openCount(PersonFile::Number), 2);
    EXPECT_TRUE(s.Person.isOpen());
    EXPECT_EQ(s.Person.name(), personFile);
    EXPECT_EQ(s.PER.PERSONSTRING.str(), "BROWSED PERSON 70000,1");
    EXPECT_EQ(s.Person.records(), 1);
    OP_CLOSE(s, OpClose, {PersonFile::Number, PersonFile::Number, PLINKFile::Number, ControlFile::Number});

    ASSERT_TRUE(selectDatabase(s, mail.id));
    OP_CLOSE(s, OpOpenShared, {PersonFile::Number});
    EXPECT_EQ(s.Person.records(), 1);
    s.Person.clearBuffer();
    s.PER.PERSONID = s.Mem.PersonID;
    EXPECT_TRUE(s.Person.get(PersonFile::PERSONKEY));
    OP_CLOSE(s, OpClose, {PersonFile::Number});
}

TEST_F(Catalogue, AlternativeAddressesAreReplacedInEntryAndReference) {
    DbResult r = addMailDatabase(s, "Jane Doe", "jane@example.com", {"old1@example.com", "old2@example.com"});
    ASSERT_TRUE(r.ok());
    ASSERT_TRUE(setAltAddresses(s, r.id, {"new@example.com"}).ok());
    ASSERT_TRUE(readEntry(r.id));
    EXPECT_EQ(altAddressesOf(s.FOR), std::vector<std::string>{"new@example.com"});
    EXPECT_EQ(s.FOR.MAILADDRESS.str(), "jane@example.com");
    ASSERT_TRUE(readRef(r.dirNumber));
    EXPECT_EQ(s.REF.ALTADDRESS[0].str(), "new@example.com");
    EXPECT_TRUE(s.REF.ALTADDRESS[1].empty());

    ASSERT_TRUE(setAltAddresses(s, r.id, {}).ok());
    ASSERT_TRUE(readEntry(r.id));
    EXPECT_TRUE(altAddressesOf(s.FOR).empty());
}

TEST_F(Catalogue, AlternativeAddressesOnlyForAnExistingMailDatabase) {
    DbResult forum = addForumDatabase(s, "Forum");
    ASSERT_TRUE(forum.ok());
    EXPECT_EQ(setAltAddresses(s, forum.id, {"a@example.com"}).status, DbStatus::NotMail);
    EXPECT_EQ(setAltAddresses(s, 12345, {"a@example.com"}).status, DbStatus::NotFound);
}

// --- typed lookup --------------------------------------------------------------

class TypedLookup : public Catalogue {
protected:
    uint32_t serve = 0, puter = 0, home = 0, zeta = 0;
    void SetUp() override {
        serve = addForumDatabase(s, "CompuServe Forum").id;
        puter = addForumDatabase(s, "Computer News").id;
        home = addMailDatabase(s, "Mail Home", "me@example.com", {}).id;
        zeta = addForumDatabase(s, "Zeta").id;
        ASSERT_TRUE(serve && puter && home && zeta);
    }
};

TEST_F(TypedLookup, UniquePrefixInAnyCaseChoosesTheDatabase) {
    ForumLookup l = ForumLup(s, "compus");
    EXPECT_EQ(l.outcome, LookupOutcome::Unique);
    EXPECT_TRUE(l.chosen());
    EXPECT_EQ(l.id, serve);
    EXPECT_EQ(l.name, "CompuServe Forum");
    EXPECT_EQ(l.type, TypeForum);
    EXPECT_FALSE(l.showList);
    EXPECT_TRUE(ForumLup(s, "compus", true).showList);
}

TEST_F(TypedLookup, SharedFirstWordOpensTheListOnTheFirstMatch) {
    ForumLookup l = ForumLup(s, "Comp");
    EXPECT_EQ(l.outcome, LookupOutcome::Several);
    EXPECT_FALSE(l.chosen());
    EXPECT_TRUE(l.showList);
    EXPECT_EQ(l.matchCount, 2u);
    ASSERT_EQ(l.list.size(), 4u);
    EXPECT_EQ(l.list[l.position].id, serve);
    EXPECT_EQ(l.list[l.position + 1].id, puter);
}

TEST_F(TypedLookup, NoMatchOpensTheListOnTheNearestNameBefore) {
    ForumLookup l = ForumLup(s, "x");
    EXPECT_EQ(l.outcome, LookupOutcome::None);
    EXPECT_TRUE(l.showList);
    EXPECT_EQ(l.list[l.position].id, home);
    ForumLookup first = ForumLup(s, "A");
    EXPECT_EQ(first.outcome, LookupOutcome::None);
    EXPECT_EQ(first.position, 0u);
}

TEST_F(TypedLookup, EmptyTextShowsTheListOnlyWhenAsked) {
    ForumLookup quiet = ForumLup(s, "  ");
    EXPECT_EQ(quiet.outcome, LookupOutcome::Empty);
    EXPECT_FALSE(quiet.showList);
    EXPECT_TRUE(ForumLup(s, "", true).showList);
}

TEST_F(TypedLookup, TypeRestrictsTheCandidates) {
    ForumLookup mail = ForumLup(s, "m", false, TypeMail);
    EXPECT_EQ(mail.outcome, LookupOutcome::Unique);
    EXPECT_EQ(mail.id, home);
    EXPECT_EQ(mail.list.size(), 1u);
    EXPECT_EQ(ForumLup(s, "comp", false, TypeMail).outcome, LookupOutcome::None);
    EXPECT_EQ(ForumLup(s, "comp", false, TypeNewsgroup).list.size(), 0u);
}

TEST_F(TypedLookup, WholeNameMatchesExactlyIgnoringCase) {
    EXPECT_EQ(findDatabaseByName(s, "computer news"), puter);
    EXPECT_EQ(findDatabaseByName(s, "computer"), 0u);
}

TEST_F(TypedLookup, ActiveDatabaseIsRememberedAcrossSessions) {
    EXPECT_EQ(loadActiveDatabase(s), 0u);
    EXPECT_FALSE(restoreActiveDatabase(s));
    ASSERT_TRUE(activateDatabase(s, home));
    EXPECT_EQ(s.Mem.ForumNumber, home);
    ASSERT_TRUE(activateDatabase(s, zeta));

    test::RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    EXPECT_EQ(other->Mem.ForumNumber, 0u);
    EXPECT_TRUE(restoreActiveDatabase(*other));
    EXPECT_EQ(other->Mem.ForumNumber, zeta);
    EXPECT_EQ(other->Mem.Description, "Zeta");
    EXPECT_FALSE(activateDatabase(s, 4242));
    EXPECT_EQ(loadActiveDatabase(s), zeta);
}

// --- threads and sections --------------------------------------------------------

class ThreadsAndSections : public Catalogue {
protected:
    void SetUp() override {
        DbResult r = addForumDatabase(s, "Forum");
        ASSERT_TRUE(r.ok());
        ASSERT_TRUE(selectDatabase(s, r.id));
        OP_CLOSE(s, OpOpenShared, {ThreadsFile::Number, SectionsFile::Number, ControlFile::Number});
        ASSERT_TRUE(beginWrites(s, {&s.Threads, &s.Sections, &s.Control}));
    }
    void TearDown() override {
        (void)s.store.rollback();
        OP_CLOSE(s, OpClose, {ThreadsFile::Number, SectionsFile::Number, ControlFile::Number});
    }
    uint32_t thread(uint32_t section, const std::string& subject) {
        ThreadRef t = lookupThread(s, section, subject);
        EXPECT_TRUE(t.ok);
        return t.number;
    }
};

TEST_F(ThreadsAndSections, SameSubjectInSameSectionIsOneThread) {
    ThreadRef first = lookupThread(s, 10, "Boat repairs");
    ASSERT_TRUE(first.ok);
    EXPECT_TRUE(first.created);
    EXPECT_EQ(first.alpha, "Boat repai");
    ThreadRef again = lookupThread(s, 10, "Boat repairs   ");
    ASSERT_TRUE(again.ok);
    EXPECT_FALSE(again.created);
    EXPECT_EQ(again.number, first.number);
    EXPECT_EQ(s.Threads.records(), 1);
    EXPECT_EQ(s.THR.HEADING.str(), "Boat repairs");
    EXPECT_EQ(uint32_t(s.THR.SECSYSID), 10u);
}

TEST_F(ThreadsAndSections, SubjectsDifferingOnlyInCaseStartTwoThreads) {
    EXPECT_NE(thread(10, "Boat repairs"), thread(10, "BOAT REPAIRS"));
}

TEST_F(ThreadsAndSections, ExactHeadingIsFoundBehindACaseVariant) {
    uint32_t upper = thread(10, "BOAT REPAIRS");
    uint32_t lower = thread(10, "Boat repairs");
    EXPECT_EQ(thread(10, "Boat repairs"), lower);
    EXPECT_EQ(thread(10, "BOAT REPAIRS"), upper);
    EXPECT_EQ(s.Threads.records(), 2);
}

TEST_F(ThreadsAndSections, SharedFirstTenCharactersGiveTwoThreadsOfOneAlpha) {
    ThreadRef a = lookupThread(s, 10, "Boat repairs in winter");
    ThreadRef b = lookupThread(s, 10, "Boat repairs in summer");
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_NE(a.number, b.number);
    EXPECT_EQ(a.alpha, b.alpha);
    EXPECT_EQ(thread(10, "Boat repairs in summer"), b.number);
    EXPECT_EQ(thread(10, "Boat repairs in winter"), a.number);
}

TEST_F(ThreadsAndSections, SubjectsDifferingAfterTheHundredthCharacterShareAThread) {
    std::string base(100, 's');
    EXPECT_EQ(thread(10, base + "one"), thread(10, base + "two"));
}

TEST_F(ThreadsAndSections, SameSubjectInAnotherSectionIsAnotherThread) {
    EXPECT_NE(thread(10, "Boat repairs"), thread(11, "Boat repairs"));
}

TEST_F(ThreadsAndSections, ForumSectionGetsAGeneratedIdentifier) {
    uint32_t id = addForumSection(s, 7, "Sailing Boats");
    ASSERT_GE(id, kIdentifierFloor);
    s.Sections.clearBuffer();
    s.SEC.SECSYSID = id;
    ASSERT_TRUE(s.Sections.get(SectionsFile::SYSIDKEY));
    EXPECT_EQ(uint32_t(s.SEC.SECTIONNUMBER), 7u);
    EXPECT_EQ(s.SEC.DESCRIPTION.str(), "Sailing Boats");
    EXPECT_EQ(uint32_t(s.SEC.MSGCOUNT), 0u);
    EXPECT_NE(addForumSection(s, 7, "Sailing Boats"), id);
}

TEST_F(ThreadsAndSections, NewsgroupSectionIsTheNewsgroupsOwnIdentifier) {
    ASSERT_TRUE(addNewsgroupSection(s, 260001, "comp.lang.c"));
    ASSERT_TRUE(addNewsgroupSection(s, 260001, "comp.lang.c.moderated"));
    EXPECT_EQ(s.Sections.records(), 1);
    s.Sections.clearBuffer();
    s.SEC.SECSYSID = 260001;
    ASSERT_TRUE(s.Sections.get(SectionsFile::SYSIDKEY));
    EXPECT_EQ(uint32_t(s.SEC.SECTIONNUMBER), 260001u);
    EXPECT_EQ(s.SEC.DESCRIPTION.str(), "comp.lang.c.moderated");
    EXPECT_TRUE(inst.ui.messages.empty());
}

TEST_F(ThreadsAndSections, NoIdentifierForANewThreadIsReportedAndRollsBack) {
    ASSERT_TRUE(s.store.rollback());
    OP_CLOSE(s, OpClose, {ControlFile::Number});
    ASSERT_TRUE(beginWrites(s, {&s.Threads, &s.Sections}));
    ThreadRef t = lookupThread(s, 10, "Boat repairs");
    EXPECT_FALSE(t.ok);
    EXPECT_FALSE(s.store.inTransaction());
    ASSERT_FALSE(inst.ui.messages.empty());
    EXPECT_EQ(inst.ui.messages.back().text, "Transaction Frame Error!");
    EXPECT_EQ(inst.ui.messages.back().caption, "Warning!");
    EXPECT_EQ(s.Threads.records(), 0);
    ASSERT_TRUE(beginWrites(s, {&s.Threads, &s.Sections}));
    EXPECT_EQ(addForumSection(s, 7, "Sailing Boats"), 0u);
    EXPECT_FALSE(s.store.inTransaction());
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number});
}

TEST_F(ThreadsAndSections, RolledBackThreadGivesItsIdentifierBack) {
    ThreadRef t = lookupThread(s, 10, "Boat repairs");
    ASSERT_TRUE(t.ok);
    ASSERT_TRUE(s.store.rollback());
    EXPECT_EQ(s.Threads.records(), 0);
    EXPECT_EQ(NextNr(s), t.number);
}

}  // namespace
}  // namespace quill

#include "browse/PersonList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "people/Databases.h"
#include "people/Persons.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

// A forum database with persons "Ann Name000" .. "Ann Name<count-1>" at
// addresses that sort the other way round.
class PersonPaging : public ::testing::Test {
protected:
    test::Installation inst;
    Session& s = inst.s();
    uint32_t forum = 0;

    void SetUp() override {
        DbResult r = addForumDatabase(s, "Paging");
        ASSERT_TRUE(r.ok());
        forum = r.id;
        ASSERT_TRUE(selectDatabase(s, forum));
    }

    static std::string lastName(int i) {
        char b[16];
        std::snprintf(b, sizeof b, "Name%03d", i);
        return b;
    }

    void addPersons(Session& on, int from, int to, const std::string& onlyName = {}) {
        OP_CLOSE(on, OpOpenShared, {PersonFile::Number, PLINKFile::Number, ControlFile::Number});
        ASSERT_TRUE(beginWrites(on, {&on.Person, &on.PLINK, &on.Control}));
        for (int i = from; i < to; ++i) {
            char address[16];
            std::snprintf(address, sizeof address, "%05d,1", 99999 - i);
            ASSERT_FALSE(AddPers(on, address, "Ann " + (onlyName.empty() ? lastName(i) : onlyName)));
        }
        ASSERT_TRUE(on.store.commit());
        OP_CLOSE(on, OpClose, {PersonFile::Number, PLINKFile::Number, ControlFile::Number});
    }

    static std::vector<std::string> names(const PersonList& l) {
        std::vector<std::string> out;
        for (auto& r : l.rows()) out.push_back(r.rec.LASTNAME.str());
        return out;
    }
};

TEST_F(PersonPaging, ForwardPagesMeetEveryPersonOnceInNameOrderWithinCapacity) {
    addPersons(s, 0, 250);
    PersonList l(s, PersonOrder::Name, 100);
    l.first(40);
    std::vector<std::string> seen = names(l);
    while (!l.atEnd()) {
        PersonList::Shift sh = l.forward(40);
        ASSERT_LE(l.rows().size(), 100u);
        for (std::size_t i = l.rows().size() - sh.added; i < l.rows().size(); ++i)
            seen.push_back(l.rows()[i].rec.LASTNAME.str());
    }
    ASSERT_EQ(seen.size(), 250u);
    for (int i = 0; i < 250; ++i) EXPECT_EQ(seen[std::size_t(i)], lastName(i));
    EXPECT_FALSE(l.atStart());
    EXPECT_EQ(l.total(), 250);
}

TEST_F(PersonPaging, BackwardPagesFromTheEndMeetEveryPersonOnce) {
    addPersons(s, 0, 130);
    PersonList l(s, PersonOrder::Name, 60);
    l.last(25);
    EXPECT_TRUE(l.atEnd());
    EXPECT_EQ(l.rows().back().rec.LASTNAME.str(), lastName(129));
    std::vector<std::string> seen = names(l);
    while (!l.atStart()) {
        PersonList::Shift sh = l.backward(25);
        ASSERT_LE(l.rows().size(), 60u);
        for (std::size_t i = sh.added; i-- > 0;) seen.insert(seen.begin(), l.rows()[i].rec.LASTNAME.str());
    }
    ASSERT_EQ(seen.size(), 130u);
    for (int i = 0; i < 130; ++i) EXPECT_EQ(seen[std::size_t(i)], lastName(i));
}

TEST_F(PersonPaging, LocatorFindsTheFirstNameAtOrAfterTheTypedText) {
    addPersons(s, 0, 100);
    PersonList l(s, PersonOrder::Name, 200);
    struct Case {
        const char* typed;
        std::string expected;  // empty: nothing sorts at or after it
    };
    const Case cases[] = {
        {"name05", lastName(50)},  // letter case ignored, a prefix finds the first
        {"Name0505", lastName(51)},
        {"Name095", lastName(95)},  // near the end: rows before fill the list
        {"A", lastName(0)},
        {"Zebra", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        std::size_t at = l.locate(c.typed, 20);
        ASSERT_EQ(l.rows().size(), 20u);
        if (c.expected.empty()) {
            EXPECT_EQ(at, l.rows().size());
            EXPECT_EQ(l.rows().back().rec.LASTNAME.str(), lastName(99));
        } else {
            ASSERT_LT(at, l.rows().size());
            EXPECT_EQ(l.rows()[at].rec.LASTNAME.str(), c.expected);
        }
    }
}

TEST_F(PersonPaging, AddressOrderFollowsTheAddresses) {
    addPersons(s, 0, 30);
    PersonList l(s, PersonOrder::Address, 100);
    l.first(50);
    ASSERT_EQ(l.rows().size(), 30u);
    EXPECT_TRUE(l.atEnd());
    // The addresses run the other way round from the names.
    EXPECT_EQ(l.rows().front().rec.LASTNAME.str(), lastName(29));
    EXPECT_EQ(l.rows().back().rec.LASTNAME.str(), lastName(0));
    std::size_t at = l.locate("99990", 10);
    EXPECT_EQ(l.rows()[at].rec.LASTNAME.str(), lastName(9));
}

// Another program adds and removes persons and changes counts while the
// list is open: paging neither skips nor repeats a person, and a refresh
// shows the records as they stand.
TEST_F(PersonPaging, ChangesOfAnotherProgramAreMetWhilePaging) {
    addPersons(s, 0, 40);
    PersonList l(s, PersonOrder::Name, 100);
    l.first(10);
    ASSERT_EQ(l.rows().back().rec.LASTNAME.str(), lastName(9));

    test::RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    ASSERT_TRUE(selectDatabase(*other, forum));
    OP_CLOSE(*other, OpOpenShared, {PersonFile::Number});
    auto remove = [&](int i) {
        other->Person.clearBuffer();
        other->PER.LASTNAME = lastName(i);
        other->PER.FIRSTNAME = "Ann";
        ASSERT_TRUE(other->Person.get(PersonFile::NAMEKEY));
        ASSERT_TRUE(other->Person.del());
    };
    remove(9);   // the last row held
    remove(10);  // the row that would come next
    OP_CLOSE(*other, OpClose, {PersonFile::Number});

    PersonList::Shift sh = l.forward(3);
    ASSERT_EQ(sh.added, 3u);
    std::vector<std::string> got = names(l);
    EXPECT_EQ(got[10], lastName(11));
    EXPECT_EQ(got[12], lastName(13));

    // A new person that sorts among the rows held, and a changed count.
    addPersons(*other, 500, 501, "Name0055");  // between Name005 and Name006
    OP_CLOSE(*other, OpOpenShared, {PersonFile::Number});
    other->Person.clearBuffer();
    other->PER.LASTNAME = lastName(0);
    other->PER.FIRSTNAME = "Ann";
    ASSERT_TRUE(other->Person.get(PersonFile::NAMEKEY));
    other->PER.FROMCOUNT = 17;
    ASSERT_TRUE(other->Person.put());
    OP_CLOSE(*other, OpClose, {PersonFile::Number});

    l.refresh();
    got = names(l);
    ASSERT_FALSE(l.rows().empty());
    EXPECT_EQ(l.rows().front().rec.FROMCOUNT, 17u);
    EXPECT_EQ(std::count(got.begin(), got.end(), lastName(9)), 0);
    ASSERT_GT(got.size(), 6u);
    EXPECT_EQ(got[6], "Name0055");
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
}

}  // namespace
}  // namespace quill

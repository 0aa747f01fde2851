// The header rules of forum and mail captures, the code page table and the
// format detection, each on small line lists.
#include <gtest/gtest.h>

#include <sstream>

#include "database/Calendar.h"
#include "import/readers/CaptureHeaders.h"
#include "import/readers/CaptureReader.h"
#include "import/readers/CodePage850.h"
#include "import/readers/GoldenCompassReader.h"

namespace quill {
namespace {

LineQueue lines(std::initializer_list<std::string_view> ls) {
    LineQueue q;
    for (auto l : ls) addLine(q, l);
    return q;
}

LineQueue forumMessage(std::string_view first, std::string_view subject, std::string_view date = "    05-Mar-96") {
    return lines({first, date, subject, "Fm: John Smith 70000,123", "To: All", "", "Body"});
}

std::optional<ForumHeader> forum(CaptureType t, const LineQueue& q) { return parseForumHeader(t, q, 1, lineCount(q)); }

TEST(CaptureForumHeader, SubjectReferenceIsUsedOnlyWithinTheWindowBelowTheMessage) {
    struct Case {
        std::string_view first, subject;
        uint32_t ref;
        std::string_view heading;
    } cases[] = {
        {"#: 12345 S1/General", "Sb: #12340-Re: prices", 12340, "Re: prices"},
        {"#: 50000 S1/General", "Sb: #12340-Re: prices", 0, "12340-Re: prices"},       // 37660 below
        {"#: 42340 S1/General", "Sb: #12340-Re: prices", 12340, "Re: prices"},         // exactly 30000
        {"#: 12345 S1/General", "Sb: #12346-Re: prices", 0, "12346-Re: prices"},       // above the message
        {"#: 12345 S1/General", "Sb: 12340-Re: prices", 12340, "Re: prices"},          // without "#"
        {"#: 12345 S1/General", "Sb: 1995 tax rules", 0, "1995 tax rules"},            // a number, no "-"
        {"#: 12345 S1/General", "Sb: #0-Zero", 0, "0-Zero"},
        {"#: 123 S1/General", "Sb: #123456-Too long", 0, "123456-Too long"},           // longer than the number
        {"#: 12345 S1/General", "Sb: #Hash only", 0, "Hash only"},
    };
    for (auto& c : cases) {
        auto h = forum(CaptureType::OzCis, forumMessage(c.first, c.subject));
        ASSERT_TRUE(h) << c.subject;
        EXPECT_EQ(h->refNumber, c.ref) << c.first << " / " << c.subject;
        EXPECT_EQ(h->subject, c.heading) << c.first << " / " << c.subject;
    }
}

TEST(CaptureForumHeader, StartLineGivesNumberSectionAndForum) {
    struct Case {
        CaptureType type;
        std::string_view first;
        uint32_t number, sectionNumber;
        std::string_view section, forum;
    } cases[] = {
        {CaptureType::OzCis, "#: 456 S2/Tools (CIS:SOMEFORUM)", 456, 2, "Tools", "SOMEFORUM"},
        {CaptureType::OzWin1, "#: 456 S2/Tools (cis:SOMEFORUM)", 456, 2, "Tools", "SOMEFORUM"},
        {CaptureType::OzWin2, "#: 456 S12/Big Tools (OTHERFORUM)", 456, 12, "Big Tools", "OTHERFORUM"},
        {CaptureType::OzCis, "#: 456 S2/Tools", 456, 2, "Tools", ""},
        {CaptureType::OzCis, "#: 456 S2/Tools ()", 456, 2, "Tools", ""},
        {CaptureType::OzCis, "#: 456 (X) S2/Tools", 456, 2, "Tools", ""},    // "(c) " before the section
        {CaptureType::Tapcis6, "#: 456 S2/Tools (CIS:SOMEFORUM)", 456, 2, "Tools (CIS:SOMEFORUM)", ""},
        {CaptureType::Tapcis5, "#: 456 S2/Tools@b", 456, 2, "Tools", ""},
        {CaptureType::OzCis, "#: 456 /Tools", 456, 0, "Tools", ""},
        {CaptureType::OzCis, "#: 456 General", 456, 0, "General", ""},
        {CaptureType::OzCis, "#: 456 S7", 456, 7, "S7", ""},
        {CaptureType::OzCis, "#: 456 S2/A section name that runs past thirty characters", 456, 2,
         "A section name that runs pa", ""},
        {CaptureType::OzCis, "#: 8999999 S1/Top", 8999999, 1, "Top", ""},
    };
    for (auto& c : cases) {
        auto h = forum(c.type, forumMessage(c.first, "Sb: Subject"));
        ASSERT_TRUE(h) << c.first;
        EXPECT_EQ(h->msgNumber, c.number) << c.first;
        EXPECT_EQ(h->sectionNumber, c.sectionNumber) << c.first;
        EXPECT_EQ(h->section, c.section) << c.first;
        EXPECT_EQ(h->forum, c.forum) << c.first;
    }
}

TEST(CaptureForumHeader, MalformedBlocksAreRefused) {
    std::string_view starts[] = {"#: 9000000 S1/Top", "#: 0 S1/Top", "#: 12a4 S1/Top", "#: S1/Top",
                                 "#: 1234567890123 S1/Top"};
    for (auto first : starts) EXPECT_FALSE(forum(CaptureType::OzCis, forumMessage(first, "Sb: x"))) << first;
    EXPECT_FALSE(forum(CaptureType::OzCis, forumMessage("#: 5 S1/Top", "Subject: x")));
    EXPECT_FALSE(forum(CaptureType::OzCis, lines({"#: 5 S1/Top", "    05-Mar-96", "Sb: x", "To: All", "Fm: Me"})));
    EXPECT_FALSE(forum(CaptureType::OzCis, lines({"#: 5 S1/Top", "    05-Mar-96", "Sb: x", "Fm: Me"})));
}

TEST(CaptureForumHeader, DateAndPartiesFollowTheTypeRules) {
    // Other types: column 5, or column 6 when column 5 is blank, with a
    // one-digit day; TAPCIS 5.x: columns 5-13 only.
    EXPECT_EQ(forum(CaptureType::OzCis, forumMessage("#: 5 S1/A", "Sb: x", "     5-Mar-96 10:00"))->date,
              dateFromYmd(1996, 3, 5));
    EXPECT_EQ(forum(CaptureType::OzCis, forumMessage("#: 5 S1/A", "Sb: x", "    05-Okt-96"))->date,
              dateFromYmd(1996, 10, 5));
    EXPECT_EQ(forum(CaptureType::Tapcis5, forumMessage("#: 5 S1/A", "Sb: x", "    24-dec-99@b"))->date,
              dateFromYmd(1999, 12, 24));
    EXPECT_EQ(forum(CaptureType::OzCis, forumMessage("#: 5 S1/A", "Sb: x", "    xx-Mar-96"))->date, 0);

    LineQueue q = lines({"#: 5 S1/A@b", "    05-Mar-96", "Sb: Hello@b", "Fm: John Smith [70000.123] (X)@b",
                         "To: Jane 70000, 456@b", "", "Body"});
    auto h = forum(CaptureType::Tapcis5, q);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->subject, "Hello");
    EXPECT_EQ(h->from.name, "John Smith");
    EXPECT_EQ(h->from.address, "70000,123");
    EXPECT_EQ(h->to.name, "Jane");
    EXPECT_EQ(h->to.address, "70000,456");
    EXPECT_EQ(h->bodyStart, 7u);
}

TEST(CaptureForumHeader, OzWinTwoTakesTheAnsweredMessageFromItsParLine) {
    LineQueue q = lines({"#: 9005 S2/Support", "    11-May-98", "Sb: #9003-Crash", "Fm: Fay 73000,222",
                         "To: Eve 73000,111", "Par: 9001", "Body"});
    auto two = forum(CaptureType::OzWin2, q);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->refNumber, 9001u);
    EXPECT_EQ(two->subject, "9003-Crash");  // taken whole, without its "#"
    auto one = forum(CaptureType::OzWin1, q);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->refNumber, 9003u);
    EXPECT_EQ(one->subject, "Crash");
}

TEST(CaptureMailHeader, DirectionAndBodyStartFollowTheType) {
    struct Case {
        CaptureType type;
        LineQueue q;
        uint8_t direction;
        std::string_view other;  // the side that is not the owner: name/address
        int y, mo, d, h, mi, s;
        std::size_t body;
    } cases[] = {
        {CaptureType::Tapcis5,
         lines({"#: 17 Mail", "    05-Mar-96 9:30", "Sb: Meeting", "Fm: John Smith 70000,123", "", "Text"}),
         MailReceived, "John Smith/70000,123", 1996, 3, 5, 9, 30, 0, 6},
        {CaptureType::Tapcis5,
         lines({"#: 18 /Outbox", "    06-Mar-96     14:05:10", "Sb: Re", "Fm: Me", "To: Jo >INTERNET:jo@example.com", "",
                "Text"}),
         MailSent, "Jo/jo@example.com", 1996, 3, 6, 14, 5, 10, 7},
        {CaptureType::GoldenCompass,
         lines({"#: 18 /Outbox@b", "     6-Mar-96 14:05@b", "Sb: Re@b", "Fm: Me@b", "To: Jo 70000,123@b", "", "Text"}),
         MailSent, "Jo/70000,123", 1996, 3, 6, 14, 5, 0, 7},
        {CaptureType::Tapcis6,
         lines({"#: 1", "    14-Feb-97  09:15:30", "Sb: Invoice", "Fm: Vendor >INTERNET:v@example.com",
                "To: Owner 71111,222", "", "Text"}),
         MailByOwnerTest, "Vendor/v@example.com", 1997, 2, 14, 9, 15, 30, 7},
        {CaptureType::Autosig,
         lines({"#: 1", "    14-Feb-97  09:15", "Sb: Invoice", "Fm: \"Vendor Inc\" INTERNET v@example.com",
                "To: Owner 71111,222", "", "Text"}),
         MailByOwnerTest, "Vendor Inc/v@example.com", 1997, 2, 14, 9, 15, 0, 7},
        {CaptureType::OzCis,
         lines({"Date:  05-Mar-96 12:34", "From:  John Smith 70000,123", "Subj:  Hello", "", "Text"}), MailReceived,
         "John Smith/70000,123", 1996, 3, 5, 12, 34, 0, 5},
        {CaptureType::OzWin2,
         lines({"Date:  6-Mar-96 08:00:15", "MgTo:  John Smith 70000,123", "Subj:  Hello", "", "Text"}), MailSent,
         "John Smith/70000,123", 1996, 3, 6, 8, 0, 15, 5},
    };
    for (auto& c : cases) {
        auto h = parseMailHeader(c.type, c.q, 1, lineCount(c.q));
        ASSERT_TRUE(h) << lineAt(c.q, 1).text();
        EXPECT_EQ(h->direction, c.direction) << lineAt(c.q, 1).text();
        const CaptureParty& p = h->direction == MailSent ? h->to : h->from;
        std::string other = p.name + "/" + p.address;
        EXPECT_EQ(other, c.other) << lineAt(c.q, 1).text();
        EXPECT_EQ(h->date, dateFromYmd(c.y, c.mo, c.d)) << lineAt(c.q, 1).text();
        EXPECT_EQ(h->time, timeFromHms(c.h, c.mi, c.s)) << lineAt(c.q, 1).text();
        EXPECT_EQ(h->bodyStart, c.body) << lineAt(c.q, 1).text();
    }
}

TEST(CaptureMailHeader, MissingExpectedLinesRefuseTheMail) {
    struct Case {
        CaptureType type;
        LineQueue q;
    } cases[] = {
        {CaptureType::Tapcis5, lines({"#: 17", "    05-Mar-96", "Subject: x", "Fm: Jo 70000,123", "", "T"})},
        {CaptureType::Tapcis5, lines({"#: 17", "    05-Mar-96", "Sb: x", "To: Jo 70000,123", "", "T"})},
        {CaptureType::Tapcis5, lines({"#: 17 /Outbox", "    05-Mar-96", "Sb: x", "Fm: Jo 70000,123", "", "T"})},
        {CaptureType::Tapcis6, lines({"#: 17", "    05-Mar-96", "Sb: x", "Fm: Jo 70000,123", "", "T"})},
        {CaptureType::OzCis, lines({"Date:  05-Mar-96 12:34", "Cc:  Jo", "Subj:  x", "", "T"})},
        {CaptureType::OzCis, lines({"Date:  05-Mar-96 12:34", "From:  Jo", "Subject: x", "", "T"})},
        {CaptureType::OzCis, lines({"Date:  05-Mar-96 12:34", "From:  Jo"})},
    };
    for (auto& c : cases) EXPECT_FALSE(parseMailHeader(c.type, c.q, 1, lineCount(c.q))) << lineAt(c.q, 1).text();
}

TEST(CaptureCodePage, DosLettersBecomeWindowsLettersAndGraphicsBecomeBlanks) {
    struct Case {
        unsigned char from, to;
    } cases[] = {{0x41, 0x41}, {0x81, 0xFC}, {0x82, 0xE9}, {0x84, 0xE4}, {0x8E, 0xC4}, {0x99, 0xD6}, {0x9A, 0xDC},
                 {0xE1, 0xDF}, {0x9C, 0xA3}, {0xA8, 0xBF}, {0xB3, 0x20}, {0xC9, 0x20}, {0xDB, 0x20}, {0xD5, 0x20},
                 {0xFE, 0x20}, {0xF7, 0x20}, {0xF8, 0x20}, {0xFF, 0x20}, {0xF2, '='}, {0xF5, 0xA7}};
    for (auto c : cases) EXPECT_EQ(cp850To1252(c.from), c.to) << int(c.from);
}

TEST(CaptureDetection, FormatComesFromTheFirstHeaderOrFromTheRun) {
    struct Case {
        std::string_view type, text;
        bool mailRun;
        uint8_t format;
    } cases[] = {
        {"OzCIS", "junk\n#: 1 S1/A\n  05-Mar-96\nSb: x\n", false, CaptureForum},
        {"OzWin I", "Date:  05-Mar-96 12:00\r\nFrom:  Jo\r\n", true, CaptureMail},
        {"OzWin II", "Date:  05-Mar-96 12:00\nMgTo:  Jo\n", false, CaptureMail},
        {"OzCIS", "Date:  05-Mar-96 12:00\nSubj:  x\n", false, CaptureUnknown},
        {"OzCIS", "#: 1 S1/A\n  05-Mar-96\nFm: x\n", false, CaptureUnknown},
        {"OzCIS", "nothing here\n", false, CaptureUnknown},
        {"TAPCIS 5.x", "\n\n#: 1\n", false, CaptureForum},
        {"TAPCIS 6.x", "#: 1\n", true, CaptureMail},
        {"AUTOSIG", "Date:  05-Mar-96\nFrom:  x\n", true, CaptureUnknown},
        {"NavCIS Save format", "x\nSubject:  a\n   From:  b\n     To:  c\n   Date:  d\n", false, CaptureMail},
        {"NavCIS Save format", "Subject:  a\n   From:  b\n     To:  c\n  Forum:  d\n", false, CaptureForum},
        {"NavCIS Save format", "Subject:  a\n   From:  b\nx\n     To:  c\n   Date:  d\n", false, CaptureUnknown},
        {"NavCIS Save format",
         "Subject:  a\nSubject:  a\n   From:  b\n     To:  c\n  Forum:  d\n", false, CaptureForum},
        {"", "", false, CaptureUnknown},
        {"Eudora", "#: 1\n", false, CaptureUnknown},
    };
    for (auto& c : cases) {
        std::istringstream in{std::string(c.text)};
        EXPECT_EQ(DetectCaptureFormat(c.type, in, c.mailRun), c.format) << c.type << ": " << c.text;
    }
}

TEST(GoldenCompassText, MarkersAreDroppedAndLineFeedsSplitLines) {
    struct Case {
        std::string_view line;
        std::vector<std::string> pieces;
    } cases[] = {
        {"@lFirst@b", {"First"}},
        {"@lOne@b\n@lTwo@b", {"One", "Two"}},
        {"One\nTwo", {"One", "Two"}},
        {"One@b\n", {"One"}},
        {"One\n@l", {"One"}},
        {"Keeps\rits CR@l", {"Keeps\rits CR"}},
        {"", {""}},
        {"a@b@b", {"a@b"}},
    };
    for (auto& c : cases) EXPECT_EQ(goldenCompassTextLines(c.line), c.pieces) << c.line;
}

}  // namespace
}  // namespace quill

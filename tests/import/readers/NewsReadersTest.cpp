// The news readers over the fixtures under tests/data/news/: where articles
// begin and end in each spool layout, which group, forum or mailbox they are
// filed under, and the Virtual Access item line.
#include <gtest/gtest.h>

#include "import/readers/MailReaderKit.h"
#include "import/readers/NewsReaders.h"

namespace quill::test {
namespace {

std::string news(const std::string& name) { return dataFile("news/" + name); }

std::vector<std::string> targets(const StagedFile& f) {
    std::vector<std::string> v;
    for (auto& m : f.mails) v.push_back(m.target);
    return v;
}

TEST(NewsReaders, StageTheArticlesTheirLayoutsGive) {
    struct Case {
        const char* type;
        const char* file;
        std::vector<std::string> subjects, targets;
        uint32_t skipped;
    };
    const std::vector<Case> cases = {
        {"Gravity", "gravity-two-articles-crlf.txt", {"Spool question", "Spool question"}, {"test.first", "test.first"}, 0},
        {"Agent News", "agent-equals-article-and-mail.txt", {"Agent article", "Agent mail"}, {"test.agent", "Owner"}, 0},
        {"Unix News", "unix-from-separators.txt", {"Unix one", "Unix one"}, {"test.unix", "test.unix"}, 0},
        {"Winvn", "winvn-articles.txt", {"Unix one", "Unix one"}, {"test.winvn", "test.winvn"}, 0},
        {"IE News", "ie-news-records.nch", {"Record subject", "Record subject", "Plain article"},
         {"test.ie", "test.ie", "test.ie"}, 0},
        {"Netscape News", "netscape-news.snm", {"Netscape one", "Netscape two"}, {"test.netscape", "test.netscape"}, 0},
        {"Outlook Express 5 News", "oe5-news.dbx", {"OE5 article", "OE5 article"}, {"test.oe5", "test.oe5"}, 0},
        // Forum messages 1234, 1240 and 1300, an article and a mail; the
        // message number "12x4" and the layout without dashes are skipped.
        {"VirtualAccess", "virtualaccess-forum-news-mail.txt",
         {"Forum topic", "Forum topic", "Later reference", "VA news", "VA mail"},
         {"CIX.QUILL", "CIX.QUILL", "CIX.QUILL", "alt.test", "Owner"}, 2},
    };
    for (auto& k : cases) {
        for (int32_t batch : {1, 25}) {
            StagedFile f = stageFile(k.type, news(k.file), batch);
            ASSERT_TRUE(f.opened) << k.type;
            EXPECT_EQ(subjects(f), k.subjects) << k.type << " batch " << batch;
            EXPECT_EQ(targets(f), k.targets) << k.type;
            EXPECT_EQ(f.skipped, k.skipped) << k.type;
        }
    }
}

TEST(NewsReaders, ReplyRefersToAnIdentifierAndArticlesToTheirOwn) {
    for (const char* type : {"Gravity", "Unix News", "Outlook Express 5 News"}) {
        const char* file = std::string(type) == "Gravity"     ? "gravity-two-articles-crlf.txt"
                           : std::string(type) == "Unix News" ? "unix-from-separators.txt"
                                                              : "oe5-news.dbx";
        StagedFile f = stageFile(type, news(file));
        ASSERT_EQ(f.mails.size(), 2u) << type;
        EXPECT_NE(f.mails[0].number, 0u) << type;
        EXPECT_EQ(f.mails[0].ref, 0u) << type;
        EXPECT_NE(f.mails[1].ref, 0u) << type;
        EXPECT_NE(f.mails[1].ref, f.mails[1].number) << type;
        EXPECT_EQ(f.mails[1].receiverName, "Unknown") << type;
        EXPECT_EQ(f.mails[0].receiverName, "All") << type;
    }
}

TEST(HeaderSetSpool, BlockWithoutAllFiveHeadersStaysBodyText) {
    StagedFile f = stageFile("Gravity", news("gravity-two-articles-crlf.txt"));
    ASSERT_EQ(f.mails.size(), 2u);
    EXPECT_EQ(f.mails[0].text,
              "How do I read a spool?\r\nFrom: somebody@else.example\r\n"
              "Subject: a quoted block without the other headers stays text");
    EXPECT_EQ(f.mails[0].senderAddress, "ann@example.com");
    EXPECT_EQ(isoDate(f.mails[0].date), "1998-01-06");
    EXPECT_EQ(f.mails[1].text, "Line by line.");
}

TEST(SeparatorSpool, FromLineWithoutAtSignOrTooLongSelectsNoVariant) {
    using V = SeparatorSpool::Variant;
    const std::string longFrom = "From " + std::string(120, 'x') + "@host\n";
    const std::vector<std::pair<std::string, V>> cases = {
        {"========\nFrom: a@b\n", V::Equals8},
        {"junk line\n========\n", V::Equals8},
        {"From a@b Tue Jan  6 10:00:00 1998\n", V::FromLine},
        {"From nobody Tue Jan  6 10:00:00 1998\n========\n", V::None},
        {longFrom, V::None},
        {std::string(320, 'x') + "\n========\n", V::None},
        {"", V::None},
    };
    for (auto& [head, want] : cases) EXPECT_EQ(SeparatorSpool::detectVariant(head), want) << head;
    StagedFile f = stageFile("Agent News", news("agent-from-without-at.txt"));
    EXPECT_FALSE(f.opened);
    EXPECT_TRUE(f.mails.empty());
}

TEST(SeparatorSpool, FromLineInsideTheBodyOfAUnixSpoolIsText) {
    StagedFile f = stageFile("Unix News", news("unix-from-separators.txt"));
    ASSERT_EQ(f.mails.size(), 2u);
    EXPECT_EQ(f.mails[0].text, "From here on the text goes on.");
}

TEST(SeparatorSpool, ItemLineGivesForumSectionNumberAndDate) {
    struct Case {
        std::string line;
        std::string forum, section;
        uint32_t sectionNumber, msgNumber;
        std::string date;
    };
    const std::vector<Case> cases = {
        {"cix.quill/12_general #1234, from jsmith, 812 chars, 05-Jan-1998 12:00", "CIX.QUILL", "general", 12, 1234,
         "1998-01-05"},
        {"cix.quill/12_general #1240, from mjones, 120 chars, 06-Jan-98 09:00", "CIX.QUILL", "general", 12, 1240,
         "1998-01-06"},
        {"cix.quill/misc #1300, from a, 1 chars, 07-Jan-2001", "CIX.QUILL", "misc", 0, 1300, "2001-01-07"},
        {"cix.quill/misc #12x4, from a, 1 chars, 07-Jan-1998", "CIX.QUILL", "misc", 0, 0, "1998-01-07"},
        {"cix.quill/misc #77, from a, no date", "CIX.QUILL", "misc", 0, 77, "0"},
        {"no slash #5, from a", "", "", 0, 0, "0"},
    };
    for (auto& k : cases) {
        auto item = SeparatorSpool::parseItemLine(k.line);
        EXPECT_EQ(item.forum, k.forum) << k.line;
        EXPECT_EQ(item.sectionName, k.section) << k.line;
        EXPECT_EQ(item.sectionNumber, k.sectionNumber) << k.line;
        EXPECT_EQ(item.msgNumber, k.msgNumber) << k.line;
        EXPECT_EQ(item.date == 0 ? "0" : isoDate(item.date), k.date) << k.line;
    }
}

TEST(SeparatorSpool, CommentReferenceStandsOnlyWhenAtOrBelowTheNumberAndNear) {
    const std::vector<std::tuple<std::string, uint32_t, uint32_t>> cases = {
        {"Comment to 1234. More comments: 1241.", 1240, 1234},
        {"Comment to 1234.", 1234, 1234},
        {"Comment to 1301.", 1300, 0},        // greater than the message number
        {"Comment to 1000.", 40000, 0},       // more than 30000 below it
        {"Comment to 5", 9, 0},               // shorter than 13 characters
        {"Comment to abc.", 100, 0},
        {"Comment to 0.  ", 100, 0},
    };
    for (auto& [line, number, want] : cases)
        EXPECT_EQ(SeparatorSpool::commentReference(line, number), want) << line;
    StagedFile f = stageFile("VirtualAccess", news("virtualaccess-forum-news-mail.txt"));
    ASSERT_EQ(f.mails.size(), 5u);
    EXPECT_EQ(f.mails[0].number, 1234u);
    EXPECT_EQ(f.mails[0].ref, 0u);
    EXPECT_EQ(f.mails[1].ref, 1234u);
    EXPECT_EQ(f.mails[2].ref, 0u);
    EXPECT_EQ(f.mails[1].section, "general");
    EXPECT_EQ(f.mails[1].sectionNumber, 12u);
    EXPECT_EQ(f.mails[0].senderName, "jsmith");
    EXPECT_EQ(isoDate(f.mails[1].date), "1998-01-06");
    EXPECT_EQ(f.mails[0].text, "Forum message body.");
}

TEST(CountedSpool, HeaderLikeBodyLineBeforeTheCountStaysInTheBody) {
    StagedFile f = stageFile("IE News", news("ie-news-records.nch"));
    ASSERT_EQ(f.mails.size(), 3u);
    EXPECT_EQ(f.mails[0].text, "Body one.\r\nFrom: looks like a header but is line two\r\nLine three.");
    EXPECT_EQ(f.mails[1].text, "Reply body.");
    EXPECT_EQ(f.mails[2].text, "Last body.");
    // The record's references give the reply its reference.
    EXPECT_NE(f.mails[1].ref, 0u);
    EXPECT_EQ(f.mails[0].ref, 0u);
}

TEST(CountedSpool, LinesCountThatIsTooSmallEndsTheBodyAtTheNextArticleOnly) {
    TempDir dir;
    std::string path = dir / "short.snm";
    writeFile(path,
              "From: a@b.example\nNewsgroups: t.x\nSubject: One\nMessage-ID: <1@b>\nLines: 1\n\n"
              "first\nsecond\nthird\n"
              "From: c@d.example\nNewsgroups: t.x\nSubject: Two\nMessage-ID: <2@d>\nLines: 1\n\nmore\n");
    StagedFile f = stageFile("Netscape News", path);
    ASSERT_EQ(f.mails.size(), 2u);
    EXPECT_EQ(f.mails[0].text, "first\r\nsecond\r\nthird");
    EXPECT_EQ(f.mails[1].text, "more");
}

TEST(CountedSpool, WithoutLinesTheArticleRunsToTheEndOfTheFile) {
    TempDir dir;
    std::string path = dir / "nolines.snm";
    writeFile(path,
              "From: a@b.example\nNewsgroups: t.x\nSubject: One\nMessage-ID: <1@b>\n\nbody\n"
              "From: c@d.example\nNewsgroups: t.x\nSubject: Two\nMessage-ID: <2@d>\n\nmore\n");
    StagedFile f = stageFile("Netscape News", path);
    ASSERT_EQ(f.mails.size(), 1u);
    EXPECT_NE(f.mails[0].text.find("Subject: Two"), std::string::npos);
}

}  // namespace
}  // namespace quill::test

#include "import/Mime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quill {
namespace {

LineQueue queueOf(std::initializer_list<std::string_view> lines) {
    LineQueue q;
    for (std::string_view l : lines) addLine(q, l);
    return q;
}

std::vector<std::string> keptLines(const LineQueue& q) {
    std::vector<std::string> kept;
    for (const LineEntry& e : q)
        if (!isRemoved(e)) kept.emplace_back(e.text());
    return kept;
}

// ---------------------------------------------------------------------------

TEST(LineQueue, LongLinesAreSplitIntoEntriesOfFourHundred) {
    LineQueue q = splitLines(std::string(850, 'a') + "\r\nshort\n\nlast");
    ASSERT_EQ(q.size(), 6u);
    EXPECT_EQ(q[0].LEN, 400u);
    EXPECT_EQ(q[0].SPLITLINE, 1);
    EXPECT_EQ(q[1].SPLITLINE, 1);
    EXPECT_EQ(q[2].LEN, 50u);
    EXPECT_EQ(q[2].SPLITLINE, 0);
    EXPECT_EQ(q[3].text(), "short");
    EXPECT_TRUE(q[4].empty());
    EXPECT_EQ(q[5].text(), "last");
}

TEST(FindBoundary, ReadsTheParameterInItsForms) {
    struct Case { std::size_t column; const char* line; const char* boundary; };
    const Case cases[] = {
        {24, "Content-Type: multipart/mixed; boundary=\"----=_NextPart_000\";", "----=_NextPart_000"},
        {24, "Content-Type: multipart/mixed; BOUNDARY=simple", "simple"},
        {24, "Content-Type: multipart/mixed; boundary=tok; charset=us-ascii", "tok"},
        {24, "Content-Type: multipart/mixed; boundary=\"a b\"; type=x", "a b"},
        {1, "\tboundary=\"=_b\"", "=_b"},
        {1, " boundary=\"cut", "cut"},
        {1, "boundary=", ""},
        {1, "boundary=\"\"", ""},
        {1, "no parameter on this line", ""},
        {1, "b=x", ""},
        {40, "Content-Type: multipart/mixed; boundary=early", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FindBoundary(c.column, c.line), c.boundary) << c.line;
    EXPECT_EQ(FindBoundary(1, "boundary=" + std::string(300, 'q')).size(), BoundaryMax);
}

// ---------------------------------------------------------------------------

TEST(ChooseMimePart, PlainPartFirstIsKept) {
    LineQueue q = queueOf({"preamble", "--b1", "Content-Type: text/plain", "", "plain text", "--b1",
                           "Content-Type: text/html", "", "<p>html</p>", "--b1--"});
    EXPECT_EQ(ChooseMimePart(q, 1, q.size(), "b1"), 0);
    EXPECT_EQ(keptLines(q), (std::vector<std::string>{"plain text"}));
}

TEST(ChooseMimePart, HtmlPartFirstIsKeptAndReported) {
    LineQueue q = queueOf({"--b1", "Content-Type: text/html;", " charset=us-ascii", "", "<p>html</p>", "--b1",
                           "Content-Type: text/plain", "", "plain", "--b1--"});
    EXPECT_EQ(ChooseMimePart(q, 1, q.size(), "b1"), 1);
    EXPECT_EQ(keptLines(q), (std::vector<std::string>{"<p>html</p>"}));
}

TEST(ChooseMimePart, MixedWithNestedAlternativeKeepsItsFirstTextPart) {
    LineQueue q = queueOf({
        "--outer",
        "Content-Type: multipart/alternative;",
        "\tboundary=\"inner\"",
        "",
        "--inner",
        "Content-Type: text/plain; charset=iso-8859-1",
        "",
        "the text",
        "",
        "more text",
        "--inner",
        "Content-Type: text/html",
        "",
        "<p>the text</p>",
        "--inner--",
        "--outer",
        "Content-Type: application/pdf; name=a.pdf",
        "",
        "JVBERi0xLjQK",
        "--outer--",
    });
    EXPECT_EQ(ChooseMimePart(q, 1, q.size(), "outer"), 0);
    EXPECT_EQ(keptLines(q), (std::vector<std::string>{"the text", "", "more text"}));
}

TEST(ChooseMimePart, AttachmentBeforeTheTextIsDropped) {
    LineQueue q = queueOf({"--b", "Content-Type: image/gif", "", "R0lGODlh", "--b", "Content-Type: text/plain", "",
                           "caption", "--b--"});
    EXPECT_EQ(ChooseMimePart(q, 1, q.size(), "b"), 0);
    EXPECT_EQ(keptLines(q), (std::vector<std::string>{"caption"}));
}

TEST(ChooseMimePart, BoundaryThatNeverOccursKeepsEveryLine) {
    LineQueue q = queueOf({"one", "two", "three"});
    EXPECT_EQ(ChooseMimePart(q, 1, q.size(), "missing"), 0);
    EXPECT_EQ(keptLines(q).size(), 3u);
    EXPECT_EQ(ChooseMimePart(q, 0, 99, ""), 0);
    EXPECT_EQ(keptLines(q).size(), 3u);
}

// ---------------------------------------------------------------------------

TEST(ChooseMimePartByLine, AnswersForAStreamedAlternative) {
    MimeLineFilter f("b1b1b1b1b1");
    std::vector<int> answers;
    for (const char* line : {"preamble", "--b1b1b1b1b1", "Content-Type: text/plain", "", "words",
                             "--b1b1b1b1b1", "Content-Type: text/html"})
        answers.push_back(ChooseMimePartByLine(f, line));
    EXPECT_EQ(answers, (std::vector<int>{1, 1, 1, 1, 1, 3, 1}));
}

TEST(ChooseMimePartByLine, NestedBoundaryOnTheTypeLineDropsWhatWasCollected) {
    MimeLineFilter f("outer-boundary");
    EXPECT_EQ(ChooseMimePartByLine(f, "--outer-boundary"), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "Content-Type: multipart/alternative; boundary=\"inner-bound\""),
              MimeDropCollected);
    EXPECT_EQ(f.boundary, "inner-bound");
    EXPECT_EQ(ChooseMimePartByLine(f, "--inner-bound"), MimeKeepLine);
}

TEST(ChooseMimePartByLine, NestedBoundaryOnALaterLine) {
    MimeLineFilter f("outer-boundary");
    ChooseMimePartByLine(f, "--outer-boundary");
    EXPECT_EQ(ChooseMimePartByLine(f, "Content-Type: multipart/related;"), MimeDropLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "\ttype=\"text/html\""), MimeDropLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "\tboundary=\"in-b-in-b-in\""), MimeDropCollected);
    EXPECT_EQ(f.boundary, "in-b-in-b-in");
}

TEST(ChooseMimePartByLine, ANonTextFirstPartDoesNotEndTheMessage) {
    MimeLineFilter f("boundary-01");
    EXPECT_EQ(ChooseMimePartByLine(f, "--boundary-01"), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "Content-Type: image/png"), MimeDropLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "iVBORw0KGgo"), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "--boundary-01"), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "Content-Type: text/plain"), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "--boundary-01--"), MimeEndMessage);
}

// ---------------------------------------------------------------------------

TEST(DetectMessageContent, HeaderBlockSetsBodyStartAndKind) {
    LineQueue q = queueOf({"From: a@b", "Content-Type: text/html", "", "", "<html>x</html>"});
    DetectedContent d = DetectMessageContent(q, 1, q.size());
    EXPECT_TRUE(d.html);
    EXPECT_EQ(d.bodyStart, 5u);
}

TEST(DetectMessageContent, HtmlWordAtTheStartOfThePlainBody) {
    LineQueue q = queueOf({"Date: today", "", "<HTML><BODY>hi"});
    EXPECT_TRUE(DetectMessageContent(q, 1, q.size()).html);
    LineQueue plain = queueOf({"Date: today", "", "Hello, this is about HTML"});
    EXPECT_FALSE(DetectMessageContent(plain, 1, plain.size()).html);
}

TEST(DetectMessageContent, MultipartRunsThePartChoice) {
    LineQueue q = queueOf({"From: a@b", "Content-Type: multipart/alternative; boundary=\"zz\"", "", "--zz",
                           "Content-Type: text/html", "", "<b>x</b>", "--zz--"});
    DetectedContent d = DetectMessageContent(q, 1, q.size());
    EXPECT_TRUE(d.html);
    EXPECT_EQ(keptLines(q), (std::vector<std::string>{"From: a@b",
                                                      "Content-Type: multipart/alternative; boundary=\"zz\"", "",
                                                      "<b>x</b>"}));
}

TEST(DetectMessageContent, WithoutAHeaderBlockTheBodyStartsAtTheFirstLine) {
    LineQueue q = queueOf({"To: all members", "the meeting is off", "", "Bob"});
    DetectedContent d = DetectMessageContent(q, 1, q.size());
    EXPECT_EQ(d.bodyStart, 1u);
    EXPECT_FALSE(d.html);
}

// ---------------------------------------------------------------------------

TEST(BuildMessageText, LeadingEmptyLinesAreDroppedInnerOnesKept) {
    LineQueue q = queueOf({"", "", "para one", "", "para two"});
    EXPECT_EQ(BuildMessageText(ContentPlain, q, 1, q.size()), "para one\r\n\r\npara two\r\n");
}

TEST(BuildMessageText, OnlyRemovedAndEmptyLinesGiveAnEmptyText) {
    LineQueue q = queueOf({"", "x", "", "y"});
    markRemoved(q[1]);
    markRemoved(q[3]);
    EXPECT_EQ(BuildMessageText(ContentPlain, q, 1, q.size()), "");
    EXPECT_EQ(BuildMessageText(ContentPlain, q, 7, 3), "");
}

TEST(BuildMessageText, SplitLinesAreJoinedWithoutALineEnd) {
    LineQueue q = splitLines(std::string(450, 'w') + "\nnext");
    EXPECT_EQ(BuildMessageText(ContentPlain, q, 1, q.size()), std::string(450, 'w') + "\r\nnext\r\n");
}

TEST(BuildMessageText, TextIsCutAtTheLimitWithALineEnd) {
    LineQueue q;
    for (int i = 0; i < 200; ++i) addLine(q, std::string(398, char('a' + i % 26)));
    std::string t = BuildMessageText(ContentPlain, q, 1, q.size());
    EXPECT_EQ(t.size(), MessageTextMax);
    EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
    EXPECT_EQ(t.substr(0, 400), std::string(398, 'a') + "\r\n");
}

// Lines that cross the limit: the last one is cut so that the text ends in
// CR LF at exactly MessageTextMax characters.
TEST(BuildMessageText, LineCrossingTheLimitIsCutToLeaveRoomForTheLineEnd) {
    for (std::size_t length : {50u, 124u, 300u, 399u}) {
        SCOPED_TRACE("lines of " + std::to_string(length));
        ASSERT_NE(MessageTextMax % (length + 2), 0u) << "the cut must fall inside a line";
        LineQueue q;
        std::string whole;
        for (std::size_t i = 0; whole.size() < MessageTextMax + 1000; ++i) {
            std::string line(length, char('a' + i % 26));
            addLine(q, line);
            whole += line + "\r\n";
        }
        std::string t = BuildMessageText(ContentPlain, q, 1, q.size());
        ASSERT_EQ(t.size(), MessageTextMax);
        EXPECT_EQ(t.substr(0, MessageTextMax - 2), whole.substr(0, MessageTextMax - 2));
        EXPECT_EQ(t.substr(MessageTextMax - 2), "\r\n");
    }
}

TEST(BuildMessageText, ServiceTypesJoinWithoutLineEnds) {
    LineQueue q = queueOf({"<b>Hello", " there</b>", "friend"});
    std::string t = BuildMessageText(ContentPlain, q, 1, q.size(), "AOL");
    EXPECT_EQ(t.find("\r\n"), std::string::npos);
    EXPECT_NE(t.find("Hello there"), std::string::npos);
    EXPECT_EQ(t.find('<'), std::string::npos);
}

TEST(BuildMessageText, HtmlAndEnrichedAreConverted) {
    LineQueue html = queueOf({"<p>one <i>two</i></p>"});
    std::string h = BuildMessageText(ContentHtml, html, 1, 1);
    EXPECT_NE(h.find("one two"), std::string::npos);
    EXPECT_EQ(h.find('<'), std::string::npos);
    LineQueue sniffed = queueOf({"<HTML><BODY>hi</BODY></HTML>"});
    EXPECT_EQ(BuildMessageText(ContentPlain, sniffed, 1, 1).find('<'), std::string::npos);
    LineQueue enriched = queueOf({"<bold>Now</bold> here"});
    EXPECT_EQ(BuildMessageText(ContentEnriched, enriched, 1, 1), "Now here\r\n");
    LineQueue plain = queueOf({"a <b> is kept"});
    EXPECT_EQ(BuildMessageText(ContentPlain, plain, 1, 1), "a <b> is kept\r\n");
}

TEST(ConvertEnrichedText, TagsAndParamContentDropped) {
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"<bold>Hi</bold>", "Hi"},
        {"<color><param>red</param>Red text</color>", "Red text"},
        {"<Color><PARAM>0000,0000,ffff</Param>blue</Color>", "blue"},
        {"1 <<  2 and 3 > 2", "1 <  2 and 3 > 2"},
        {"a <<b> c", "a <b> c"},
        {"a<b<c>d", "a<bd"},
        {"line\r\nbreak<nl>", "line\r\nbreak"},
        {"open <tag", "open <tag"},
    };
    for (const Case& c : cases) EXPECT_EQ(ConvertEnrichedText(c.in), c.out) << c.in;
}

// ---------------------------------------------------------------------------

TEST(DecodeCharacterReference, KnownReferences) {
    struct Case { const char* text; char ch; std::size_t consumed; };
    const Case cases[] = {
        {"gt;", '>', 3},     {"LT;x", '<', 3},        {"amp;", '&', 4},       {"reg;", '\xAE', 4},
        {"shy;", '-', 4},    {"ETH;", '\xD0', 4},     {"eth;", '\xF0', 4},    {"#65;", 'A', 4},
        {"nbsp;", ' ', 5},   {"copy;", '\xA9', 5},    {"quot;", '"', 5},      {"auml;", '\xE4', 5},
        {"Ouml;", '\xD6', 5}, {"yuml;", '\xFF', 5},   {"#233;", '\xE9', 5},   {"ecirc;", '\xEA', 6},
        {"Aring;", '\xC5', 6}, {"szlig;", '\xDF', 6}, {"thorn;", '\xFE', 6},  {"AElig;", '\xC6', 6},
        {"eacute;", '\xE9', 7}, {"Yacute;", '\xDD', 7}, {"ugrave;", '\xF9', 7}, {"ntilde;", '\xF1', 7},
        {"Ccedil;", '\xC7', 7}, {"oslash;", '\xF8', 7}, {"nbsp ", ' ', 4},    {"#169x", '\xA9', 4},
    };
    for (const Case& c : cases) {
        auto r = DecodeCharacterReference(c.text);
        ASSERT_TRUE(r.has_value()) << c.text;
        EXPECT_EQ(r->character, c.ch) << c.text;
        EXPECT_EQ(r->consumed, c.consumed) << c.text;
    }
}

TEST(DecodeCharacterReference, UnknownNamesAndLettersAreNotDecoded) {
    for (const char* t : {"", "x", "foo;", "Szlig;", "bcirc;", "#00;", "#07;", "#55296;", "amp",
                          "toolongname;", "#1x;"})
        EXPECT_FALSE(DecodeCharacterReference(t).has_value()) << t;
}

}  // namespace
}  // namespace quill

// Mail as other programs write it: transfer encodings, character sets, MIME
// defaults, and the parse of one message as a given type's reader reads it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "database/Charset.h"
#include "import/Charsets.h"
#include "import/Headers.h"
#include "import/LineQueue.h"
#include "import/Mime.h"
#include "import/ParseMessage.h"

namespace quill {
namespace {

// The text a message gets when read as mail, shown as UTF-8.
std::string mailText(const std::string& message, std::string_view type = "Generic Mail Type 2") {
    return cp1252ToUtf8(parseMessageBytes(message, {}, type).text);
}

// ---------------------------------------------------------------------------
// parse reads as the type's reader reads

TEST(ParseMessage, MailWithoutToOrSubjectKeepsItsBody) {
    ParsedMessage m = parseMessageBytes("From: a@example.org\nDate: Mon, 5 Jan 2004 10:00:00 +0000\n\nHello there\n");
    EXPECT_EQ(m.importType, "Generic Mail Type 2");
    EXPECT_EQ(m.messageKind, MessageMail);
    EXPECT_EQ(m.text, "Hello there\r\n");
}

TEST(ParseMessage, BlockStartingWithSubjectIsMailNotForum) {
    ParsedMessage m = parseMessageBytes("Subject: Lunch\nFrom: a@example.org\n\nAt noon\n");
    EXPECT_EQ(m.messageKind, MessageMail);
    EXPECT_EQ(m.NHR.HEADING.str(), "Lunch");
    EXPECT_EQ(m.text, "At noon\r\n");
}

TEST(ParseMessage, QuotedNameHoldingAnAddressGivesTheBracketedAddress) {
    for (std::string_view type : {"Generic Mail Type 2", "Unix News", "Outlook Express 5 News"}) {
        ParsedMessage m = parseMessageBytes("From: \"a@b.com\" <c@d.com>\nTo: x@y.org\nSubject: s\n\nbody\n", {}, type);
        EXPECT_EQ(m.NHR.S_CISADRESS.str(), "c@d.com") << type;
    }
}

TEST(ParseMessage, NewsgroupsLineChoosesNewsByDefault) {
    ParsedMessage m = parseMessageBytes("From: a@b.org\nNewsgroups: comp.lang.c\nSubject: q\n\nbody\n");
    EXPECT_EQ(m.importType, "Unix News");
    EXPECT_EQ(m.messageKind, MessageNews);
    ParsedMessage asMail = parseMessageBytes("From: a@b.org\nNewsgroups: comp.lang.c\nSubject: q\n\nbody\n", {},
                                             "Generic Mail Type 2");
    EXPECT_TRUE(asMail.skipped);
}

TEST(ParseMessage, TwoSubjectLinesKeepTheFirst) {
    const std::pair<std::string_view, std::string> cases[] = {
        {"Generic Mail Type 2", "From: a@b.org\nSubject: first\nSubject: second\n\nbody\n"},
        {"Unix News", "From: a@b.org\nNewsgroups: x\nSubject: first\nSubject: second\n\nbody\n"},
        {"Eudora", "From ???@??? Mon Jan 05 12:00:00 1998\nFrom: a@b.org\nSubject: first\nSubject: second\n\nbody\n"},
    };
    for (const auto& [type, message] : cases)
        EXPECT_EQ(parseMessageBytes(message, {}, type).NHR.HEADING.str(), "first") << type;
}

TEST(ParseMessage, HugeMessageOfEmptyLinesStaysWithinTheQueueBudget) {
    // 20 MB of empty lines: the queue keeps its head and counts the rest.
    std::string message = "From: a@b.org\nSubject: s\n\ntext\n" + std::string(20u * 1024u * 1024u, '\n') + "end\n";
    std::istringstream in(message);
    ParsedMessage m = parseMessageStream(in);
    EXPECT_GT(m.droppedLines, 0u);
    EXPECT_EQ(m.text.substr(0, 6), "text\r\n");
    EXPECT_LE(m.text.size(), MessageTextMax);
}

TEST(LineQueue, RefusesEntriesPastItsBudgetAndForgetsOnClear) {
    LineQueue q;
    q.byteBudget = 10 * LineEntryCost;
    for (int i = 0; i < 20; ++i) addLine(q, "");
    EXPECT_EQ(q.size(), 10u);
    EXPECT_EQ(q.droppedLines, 10u);
    q.encoding.charset = "utf-8";
    q.clear();
    EXPECT_EQ(q.droppedLines, 0u);
    EXPECT_TRUE(q.encoding.charset.empty());
    addLine(q, "x");
    EXPECT_EQ(q.size(), 1u);
}

TEST(LineQueue, RemovalMarkerIsRecognisedByItsFirstSeventeenCharacters) {
    LineQueue q = splitLines("keep\n!!!Remove this!!! and more\n!!!Remove thi\n");
    EXPECT_FALSE(isRemoved(q[0]));
    EXPECT_TRUE(isRemoved(q[1]));
    EXPECT_FALSE(isRemoved(q[2]));
    EXPECT_EQ(BuildMessageText(ContentPlain, q, 1, q.size()), "keep\r\n!!!Remove thi\r\n");
}

// ---------------------------------------------------------------------------
// Addresses

TEST(SplitNewsAddress, InternetInsideAnAddressIsNoGatewayPrefix) {
    struct Case { const char* text; const char* address; const char* name; };
    const Case cases[] = {
        {"Internet-Drafts@ietf.org", "Internet-Drafts@ietf.org", ""},
        {"info@internet.com", "info@internet.com", ""},
        {"INTERNET:joe@x.com", "joe@x.com", ""},
        {"internet:joe@x.com", "joe@x.com", ""},
        {"Joe Smith >INTERNET:joe@x.com", "joe@x.com", "Joe Smith >"},
    };
    for (const Case& c : cases) {
        SplitAddress s = splitNewsAddressText(c.text);
        EXPECT_EQ(s.address, c.address) << c.text;
    }
}

// ---------------------------------------------------------------------------
// MIME structure

TEST(MultipartBoundary, MissingUnterminatedOrExtendedBoundaryKeepsTheMessage) {
    struct Case { const char* name; std::string message; std::string text; };
    const Case cases[] = {
        {"no boundary parameter", "From: a@b.org\nContent-Type: multipart/mixed\n\nwhole body\n", "whole body\r\n"},
        {"boundary never met", "From: a@b.org\nContent-Type: multipart/mixed; boundary=zz\n\nwhole body\n",
         "whole body\r\n"},
        {"RFC 2231 boundary", "From: a@b.org\nContent-Type: multipart/mixed; boundary*=\"b1\"\n\npre\n--b1\n\n"
                              "part text\n--b1--\n", "part text\r\n"},
        {"RFC 2231 boundary with charset", "From: a@b.org\nContent-Type: multipart/mixed;\n boundary*=us-ascii''b%31\n\n"
                                           "--b1\n\npart text\n--b1--\n", "part text\r\n"},
    };
    for (const Case& c : cases) {
        ParsedMessage m = parseMessageBytes(c.message);
        EXPECT_FALSE(m.skipped) << c.name;
        EXPECT_EQ(m.text, c.text) << c.name;
    }
}

TEST(ChooseMimePart, PartWithoutContentTypeIsPlainText) {
    LineQueue q = splitLines("--b\nContent-Disposition: inline\n\nHi. This is the deliver program\n--b\n"
                             "Content-Type: message/delivery-status\n\nStatus: 5.0.0\n--b--\n");
    EXPECT_EQ(ChooseMimePart(q, 1, q.size(), "b"), 0);
    EXPECT_EQ(BuildMessageText(ContentPlain, q, 1, q.size()), "Hi. This is the deliver program\r\n");

    MimeLineFilter f("=_boundary1");
    EXPECT_EQ(ChooseMimePartByLine(f, "--=_boundary1"), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, ""), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "text"), MimeKeepLine);
    EXPECT_EQ(ChooseMimePartByLine(f, "--=_boundary1"), MimeEndMessage);
}

TEST(ChooseMimePart, EnrichedPartIsReportedAsPlainAndStillConverted) {
    LineQueue q = splitLines("--=_b1\nContent-Type: text/enriched\n\n<bold>Hi</bold> <<x\n--=_b1--\n");
    EXPECT_EQ(ChooseMimePart(q, 1, q.size(), "=_b1"), 0);
    EXPECT_EQ(BuildMessageText(ContentPlain, q, 1, q.size()), "Hi <x\r\n");
}

TEST(ChooseMimePart, PreambleGoesWhenAPartIsChosen) {
    EXPECT_EQ(mailText("From: a@b.org\nContent-Type: multipart/alternative; boundary=\"b\"\n\n"
                       "This is a multi-part message in MIME format.\n\n--b\nContent-Type: text/plain\n\nreal text\n--b--\n"),
              "real text\r\n");
}

TEST(ChooseMimePart, MessageWithoutTextPartNamesWhatItHeld) {
    const std::string message =
        "From: a@b.org\nContent-Type: multipart/mixed; boundary=b\n\nThis is a multi-part message.\n--b\n"
        "Content-Type: image/jpeg; name=\"photo.jpg\"\nContent-Transfer-Encoding: base64\n\n" +
        std::string(76, 'A') + "\n--b--\n";
    EXPECT_EQ(mailText(message), "[attachment: image/jpeg, photo.jpg, 1 KB]");
    EXPECT_EQ(mailText("From: a@b.org\nContent-Type: application/pdf\nContent-Disposition: attachment; "
                       "filename*=utf-8''r%C3%A9sum%C3%A9.pdf\nContent-Transfer-Encoding: base64\n\nJVBERi0x\n"),
              "[attachment: application/pdf, r\u00e9sum\u00e9.pdf, 1 KB]");
}

// ---------------------------------------------------------------------------
// Transfer encodings and charsets

TEST(BuildMessageText, DecodesTransferEncodingsAndCharsets) {
    struct Case { const char* name; std::string headers; std::string body; std::string text; };
    const Case cases[] = {
        {"quoted-printable utf-8", "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n",
         "There=20is a caf=C3=A9, can=E2=80=99t=\n stop.\n", "There is a caf\u00e9, can\u2019t stop.\r\n"},
        {"quoted-printable lower-case hex", "Content-Transfer-Encoding: Quoted-Printable\n", "a=3db =e9\n", "a=b \u00e9\r\n"},
        {"base64 utf-8", "Content-Type: text/plain; charset=\"UTF-8\"\nContent-Transfer-Encoding: base64\n",
         "0J/RgNC40LLQtdGCLCB3b3JsZCEK\n", "\u041f\u0440\u0438\u0432\u0435\u0442, world!\r\n"},
        {"base64 html", "Content-Type: text/html; charset=iso-8859-1\nContent-Transfer-Encoding: base64\n",
         "PHA+Y2Fm6TwvcD4=\n", "caf\u00e9"},
        {"undeclared utf-8", "", "can\xE2\x80\x99t\n", "can\u2019t\r\n"},
        {"undeclared windows-1252", "", "can\x92t\n", "can\u2019t\r\n"},
        {"undeclared text with a stray = is not decoded", "", "x=20 and y = 3\n", "x=20 and y = 3\r\n"},
        {"undeclared quoted-printable is decoded", "", "There=20is=\nmore\n", "There ismore\r\n"},
        {"8bit keeps = escapes", "Content-Transfer-Encoding: 8bit\n", "a=20b\n", "a=20b\r\n"},
        {"html entities beyond latin-1", "Content-Type: text/html\n", "<p>a&rsquo;b &euro;5 &#x416;</p>\n",
         "a\u2019b \u20ac5 \u0416"},
    };
    for (const Case& c : cases) {
        const std::string message = "From: a@b.org\nSubject: s\n" + c.headers + "\n" + c.body;
        EXPECT_EQ(mailText(message), c.text) << c.name;
    }
}

TEST(ToArchiveText, ConvertsEveryCharsetIntoWindows1252AndReferences) {
    struct Case { const char* charset; std::string bytes; std::string archive; };
    const Case cases[] = {
        {"utf-8", "caf\xC3\xA9 \xE2\x82\xAC \xD0\x96 \xF0\x9F\x98\x80", "caf\xE9 \x80 &#1046; &#128512;"},
        {"ISO-8859-1", "caf\xE9", "caf\xE9"},
        {"iso-8859-2", "\xB3\xF3" "d\xBC", "&#322;\xF3" "d&#378;"},
        {"iso-8859-15", "\xA4 \xBD", "\x80 \x9C"},
        {"windows-1251", "\xCF\xF0\xE8", "&#1055;&#1088;&#1080;"},
        {"koi8-r", "\xF0\xD2\xC9", "&#1055;&#1088;&#1080;"},
        {"gb2312", "\xC4\xE3\xBA\xC3", "&#20320;&#22909;"},
        {"x-no-such-charset", "caf\xC3\xA9", "caf\xE9"},
        {"x-no-such-charset", "caf\xE9", "caf\xE9"},
        {"utf-8", "bad \xFF byte \xC3", "bad \xFF byte \xC3"},
        {"", "plain ascii", "plain ascii"},
        {"us-ascii", "mislabelled \xC3\xA9", "mislabelled \xE9"},
    };
    for (const Case& c : cases) EXPECT_EQ(toArchiveText(c.bytes, c.charset), c.archive) << c.charset << " " << c.bytes;
}

// ---------------------------------------------------------------------------
// References: stored whole, shown as characters

TEST(CharacterReferences, RoundTripThroughStoringAndShowing) {
    const std::string utf8 = "\u041f\u0440\u0438\u0432\u0435\u0442 \u00e9\u20ac \u4f60\u597d \U0001F600";
    const std::string stored = utf8ToCp1252(utf8);
    EXPECT_EQ(stored, "&#1055;&#1088;&#1080;&#1074;&#1077;&#1090; \xE9\x80 &#20320;&#22909; &#128512;");
    EXPECT_EQ(cp1252ToUtf8(stored), utf8);
    // Not references: left as written.
    EXPECT_EQ(cp1252ToUtf8("&#; &#x; &#12 &amp; &#0; &#55296;"), "&#; &#x; &#12 &amp; &#0; &#55296;");
}

TEST(CharacterReferences, FixedFieldIsNeverCutInsideOne) {
    FStr<10> f;
    f = "abc&#1055;xyz";  // the reference would end at byte 10: it fits
    EXPECT_EQ(f.str(), "abc&#1055;");
    f = "abcd&#1055;xyz";  // it would end at byte 11: left out whole
    EXPECT_EQ(f.str(), "abcd");
    f = "abcdefghij&#1055;";
    EXPECT_EQ(f.str(), "abcdefghij");
    EXPECT_EQ(referenceSafeLength("a&b;cdefgh", 3), 3u);  // "&b;" is no reference
}

}  // namespace
}  // namespace quill

#include "import/Headers.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "database/Calendar.h"

namespace quill {
namespace {

LineQueue queueOf(std::initializer_list<std::string_view> lines) {
    LineQueue q;
    for (std::string_view l : lines) addLine(q, l);
    return q;
}

std::string joined(const LineQueue& q, std::size_t from) {
    return BuildMessageText(ContentPlain, q, from, q.size());
}

// A run context that records the identifier records it is given.
struct ImportRun {
    HeaderContext ctx;
    std::map<std::uint32_t, std::string> ids;
    std::set<std::string> targets;
    ImportRun() {
        ctx.ownerAddress = "Owner@Example.org";
        ctx.ownerName = "Olivia Owner";
        ctx.identifierCounter = 500;
        ctx.appendTempId = [this](std::string_view id, std::uint32_t n) { ids[n] = std::string(id); };
        ctx.targetHolds = [this](std::string_view g) { return targets.count(std::string(g)) > 0; };
    }
};

// ---------------------------------------------------------------------------

TEST(ClassifyHeaderLine, KindsOfHeaderLines) {
    struct Case { const char* line; int kind; };
    const Case cases[] = {
        {"From: Joe <joe@x.org>", HeaderFrom},
        {"from:joe", HeaderFrom},
        {"Date: Mon, 5 Jan 1998 10:00:00 +0100", HeaderDate},
        {"To: bob@x.org", HeaderTo},
        {"Subject: hello", HeaderSubject},
        {"Newsgroups: comp.lang.c", HeaderNewsgroups},
        {"Message-ID: <1@x>", HeaderMessageId},
        {"From joe@x.org Mon Jan  5 10:00:00 1998", HeaderOther},
        {"Received: from a by b", HeaderOther},
        {"Content-Type: text/plain", HeaderOther},
        {"Content-Type:text/plain", HeaderNone},
        {"X-Mailer: Thing 1.0", HeaderOther},
        {"X-Mailer:Thing", HeaderNone},
        {"List-Id: <l.x.org>", HeaderOther},
        {"Original-Recipient: rfc822;a@b", HeaderOther},
        {"Return-Path: <a@b>", HeaderOther},
        {"Path: a!b", HeaderOther},
        {"Cc: bob@x.org", HeaderNone},
        {"Bcc: bob@x.org", HeaderNone},
        {"\tcontinued", HeaderNone},
        {" From: not at column 1", HeaderNone},
        {"", HeaderNone},
        {"From the desk of Joe", HeaderNone},
        {"Dear Bob,", HeaderNone},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyHeaderLine(c.line), c.kind) << c.line;
}

TEST(ClassifyHeaderLine, LooksOnlyAtTheFirstFiftyCharacters) {
    std::string line = "From " + std::string(50, 'x') + "@host";
    EXPECT_EQ(ClassifyHeaderLine(line), HeaderNone);
    EXPECT_EQ(ClassifyHeaderLine("X-" + std::string(50, 'a') + ": v"), HeaderNone);
}

TEST(IsInternetHeaderLine, RecognisesTheSevenHeaderNames) {
    for (const char* yes : {"Sender: a", "RECEIVED: x", "message-id: <a>", "Subject:", "to: x", "From:x", "DATE: 1"})
        EXPECT_TRUE(IsInternetHeaderLine(yes)) << yes;
    for (const char* no : {"Cc: x", "Reply-To: x", "Fm: x", "", "Toby was here", " From: x"})
        EXPECT_FALSE(IsInternetHeaderLine(no)) << no;
}

// ---------------------------------------------------------------------------

TEST(StripReplyPrefix, RemovesOneLeadingReplyPrefix) {
    struct Case { const char* in; const char* out; };
    for (Case c : {Case{"RE:   word", "word"}, {"Re: Re: twice", "Re: twice"}, {"  re:x", "x"},
                   {"Reply hazy", "Reply hazy"}, {"", ""}, {"RE:", ""}, {"Subject Re: x", "Subject Re: x"}})
        EXPECT_EQ(StripReplyPrefix(c.in), c.out) << c.in;
}

TEST(ParseHeaderDate, GeneralReadingOfTheUsualForms) {
    struct Case { const char* value; int y, mo, d, h, mi, s; };
    const Case cases[] = {
        {"Mon, 5 Jan 1998 14:30 +0100", 1998, 1, 5, 14, 30, 0},
        {"Mon, 05 Apr 93 18:01:16 GMT", 1993, 4, 5, 18, 1, 16},
        {"Tue,  6 Apr 1993 09:07:01 -0500", 1993, 4, 6, 9, 7, 1},
        {"Thursday, 22 Apr 1993 12:37:44 EDT", 1993, 4, 22, 12, 37, 44},
        {"21 Jun 91 02:56:59 GMT", 1991, 6, 21, 2, 56, 59},
        {"5 Apr 1993 17:37:56 GMT", 1993, 4, 5, 17, 37, 56},
        {"5-Apr-93 17:37", 1993, 4, 5, 17, 37, 0},
        {"05-APR-1993 17:37:56", 1993, 4, 5, 17, 37, 56},
        {"  \t27 Apr 93 23:16:13 GMT", 1993, 4, 27, 23, 16, 13},
        {"Wed May  5 22:33:48 1982", 1982, 5, 5, 22, 33, 48},
        {"Sat, 1 Mai 1999 08:00:00 +0200", 1999, 5, 1, 8, 0, 0},
    };
    for (const Case& c : cases) {
        DateTime dt = ParseHeaderDate(c.value, DateReading::General);
        EXPECT_EQ(dt.date, dateFromYmd(c.y, c.mo, c.d)) << c.value;
        EXPECT_EQ(dt.time, timeFromHms(c.h, c.mi, c.s)) << c.value;
    }
}

TEST(ParseHeaderDate, DateWithoutTimeGivesTheDateAndNoTime) {
    for (DateReading reading : {DateReading::General, DateReading::Simple}) {
        for (const char* v : {"4 Apr 1993", "04 Apr 93", "Sun, 4 Apr 1993"}) {
            DateTime dt = ParseHeaderDate(v, reading);
            EXPECT_EQ(dt.date, dateFromYmd(1993, 4, 4)) << v;
            EXPECT_EQ(dt.time, 0) << v;
        }
    }
}

TEST(ParseHeaderDate, UnreadableValuesGiveNoDateAndNoTime) {
    for (const char* v : {"", "yesterday", "1998-01-05 10:00", "Mon, 32 Jan 1998 10:00", "31 Foo 1998 10:00",
                          "Mon,", "\xFF\xFE,\x01"}) {
        DateTime dt = ParseHeaderDate(v, DateReading::General);
        EXPECT_EQ(dt.date, 0) << v;
        EXPECT_EQ(dt.time, 0) << v;
    }
}

TEST(ParseHeaderDate, SimpleReadingDropsTheWeekdayAndPadsAOneDigitDay) {
    DateTime a = ParseHeaderDate("Mon, 5 Jan 1998 14:30:15 +0100", DateReading::Simple);
    EXPECT_EQ(a.date, dateFromYmd(1998, 1, 5));
    EXPECT_EQ(a.time, timeFromHms(14, 30, 15));
    DateTime b = ParseHeaderDate("15 Dez 98 07:05", DateReading::Simple);
    EXPECT_EQ(b.date, dateFromYmd(1998, 12, 15));
    EXPECT_EQ(b.time, timeFromHms(7, 5, 0));
}

// ---------------------------------------------------------------------------

TEST(SplitInternetAddress, CommonFormsGiveLowerCasedAddressAndBareName) {
    struct Case { const char* text; const char* address; const char* name; };
    const Case cases[] = {
        {"\"John Smith\" <John.Smith@Example.COM>", "john.smith@example.com", "John Smith"},
        {"John.Smith@Example.COM (John Smith)", "john.smith@example.com", "John Smith"},
        {"John Smith <js@x.org>", "js@x.org", "John Smith"},
        {"John Smith js@x.org", "js@x.org", "John Smith"},
        {"Smith<js@x.org>", "js@x.org", "Smith"},
        {"<js@x.org>", "js@x.org", ""},
        {"js@x.org", "js@x.org", ""},
        {"Nobody Special", "nobody special", ""},
        {"a@b.org, c@d.org", "a@b.org", ""},
        {"\"Smith, John\" <js@x.org>, \"Doe, Jane\" <jd@x.org>", "js@x.org", "Smith, John"},
        {"Smith, John <js@x.org>", "js@x.org", "Smith, John"},
        {"\"A\" <js@x.org>", "js@x.org", "A"},
        {"\"\" <js@x.org>", "js@x.org", "\"\""},
    };
    for (const Case& c : cases) {
        NewHRRecord NHR{};
        SplitInternetAddress(2, c.text, NHR);
        EXPECT_EQ(NHR.S_CISADRESS.str(), c.address) << c.text;
        EXPECT_EQ(NHR.S_NAME.str(), c.name) << c.text;
        SplitInternetAddress(1, c.text, NHR);
        EXPECT_EQ(NHR.R_CISADRESS.str(), c.address) << c.text;
    }
}

TEST(SplitNewsAddress, NewsAndServiceForms) {
    struct Case { const char* text; const char* address; const char* name; };
    const Case cases[] = {
        {"John Smith <JS@x.org>", "js@x.org", "John Smith"},
        {"<js@x.org>", "js@x.org", "js"},
        {"\"John Smith\" js@x.org", "js@x.org", "John Smith"},
        {"John Smith >INTERNET:js@x.org", "js@x.org", "John Smith"},
        {"INTERNET:js@x.org", "js@x.org", ""},
        {"js@x.org (John Smith)", "js@x.org", "John Smith"},
        {"John Smith 70000,123", "70000,123", "John Smith"},
        {"John Smith [70000.123]", "70000,123", "John Smith"},
        {"John Smith 70000, 123", "70000,123", "John Smith"},
        {"70000.123", "70000,123", ""},
        {"[70000,123]", "70000,123", ""},
        {"Smith, John", "", "Smith, John"},
        {"Jo 1", "", "Jo 1"},
        {"John Smith 7x000,123", "", "John Smith 7x000,123"},
    };
    ImportRun run;
    for (const Case& c : cases) {
        NewHRRecord NHR{};
        SplitNewsAddress(1, 3, c.text, NHR, run.ctx);
        EXPECT_EQ(NHR.R_CISADRESS.str(), c.address) << c.text;
        EXPECT_EQ(NHR.R_NAME.str(), c.name) << c.text;
    }
}

TEST(SplitNewsAddress, MailFromTheOwnerIsSentAndTakesTheOwnerName) {
    ImportRun run;
    NewHRRecord NHR{};
    SplitNewsAddress(2, 2, "Me Myself <OWNER@example.org>", NHR, run.ctx);
    EXPECT_EQ(NHR.MAILTYPE, 2);
    EXPECT_EQ(NHR.S_CISADRESS.str(), "owner@example.org");
    EXPECT_EQ(NHR.S_NAME.str(), "Olivia Owner");
    SplitNewsAddress(1, 2, "Bob <Bob@x.org>", NHR, run.ctx);
    EXPECT_EQ(NHR.R_CISADRESS.str(), "bob@x.org");
    EXPECT_EQ(NHR.R_NAME.str(), "Bob");

    NewHRRecord in{};
    SplitNewsAddress(2, 2, "Bob <Bob@x.org>", in, run.ctx);
    EXPECT_EQ(in.MAILTYPE, 1);
    EXPECT_EQ(in.S_NAME.str(), "Bob");
    SplitNewsAddress(1, 2, "Someone <s@x.org>", in, run.ctx);
    EXPECT_EQ(in.R_CISADRESS.str(), "owner@example.org");
    EXPECT_EQ(in.R_NAME.str(), "Olivia Owner");
}

TEST(ChooseNewsgroup, FirstListedGroupThatHasATargetElseTheFirstListed) {
    std::set<std::string> held = {"COMP.LANG.C"};
    auto holds = [&](std::string_view g) { return held.count(std::string(g)) > 0; };
    EXPECT_EQ(ChooseNewsgroup("alt.test, comp.lang.c ,rec.misc", holds), "comp.lang.c");
    EXPECT_EQ(ChooseNewsgroup("alt.test,rec.misc", holds), "alt.test");
    EXPECT_EQ(ChooseNewsgroup(" , ,alt.x", holds), "alt.x");
    EXPECT_EQ(ChooseNewsgroup("", holds), "");
    EXPECT_EQ(ChooseNewsgroup("a,b", nullptr), "a");
}

TEST(LastReference, TakesTheLastIdentifier) {
    EXPECT_EQ(lastReference("<a@x> <b@x>  <c@x>  "), "<c@x>");
    EXPECT_EQ(lastReference("<a@x> (Joe's message of Monday)"), "<a@x>");
    EXPECT_EQ(lastReference("a@x b@x"), "b@x");
    EXPECT_EQ(lastReference(""), "");
    EXPECT_EQ(lastReference("<" + std::string(100, 'z') + ">").size(), 102u);
}

// ---------------------------------------------------------------------------

TEST(ParseMailHeaders, FillsTheStagingFieldsAndLeavesHeadersOutOfTheText) {
    ImportRun run;
    LineQueue q = queueOf({
        "From joe@x.org Mon Jan  5 10:00:00 1998",
        "Return-Path: <joe@x.org>",
        "From: \"Joe Bloggs\" <Joe.Bloggs@X.org>",
        "To: Olivia <owner@example.org>",
        "Cc: Carl <carl@x.org>",
        "Subject: RE:   Lunch",
        "Date: Mon, 5 Jan 1998 14:30 +0100",
        "",
        "",
        "Hello,",
        "",
        "see you.",
    });
    NewHRRecord NHR{};
    MailHeaderResult r = ParseMailHeaders(q, 1, NHR, run.ctx);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bodyStart, 9u);
    EXPECT_EQ(r.contentKind, ContentPlain);
    EXPECT_EQ(NHR.S_CISADRESS.str(), "joe.bloggs@x.org");
    EXPECT_EQ(NHR.S_NAME.str(), "Joe Bloggs");
    EXPECT_EQ(NHR.R_CISADRESS.str(), "owner@example.org");
    EXPECT_EQ(NHR.R_NAME.str(), "Olivia Owner");
    EXPECT_EQ(NHR.MAILTYPE, 1);
    EXPECT_EQ(NHR.HEADING.str(), "Lunch");
    EXPECT_EQ(NHR.DATE, dateFromYmd(1998, 1, 5));
    EXPECT_EQ(NHR.TIME, timeFromHms(14, 30, 0));
    EXPECT_EQ(joined(q, r.bodyStart), "Hello,\r\n\r\nsee you.\r\n");
}

TEST(ParseMailHeaders, MailFromTheOwnerIsSentToTheFirstRecipient) {
    ImportRun run;
    LineQueue q = queueOf({"From: owner@example.org", "To: Bob <bob@x.org>, al@x.org (X)", "", "Hi"});
    NewHRRecord NHR{};
    ASSERT_TRUE(ParseMailHeaders(q, 1, NHR, run.ctx).ok);
    EXPECT_EQ(NHR.MAILTYPE, 2);
    EXPECT_EQ(NHR.S_NAME.str(), "Olivia Owner");
    EXPECT_EQ(NHR.R_CISADRESS.str(), "bob@x.org");
    EXPECT_EQ(NHR.R_NAME.str(), "Bob");
    EXPECT_EQ(NHR.DATE, 0);
    EXPECT_EQ(NHR.TIME, 0);
    EXPECT_TRUE(NHR.HEADING.empty());
}

TEST(ParseMailHeaders, MissingToLeavesASentMailWithoutReceiver) {
    ImportRun run;
    LineQueue q = queueOf({"From: owner@example.org", "To:   ", "Subject: x", "", "Hi"});
    NewHRRecord NHR{};
    NHR.R_CISADRESS = "stale";
    ASSERT_TRUE(ParseMailHeaders(q, 1, NHR, run.ctx).ok);
    EXPECT_TRUE(NHR.R_CISADRESS.empty());
    EXPECT_TRUE(NHR.R_NAME.empty());
}

TEST(ParseMailHeaders, RejectsNewsArticlesButKeepsMultipartWithoutBoundary) {
    ImportRun run;
    NewHRRecord NHR{};
    LineQueue news = queueOf({"From: a@b", "Newsgroups: comp.lang.c", "", "x"});
    EXPECT_FALSE(ParseMailHeaders(news, 1, NHR, run.ctx).ok);
    LineQueue nob = queueOf({"From: a@b", "Content-Type: multipart/mixed", "", "x"});
    MailHeaderResult h = ParseMailHeaders(nob, 1, NHR, run.ctx);
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(BuildMessageText(h.contentKind, nob, h.bodyStart, nob.size()), "x\r\n");
    LineQueue digest = queueOf({"From: a@b", "Content-Type: multipart/digest", "", "x"});
    EXPECT_TRUE(ParseMailHeaders(digest, 1, NHR, run.ctx).ok);
}

TEST(ParseMailHeaders, HeaderNamesInsideTheRestOfASplitLineAreNotHeaders) {
    ImportRun run;
    LineQueue q;
    addLine(q, "X-Long: " + std::string(392, 'a') + "Newsgroups: alt.fake");
    addLine(q, "From: a@b.org");
    addLine(q, "");
    addLine(q, "body");
    ASSERT_EQ(q.size(), 5u);
    NewHRRecord NHR{};
    MailHeaderResult r = ParseMailHeaders(q, 1, NHR, run.ctx);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bodyStart, 5u);
}

TEST(ParseMailHeaders, BoundaryOnAContinuationLineChoosesTheTextPart) {
    ImportRun run;
    LineQueue q = queueOf({
        "From: a@b.org",
        "Content-Type: multipart/alternative;",
        "\tboundary=\"==b1==\"",
        "",
        "--==b1==",
        "Content-Type: text/html",
        "",
        "<p>Hello <b>there</b></p>",
        "--==b1==",
        "Content-Type: text/plain",
        "",
        "Hello there",
        "--==b1==--",
    });
    NewHRRecord NHR{};
    MailHeaderResult r = ParseMailHeaders(q, 1, NHR, run.ctx);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.contentKind, ContentHtml);
    EXPECT_EQ(r.boundary, "==b1==");
    std::string text = BuildMessageText(r.contentKind, q, r.bodyStart, q.size());
    EXPECT_NE(text.find("Hello"), std::string::npos);
    EXPECT_EQ(text.find('<'), std::string::npos);
    EXPECT_EQ(text.find("Hello there\r\n"), std::string::npos) << "the plain copy is dropped";
}

TEST(ParseMailHeaders, OutlookExpressFiveLeavesThePartChoiceToTheReader) {
    ImportRun run;
    run.ctx.importType = "Outlook Express 5 Mail";
    LineQueue q = queueOf({"From: a@b.org", "Content-Type: multipart/mixed; boundary=xyzzy1234", "", "--xyzzy1234",
                           "Content-Type: image/gif", "", "GIF89a"});
    NewHRRecord NHR{};
    MailHeaderResult r = ParseMailHeaders(q, 1, NHR, run.ctx);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.boundary, "xyzzy1234");
    for (const LineEntry& e : q) EXPECT_FALSE(isRemoved(e));
}

TEST(ParseMailHeaders, PegasusDatesUseTheSimpleReading) {
    ImportRun run;
    run.ctx.importType = "Pegasus";
    LineQueue q = queueOf({"From: a@b.org", "Date: Fri, 7 Mar 1997 08:09:10 GMT", "", "x"});
    NewHRRecord NHR{};
    ASSERT_TRUE(ParseMailHeaders(q, 1, NHR, run.ctx).ok);
    EXPECT_EQ(NHR.DATE, dateFromYmd(1997, 3, 7));
    EXPECT_EQ(NHR.TIME, timeFromHms(8, 9, 10));
}

TEST(ParseMailHeaders, UsesTheRunsOwnerTestWhenGiven) {
    ImportRun run;
    int calls = 0;
    run.ctx.mailboxDirection = [&](NewHRRecord& r) {
        ++calls;
        r.MAILTYPE = 2;
        r.S_CISADRESS = "main@owner.org";
    };
    LineQueue q = queueOf({"From: alias@owner.org", "To: b@x.org", "", "x"});
    NewHRRecord NHR{};
    ASSERT_TRUE(ParseMailHeaders(q, 1, NHR, run.ctx).ok);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(NHR.S_CISADRESS.str(), "main@owner.org");
    EXPECT_EQ(NHR.S_NAME.str(), "Olivia Owner");
    EXPECT_EQ(NHR.R_CISADRESS.str(), "b@x.org");
}

// ---------------------------------------------------------------------------

TEST(ParseSeparatedMailHeaders, WithoutDateTheOwnerSentItOnTheSeparatorsDate) {
    ImportRun run;
    LineQueue q = queueOf({"From ???@??? Tue Mar 04 09:15:30 1997", "To: Bob <bob@x.org>", "Subject: Plans",
                           "Content-Type: multipart/alternative; boundary=\"x\"", "", "Text"});
    NewHRRecord NHR{};
    MailHeaderResult r = ParseSeparatedMailHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(NHR.MAILTYPE, 2);
    EXPECT_EQ(NHR.DATE, dateFromYmd(1997, 3, 4));
    EXPECT_EQ(NHR.TIME, timeFromHms(9, 15, 30));
    EXPECT_EQ(NHR.S_CISADRESS.str(), "owner@example.org");
    EXPECT_EQ(NHR.S_NAME.str(), "Olivia Owner");
    EXPECT_EQ(NHR.R_CISADRESS.str(), "bob@x.org");
    EXPECT_EQ(r.contentKind, ContentHtml);
    EXPECT_EQ(r.bodyStart, 6u);
}

TEST(ParseSeparatedMailHeaders, WithDateItWasReceivedByTheOwner) {
    ImportRun run;
    LineQueue q = queueOf({"From ???@??? Tue Mar 04 09:15:30 1997", "From: Bob <bob@x.org>", "To: someone@else.org",
                           "Date: 3 Mar 1997 23:00:00", "", "Text"});
    NewHRRecord NHR{};
    ParseSeparatedMailHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(NHR.MAILTYPE, 1);
    EXPECT_EQ(NHR.DATE, dateFromYmd(1997, 3, 3));
    EXPECT_EQ(NHR.S_CISADRESS.str(), "bob@x.org");
    EXPECT_EQ(NHR.R_CISADRESS.str(), "owner@example.org");
    EXPECT_EQ(NHR.R_NAME.str(), "Olivia Owner");
}

// ---------------------------------------------------------------------------

TEST(ParseInternetHeaders, NewsArticleGetsIdentifiersGroupAndBody) {
    ImportRun run;
    run.targets = {"REC.MISC"};
    LineQueue q = queueOf({
        "Path: a!b",
        "From: Ann <Ann@News.org>",
        "Newsgroups: alt.test,rec.misc",
        "Subject: Re: Bikes",
        "Message-ID: <m1@news.org>",
        "References: <r0@news.org>",
        "\t<r1@news.org>",
        "Date: 21 Jun 91 02:56:59 GMT",
        "Lines: 2",
        "",
        "",
        "First",
        "Second",
    });
    NewHRRecord NHR{};
    InternetHeaderResult r = ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(r.messageKind, MessageNews);
    EXPECT_EQ(r.bodyStart, 12u);
    ASSERT_TRUE(r.lineCount.has_value());
    EXPECT_EQ(*r.lineCount, 2u);
    EXPECT_EQ(NHR.FOR_DESCRIPTION.str(), "rec.misc");
    EXPECT_EQ(NHR.MSGNUMBER, 500u);
    EXPECT_EQ(NHR.REFNUMBER, 501u);
    EXPECT_EQ(run.ctx.identifierCounter, 502u);
    EXPECT_EQ(run.ids.at(500), "<m1@news.org>");
    EXPECT_EQ(run.ids.at(501), "<r1@news.org>");
    EXPECT_EQ(NHR.S_CISADRESS.str(), "ann@news.org");
    EXPECT_EQ(NHR.S_NAME.str(), "Ann");
    EXPECT_TRUE(NHR.R_CISADRESS.empty());
    EXPECT_EQ(NHR.R_NAME.str(), "Unknown");
    EXPECT_EQ(NHR.HEADING.str(), "Bikes");
    EXPECT_EQ(NHR.DATE, dateFromYmd(1991, 6, 21));
    EXPECT_EQ(joined(q, r.bodyStart), "First\r\nSecond\r\n");
}

TEST(ParseInternetHeaders, ReferencesPastFourHundredCharactersGiveTheLastIdentifier) {
    ImportRun run;
    std::string refs = "References:";
    for (int i = 0; i < 40; ++i) refs += " <ref" + std::to_string(i) + "@host.example.org>";
    ASSERT_GT(refs.size(), 800u);
    LineQueue q;
    addLine(q, "Newsgroups: a.b");
    addLine(q, refs);
    addLine(q, "");
    addLine(q, "body");
    NewHRRecord NHR{};
    ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(run.ids.at(NHR.REFNUMBER), "<ref39@host.example.org>");
    EXPECT_EQ(NHR.R_NAME.str(), "Unknown");
}

TEST(ParseInternetHeaders, InReplyToCountsOnlyAsIdentifierAndOnlyWithoutReferences) {
    ImportRun run;
    LineQueue q = queueOf({"Newsgroups: a.b", "References: <p@x>", "In-Reply-To: <q@x>",
                           "In-reply-to: joe@x's message of 21 Apr 93", "", "b"});
    NewHRRecord NHR{};
    ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(run.ids.at(NHR.REFNUMBER), "<p@x>");

    ImportRun run2;
    LineQueue q2 = queueOf({"Newsgroups: a.b", "In-Reply-To: <q@x> (Joe's message)", "", "b"});
    NewHRRecord NHR2{};
    ParseInternetHeaders(q2, 1, NHR2, run2.ctx);
    EXPECT_EQ(run2.ids.at(NHR2.REFNUMBER), "<q@x>");
}

TEST(ParseInternetHeaders, ArticleWithoutReferencesIsForAll) {
    ImportRun run;
    LineQueue q = queueOf({"Newsgroups: a.b", "From: x@y", "Lines: dog", "", "b"});
    NewHRRecord NHR{};
    InternetHeaderResult r = ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(NHR.R_NAME.str(), "All");
    EXPECT_EQ(NHR.REFNUMBER, 0u);
    EXPECT_FALSE(r.lineCount.has_value());
}

TEST(ParseInternetHeaders, MailWaitsForACompleteBlockBeforeAnEmptyLineEndsIt) {
    ImportRun run;
    LineQueue q = queueOf({"From: Bob <bob@x.org>", "", "Subject: late", "Date: 1 Jan 1999 10:00", "", "body"});
    NewHRRecord NHR{};
    InternetHeaderResult r = ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(r.messageKind, MessageMail);
    EXPECT_EQ(r.bodyStart, 6u);
    EXPECT_EQ(NHR.HEADING.str(), "late");
    // No To line: the owner received it.
    EXPECT_EQ(NHR.R_CISADRESS.str(), "owner@example.org");
    EXPECT_EQ(NHR.R_NAME.str(), "Olivia Owner");
    EXPECT_EQ(NHR.MAILTYPE, 1);
}

TEST(ParseInternetHeaders, MailFromYouWasWrittenByTheOwner) {
    ImportRun run;
    LineQueue q = queueOf({"From: You", "To: Bob Jones 70000,123", "Subject: s", "", "b"});
    NewHRRecord NHR{};
    ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(NHR.MAILTYPE, 2);
    EXPECT_EQ(NHR.S_CISADRESS.str(), "owner@example.org");
    EXPECT_EQ(NHR.S_NAME.str(), "Olivia Owner");
    EXPECT_EQ(NHR.R_CISADRESS.str(), "70000,123");
    EXPECT_EQ(NHR.R_NAME.str(), "Bob Jones");
}

TEST(ParseInternetHeaders, ABlockBeginningWithSubjectIsAForumMessage) {
    ImportRun run;
    LineQueue q = queueOf({"Subject: Gear", "Fm: Ann Lee 71000,1", "To: All", "", "b"});
    NewHRRecord NHR{};
    InternetHeaderResult r = ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(r.messageKind, MessageForum);
    EXPECT_EQ(NHR.S_CISADRESS.str(), "71000,1");
    EXPECT_EQ(NHR.S_NAME.str(), "Ann Lee");
    EXPECT_EQ(NHR.R_NAME.str(), "All");
}

TEST(ParseInternetHeaders, KnownValuesFillWhatTheHeaderBlockLacks) {
    ImportRun run;
    run.targets = {"COMP.B"};
    KnownValues known;
    known.identifier = "<k@x>";
    known.subject = std::string(60, 's');
    known.sender = "Kim <kim@x.org>";
    known.references = "<a@x> <b@x>";
    known.newsgroup = "comp.a,comp.b";
    LineQueue q = queueOf({"Subject: Real subject", "Fm: ignored 1,2", "", "b"});
    NewHRRecord NHR{};
    InternetHeaderResult r = ParseInternetHeaders(q, 1, NHR, run.ctx, &known);
    EXPECT_EQ(r.messageKind, MessageNews);
    EXPECT_EQ(run.ids.at(NHR.MSGNUMBER), "<k@x>");
    EXPECT_EQ(run.ids.at(NHR.REFNUMBER), "<b@x>");
    EXPECT_EQ(NHR.FOR_DESCRIPTION.str(), "comp.b");
    EXPECT_EQ(NHR.HEADING.str(), "Real subject");
    EXPECT_EQ(NHR.S_CISADRESS.str(), "kim@x.org");

    LineQueue empty;
    NewHRRecord NHR2{};
    ParseInternetHeaders(empty, 1, NHR2, run.ctx, &known);
    EXPECT_EQ(NHR2.HEADING.str(), std::string(50, 's'));
}

TEST(ParseInternetHeaders, MultipartArticleKeepsItsFirstTextPart) {
    ImportRun run;
    LineQueue q = queueOf({"Newsgroups: a.b", "Content-Type: multipart/mixed; boundary=\"bb\"", "", "--bb",
                           "Content-Type: text/plain", "", "words", "--bb", "Content-Type: application/zip", "",
                           "PK", "--bb--"});
    NewHRRecord NHR{};
    InternetHeaderResult r = ParseInternetHeaders(q, 1, NHR, run.ctx);
    EXPECT_EQ(r.contentKind, ContentPlain);
    EXPECT_EQ(BuildMessageText(r.contentKind, q, r.bodyStart, q.size()), "words\r\n");
}

// ---------------------------------------------------------------------------

TEST(StripChar, TrimsLineEndsAndMarkersAtBothEnds) {
    std::string t = "\r\n@b@lHello\r\nWorld@l\r\n\r\n@b";
    StripChar(1, t);
    EXPECT_EQ(t, "Hello\r\nWorld");
}

TEST(StripChar, MailTextLosesItsHeaderBlock) {
    std::string t = "From: a@b.org\r\nSubject: s\r\n\r\nBody line\r\n";
    StripChar(2, t);
    EXPECT_EQ(t, "Body line");
    std::string forum = "From: a@b.org\r\n\r\nBody";
    StripChar(1, forum);
    EXPECT_EQ(forum, "From: a@b.org\r\n\r\nBody");
}

TEST(StripChar, TextThatOnlyLooksLikeAHeaderIsKept) {
    std::string noBlock = "To: all members\r\nthe meeting is off";
    StripChar(2, noBlock);
    EXPECT_EQ(noBlock, "To: all members\r\nthe meeting is off");
    std::string prose = "Subject: the meeting\r\nis off, as I said before\r\n\r\nBob";
    StripChar(2, prose);
    EXPECT_EQ(prose, "Subject: the meeting\r\nis off, as I said before\r\n\r\nBob");
}

}  // namespace
}  // namespace quill

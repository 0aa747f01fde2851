// The diagnostic parse verb: one message file in, the staged fields and the
// stored text out.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using quill::test::runCli;
using quill::test::TempDir;
using quill::test::writeFile;

namespace {

const char* kMultipartMail =
    "From: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <Joerg@Example.ORG>\r\n"
    "To: Anna Lee <anna@example.com>\r\n"
    "Subject: Re: Garden plans\r\n"
    "Date: Tue, 4 Mar 1997 09:05:30 +0100\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative; boundary=\"XYZ\"\r\n"
    "\r\n"
    "This is a multi-part message in MIME format.\r\n"
    "--XYZ\r\n"
    "Content-Type: text/html; charset=us-ascii\r\n"
    "\r\n"
    "<html><body><p>Plant the <b>roses</b> first.</p></body></html>\r\n"
    "--XYZ\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "Plant the roses first.\r\n"
    "--XYZ--\r\n";

TEST(CliParse, JsonShowsTheStagedFieldsAndTheStoredText) {
    TempDir dir;
    writeFile(dir / "msg.eml", kMultipartMail);
    std::string out, err;
    ASSERT_EQ(runCli({"parse", dir / "msg.eml", "--owner", "Anna@example.com", "--json"}, &out, &err), 0) << err;
    EXPECT_NE(out.find("\"from_name\":\"J\xC3\xB6rg M\xC3\xBCller\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"from_address\":\"joerg@example.org\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"to_address\":\"anna@example.com\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"subject\":\"Garden plans\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"thread\":\"Garden plans\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"date\":\"1997-03-04\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"time\":\"09:05:30\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"message_kind\":\"mail\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"content_kind\":\"html\""), std::string::npos) << out;
    // The first text part is kept, as text, without its markup or the other part.
    EXPECT_NE(out.find("roses"), std::string::npos);
    EXPECT_EQ(out.find("<b>"), std::string::npos) << out;
    EXPECT_EQ(out.find("Content-Type"), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "one object on one line";
}

TEST(CliParse, PlainOutputAndMissingFile) {
    TempDir dir;
    writeFile(dir / "news.txt",
              "From: someone@host.edu (Some One)\nNewsgroups: rec.gardens,rec.roses\nSubject: Roses\n"
              "Message-ID: <1@host.edu>\nDate: 23 Apr 93 16:24:16 GMT\nLines: 1\n\nBody line.\n");
    std::string out, err;
    ASSERT_EQ(runCli({"parse", dir / "news.txt"}, &out, &err), 0) << err;
    EXPECT_NE(out.find("Message kind: news"), std::string::npos) << out;
    EXPECT_NE(out.find("Newsgroup:    rec.gardens"), std::string::npos) << out;
    EXPECT_NE(out.find("Body line."), std::string::npos) << out;
    EXPECT_NE(runCli({"parse", dir / "absent.txt"}, &out, &err), 0);
    EXPECT_NE(err.find("cannot read"), std::string::npos);
}

TEST(CliParse, TypeOptionReadsAsThatTypesReaderAndShowsCharacters) {
    TempDir dir;
    writeFile(dir / "mail.txt",
              "From: \"a@b.com\" <c@d.com>\nSubject: =?utf-8?B?0J/RgNC40LLQtdGC?=\n"
              "Content-Type: text/plain; charset=koi8-r\n\n\xF0\xD2\xC9\xD7\xC5\xD4\n");
    std::string out, err;
    ASSERT_EQ(runCli({"parse", dir / "mail.txt", "--json"}, &out, &err), 0) << err;
    EXPECT_NE(out.find("\"import_type\":\"Generic Mail Type 2\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"from_address\":\"c@d.com\""), std::string::npos) << out;
    // Cyrillic is stored as references and shown as the characters.
    EXPECT_NE(out.find("\"subject\":\"\u041f\u0440\u0438\u0432\u0435\u0442\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"text\":\"\u041f\u0440\u0438\u0432\u0435\u0442"), std::string::npos) << out;
    ASSERT_EQ(runCli({"parse", "--type", "Unix News", dir / "mail.txt", "--json"}, &out, &err), 0) << err;
    EXPECT_NE(out.find("\"import_type\":\"Unix News\""), std::string::npos) << out;
    EXPECT_NE(runCli({"parse", "--type", "AUTOSIG", dir / "mail.txt"}, &out, &err), 0);
    EXPECT_NE(err.find("mail or news import type"), std::string::npos) << err;
}

}  // namespace

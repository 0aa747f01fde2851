#include "import/EncodedWords.h"

#include "database/Charset.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace quill {
namespace {

struct HexCase {
    const char* pair;
    char expected;  // 0: not decodable
};

TEST(DecodeQuotedHex, DecodesTheListedPairsAndHighBytesOnly) {
    const HexCase cases[] = {
        {"3D", '='},    {"20", ' '},    {"09", ' '},    {"2C", ','},
        {"80", '\x80'}, {"E9", '\xE9'}, {"FF", '\xFF'}, {"8A", '\x8A'},
        // Other characters below 128 stay escaped; lower-case hex and
        // non-hex characters are not escapes.
        {"3F", 0}, {"41", 0}, {"7F", 0}, {"0A", 0}, {"e9", 0}, {"Ef", 0}, {"G0", 0}, {"9 ", 0},
    };
    for (const HexCase& c : cases)
        EXPECT_EQ(DecodeQuotedHex(c.pair[0], c.pair[1]), c.expected) << c.pair;
}

TEST(MapIso88592, KeepsSharedLettersAndStripsOthers) {
    EXPECT_EQ(mapIso88592('A'), 'A');
    EXPECT_EQ(mapIso88592(0x9F), 0x9F);        // below the table
    EXPECT_EQ(mapIso88592(0xA0), 0xA0);        // no-break space
    EXPECT_EQ(mapIso88592(0xA1), 'A');         // A ogonek
    EXPECT_EQ(mapIso88592(0xA2), '?');         // breve
    EXPECT_EQ(mapIso88592(0xA9), 0x8A);        // S caron: its Windows code
    EXPECT_EQ(mapIso88592(0xB9), 0x9A);        // s caron
    EXPECT_EQ(mapIso88592(0xB3), 'l');         // l stroke
    EXPECT_EQ(mapIso88592(0xBC), 'z');         // z acute
    EXPECT_EQ(mapIso88592(0xC9), 0xC9);        // E acute, as in ISO 8859-1
    EXPECT_EQ(mapIso88592(0xDF), 0xDF);        // sharp s
    EXPECT_EQ(mapIso88592(0xF7), 0xF7);        // division sign
    EXPECT_EQ(mapIso88592(0xFE), 't');         // t cedilla
    EXPECT_EQ(mapIso88592(0xFF), '?');         // dot above
}

struct WordCase {
    const char* name;
    std::string field;
    std::string expected;
};

TEST(DecodeEncodedWord, DecodesEveryWordOfAnyCharset) {
    const WordCase cases[] = {
        {"latin1 Q with underscores", "=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=", "Gr\xFC\xDF" "e aus K\xF6ln"},
        {"charset and encoding in small letters", "=?iso-8859-1?q?caf=E9?=", "caf\xE9"},
        {"latin2 l stroke is kept as a reference", "=?ISO-8859-2?Q?=B3=F3d=BC?=", "&#322;\xF3" "d&#378;"},
        {"latin2 S caron keeps its Windows code", "=?ISO-8859-2?Q?=A9koda?=", "\x8Akoda"},
        {"base64", "=?ISO-8859-1?B?SGVsbG8gV29ybGQ=?=", "Hello World"},
        {"base64 latin2", "=?ISO-8859-2?B?s/Pk?=", "&#322;\xF3\xE4"},
        {"us-ascii", "=?US-ASCII?Q?Keith_Moore?=", "Keith Moore"},
        {"text around the word", "Re: =?ISO-8859-1?Q?Caf=E9?= today", "Re: Caf\xE9 today"},
        {"adjacent words join without their blank", "=?ISO-8859-1?Q?Caf=E9?= =?ISO-8859-1?Q?Th=E9?=",
         "Caf\xE9Th\xE9"},
        {"words apart keep the text between", "=?ISO-8859-1?Q?Caf=E9?= and =?ISO-8859-1?Q?Th=E9?=",
         "Caf\xE9 and Th\xE9"},
        {"a character split across two words", "=?UTF-8?B?w6k=?= =?UTF-8?B?w6k=?=", "\xE9\xE9"},
        {"utf-8", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", "Gr\xFC\xDF" "e"},
        {"utf-8 beyond Windows-1252", "=?utf-8?B?0J/RgNC40LLQtdGC?=", "&#1055;&#1088;&#1080;&#1074;&#1077;&#1090;"},
        {"windows-1252", "=?windows-1252?Q?x=80?=", "x\x80"},
        {"iso-8859-15 euro", "=?ISO-8859-15?Q?=A4?=", "\x80"},
        {"unknown charset read as undeclared", "=?x-nonsense?Q?caf=C3=A9?=", "caf\xE9"},
        {"escape right after the encoding", "=?ISO-8859-1?Q?=E9t=E9?=", "\xE9t\xE9"},
        {"escaped question mark", "=?ISO-8859-1?Q?Warum=3F?=", "Warum?"},
        {"lower-case hex", "=?ISO-8859-1?Q?caf=e9?=", "caf\xE9"},
        {"control characters become blanks", "=?ISO-8859-1?Q?a=0D=0Ab?=", "a  b"},
        {"decoded and trailing blanks clipped", "=?ISO-8859-1?Q?Hi__?=   ", "Hi"},
        {"language suffix", "=?ISO-8859-1*de?Q?Gr=FC=DF?=", "Gr\xFC\xDF"},
    };
    for (const WordCase& c : cases) {
        std::string field = c.field;
        DecodeEncodedWord(field);
        EXPECT_EQ(field, c.expected) << c.name;
    }
}

TEST(DecodeEncodedWord, LeavesFieldsWithoutACompleteWordUnchanged) {
    const WordCase cases[] = {
        {"no end", "=?ISO-8859-1?Q?abc", "=?ISO-8859-1?Q?abc"},
        {"unknown encoding", "=?ISO-8859-1?X?abc?=", "=?ISO-8859-1?X?abc?="},
        {"no charset end", "=?ISO-8859-1", "=?ISO-8859-1"},
        {"plain", "Price =? 5 ?= 6", "Price =? 5 ?= 6"},
        {"trailing blanks still go", "plain subject   ", "plain subject"},
    };
    for (const WordCase& c : cases) {
        std::string field = c.field;
        DecodeEncodedWord(field);
        EXPECT_EQ(field, c.expected) << c.name;
    }
}

TEST(DecodeEncodedWord, LongWordsDecodeWhole) {
    std::string field = "=?ISO-8859-1?Q?" + std::string(150, 'a') + "?=!";
    DecodeEncodedWord(field);
    EXPECT_EQ(field, std::string(150, 'a') + "!");

    std::string b64 = "=?ISO-8859-1?B?";
    for (int i = 0; i < 50; ++i) b64 += "YWFh";  // "aaa" each
    b64 += "?=";
    DecodeEncodedWord(b64);
    EXPECT_EQ(b64, std::string(150, 'a'));
}

TEST(DecodeEncodedWord, RecordFieldIsDecodedInPlaceAndPadded) {
    FStr<60> name;
    name = "=?ISO-8859-1?Q?J=F6rg_M=FCller?= <jm@example.org>";
    DecodeEncodedWord(name);
    EXPECT_EQ(name.str(), "J\xF6rg M\xFCller <jm@example.org>");
    EXPECT_EQ(name.c[59], ' ');
}

// A real message subject in Windows-1251: Cyrillic is kept as references,
// which show as the characters again.
TEST(DecodeEncodedWord, RealWindows1251SubjectShowsItsCyrillicText) {
    std::ifstream in(QUILL_SOURCE_DIR "/../shared/corpus/mbox/mail-mbox-messageparser/binary_body.txt",
                     std::ios::binary);
    if (!in) GTEST_SKIP() << "corpus of real mailboxes not present";
    std::string line;
    std::string subject;
    while (std::getline(in, line))
        if (line.rfind("Subject: ", 0) == 0) {
            subject = line.substr(9);
            break;
        }
    while (!subject.empty() && (subject.back() == '\r' || subject.back() == ' ')) subject.pop_back();
    ASSERT_NE(subject.find("=?Windows-1251?B?"), std::string::npos);
    std::string field = subject;
    DecodeEncodedWord(field);
    EXPECT_EQ(cp1252ToUtf8(field), "\u0420\u0435\u043A\u043B\u0430\u043C\u0430: \u0414\u0438\u0437\u0430\u0439\u043D "
                                   "\u0434\u043B\u044F \u0412\u0430\u0441!!!");
}

}  // namespace
}  // namespace quill

#include "people/Address.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quill {
namespace {

struct SplitCase {
    const char* input;
    int mode;
    const char* name;
    const char* address;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << "mode " << c.mode << " \"" << c.input << '"'; }

class FindCISAdressTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(FindCISAdressTable, SplitsNameAndAddress) {
    const SplitCase& c = GetParam();
    std::string name = "stale", address = "stale";
    FindCISAdress(c.mode, c.input, name, address);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(address, c.address);
}

// The documented examples of the split.
INSTANTIATE_TEST_SUITE_P(
    DocumentedExamples, FindCISAdressTable,
    ::testing::Values(SplitCase{"John Smith 70000,123", 1, "John Smith", "70000,123"},
                      SplitCase{"John Smith [70000.123]", 1, "John Smith", "70000,123"},
                      SplitCase{"John Smith >INTERNET:jsmith@host", 2, "John Smith", "jsmith@host"},
                      SplitCase{"John Smith >INTERNET:jsmith@host.com", 2, "John Smith",
                                ">INTERNET:jsmith@host.com"},
                      SplitCase{"70000.123", 1, "", "70000,123"},
                      SplitCase{"John Smith 70000, 123", 1, "John Smith", "70000,123"},
                      SplitCase{"Smith, John", 1, "Smith, John", ""}));

INSTANTIATE_TEST_SUITE_P(
    UserIds, FindCISAdressTable,
    ::testing::Values(
        // Trailing blanks never count.
        SplitCase{"John Smith 70000,123   ", 1, "John Smith", "70000,123"},
        SplitCase{"[70000.123]", 1, "", "70000,123"},
        SplitCase{"70000, 123", 1, "", "70000,123"},
        // A blank after the comma stays when only one digit follows it.
        SplitCase{"[70000, 1]", 1, "", "70000, 1"},
        // ">", blanks and separators between name and ID are dropped.
        SplitCase{"John Smith >> 70000,123", 1, "John Smith", "70000,123"},
        SplitCase{"John Smith\xB3" "70000,123", 1, "John Smith", "70000,123"},
        SplitCase{"John Smith 70000,123", 2, "John Smith", "70000,123"},
        // A closing bracket without an opening one loses no digit.
        SplitCase{"John 70000,123]", 1, "John", "70000,123"},
        // A comma in the last two places is not an ID separator.
        SplitCase{"Smith 70000,1", 1, "Smith 70000,1", ""},
        SplitCase{"Smith x70000,123", 1, "Smith x70000,123", ""}));

INSTANTIATE_TEST_SUITE_P(
    MailLines, FindCISAdressTable,
    ::testing::Values(
        SplitCase{"John Smith jsmith@host", 2, "John Smith", "jsmith@host"},
        SplitCase{"jsmith@host", 2, "", "jsmith@host"},
        SplitCase{"", 2, "", ""},
        SplitCase{"", 1, "", ""},
        // An address that ends in a numeric label is not rewritten.
        SplitCase{"jsmith@10.0.0.25", 2, "", "jsmith@10.0.0.25"},
        SplitCase{"Ann Lee\xB3jsmith@host.com", 2, "Ann Lee", "jsmith@host.com"},
        // Without an ID a bracketed text loses its closing bracket.
        SplitCase{"Ann Lee [al@host.com]", 2, "Ann Lee", "[al@host.com"},
        SplitCase{"Ann Lee [al@host.com]", 1, "Ann Lee [al@host.com", ""},
        // A blank only at the start does not divide name and address.
        SplitCase{" al@host.com", 2, "", " al@host.com"},
        // A colon at the very end leaves the prefix alone.
        SplitCase{"Ann INTERNET:", 2, "Ann", "INTERNET:"}));

INSTANTIATE_TEST_SUITE_P(
    CsinetLines, FindCISAdressTable,
    ::testing::Values(SplitCase{"John Smith CSINET:jsmith@host", 2, "John Smith ", "jsmith"},
                      SplitCase{"CSINET:jsmith@host", 2, "", "jsmith"},
                      SplitCase{"Bob CSINET:", 2, "Bob ", ""},
                      SplitCase{"Bob CSINET", 2, "Bob ", ""},
                      // A "@" at the start, or an address under 5 characters, is kept.
                      SplitCase{"Bob CSINET:@host", 2, "Bob ", "@host"},
                      SplitCase{"Bob CSINET:a@b", 2, "Bob ", "a@b"},
                      // Only the whole word counts, and only in mail lines.
                      SplitCase{"Bob XCSINET:a@bcdef", 2, "Bob", "a@bcdef"},
                      SplitCase{"Bob CSINET:a@bcdef", 1, "Bob CSINET:a@bcdef", ""}));

TEST(FindCISAdress, ReturnsPairForm) {
    NameAndAddress r = FindCISAdress(1, "Jane Doe [71234.567]");
    EXPECT_EQ(r.name, "Jane Doe");
    EXPECT_EQ(r.address, "71234,567");
}

struct NameCase {
    const char* full;
    const char* last;
    const char* first;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.full << '"'; }

class ParseNameTable : public ::testing::TestWithParam<NameCase> {};

TEST_P(ParseNameTable, SplitsLastAndFirstNames) {
    const NameCase& c = GetParam();
    std::string last = "stale", first = "stale";
    ParseName(c.full, last, first);
    EXPECT_EQ(last, c.last);
    EXPECT_EQ(first, c.first);
}

INSTANTIATE_TEST_SUITE_P(DocumentedExamples, ParseNameTable,
                         ::testing::Values(NameCase{"John Smith", "Smith", "John"},
                                           NameCase{"John Q. Smith III", "Smith III", "John Q."},
                                           NameCase{"Smith III", "Smith III", ""},
                                           NameCase{"Smith", "Smith", ""},
                                           NameCase{"Henry VIII", "VIII", "Henry"}));

// Characters beyond Windows-1252 are stored as references "&#NNNN;"; a name
// longer than its field is cut before a reference, never inside one.
INSTANTIATE_TEST_SUITE_P(
    References, ParseNameTable,
    ::testing::Values(NameCase{"&#1071;&#1085; &#1051;&#1080;", "&#1051;&#1080;", "&#1071;&#1085;"},
                      NameCase{"&#1040;&#1083;&#1077;&#1082;&#1089; &#1055;&#1088;&#1077;&#1086;&#1073;",
                               "&#1055;&#1088;&#1077;", "&#1040;&#1083;&#1077;"},
                      NameCase{"Jo &#20013;&#25991;&#20013;&#25991;&#20013;&#25991;", "&#20013;&#25991;&#20013;",
                               "Jo"}));

INSTANTIATE_TEST_SUITE_P(
    Suffixes, ParseNameTable,
    ::testing::Values(NameCase{"Carl Jones I", "Jones I", "Carl"},
                      NameCase{"Carl Jones II", "Jones II", "Carl"},
                      NameCase{"Carl Jones IV", "Jones IV", "Carl"},
                      NameCase{"Carl Jones V", "Jones V", "Carl"},
                      // Look-alikes written with a small L.
                      NameCase{"Carl Jones lll", "Jones lll", "Carl"},
                      NameCase{"Carl Jones lV", "Jones lV", "Carl"},
                      // Only the first three characters are read.
                      NameCase{"Carl Jones IIII", "Jones IIII", "Carl"},
                      NameCase{"Carl Jones XIII", "XIII", "Carl Jones"},
                      NameCase{"Carl Jones iii", "iii", "Carl Jones"},
                      NameCase{"Carl Jones Ivan", "Ivan", "Carl Jones"},
                      // Extra blanks before the suffix do not end up in the last name.
                      NameCase{"Carl Jones  III", "Jones  III", "Carl"},
                      NameCase{"Jones  III", "Jones  III", ""}));

INSTANTIATE_TEST_SUITE_P(
    Blanks, ParseNameTable,
    ::testing::Values(NameCase{"", "", ""}, NameCase{"John Smith   ", "Smith", "John"},
                      NameCase{"John  Smith", "Smith", "John"},
                      // A blank in the first place never divides the name.
                      NameCase{" Smith", " Smith", ""}));

TEST(ParseName, ClipsEachPartToItsFieldWidth) {
    ParsedName r = ParseName("Abcdefghijklmnopqrstuvwxyz0123 Zyxwvutsrqponmlkjihgfedcba9876");
    EXPECT_EQ(r.lastName, "Zyxwvutsrqponmlkjihgfedcb");
    EXPECT_EQ(r.firstNames, "Abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(r.lastName.size(), lastNameWidth);
}

struct SearchCase {
    bool wholeWord;
    const char* pattern;
    const char* text;
    std::size_t position;
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << (c.wholeWord ? "word " : "any ") << '"' << c.pattern << "\" in \"" << c.text << '"';
}

class AISINBTable : public ::testing::TestWithParam<SearchCase> {};

TEST_P(AISINBTable, FindsFirstCountingOccurrence) {
    const SearchCase& c = GetParam();
    EXPECT_EQ(AISINB(c.wholeWord, c.pattern, c.text), c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AISINBTable,
    ::testing::Values(SearchCase{true, "and", "sand and", 6}, SearchCase{false, "and", "sand and", 2},
                      SearchCase{true, "123", "a123b", 2}, SearchCase{true, "123", "0123", 0},
                      SearchCase{true, "123", "0123 123", 6},
                      // The digit 1 is a word character for word patterns, other digits are not.
                      SearchCase{true, "and", "1and", 0}, SearchCase{true, "and", "2and3", 2},
                      SearchCase{true, "and", "and\x80", 0}, SearchCase{true, "and", "and\x86", 1},
                      SearchCase{true, "and", "and-so", 1}, SearchCase{true, "and", "and", 1},
                      SearchCase{false, "AND", "sand", 0}, SearchCase{false, "", "text", 0},
                      SearchCase{false, "", "", 0}, SearchCase{false, "longer", "long", 0},
                      SearchCase{true, "aa", "aaaa aa", 6}, SearchCase{false, "abcab", "xxabcabcab", 3},
                      SearchCase{true, "CSINET", "A CSINET:x", 3}));

TEST(AISINB, WholeWordSearchWalksPastManyUnfitOccurrences) {
    // A text of a million word characters with no whole-word match ends
    // (checks completion, not time).
    std::string text(1'000'000, 'a');
    EXPECT_EQ(AISINB(true, "aaa", text), 0u);
    text += " aaa";
    EXPECT_EQ(AISINB(true, "aaa", text), 1'000'002u);
}

TEST(IsNumericText, AcceptsDigitRunsWithSurroundingBlanks) {
    EXPECT_TRUE(isNumericText("123"));
    EXPECT_TRUE(isNumericText(" 123 "));
    EXPECT_FALSE(isNumericText(""));
    EXPECT_FALSE(isNumericText("   "));
    EXPECT_FALSE(isNumericText("1 2"));
    EXPECT_FALSE(isNumericText("1.5"));
    EXPECT_FALSE(isNumericText("-5"));
}

TEST(DupTexts, EqualWhenShorterIsPrefixAndLengthsClose) {
    EXPECT_TRUE(dupTextsEqual("", ""));
    EXPECT_TRUE(dupTextsEqual("Hello world", "Hello world"));
    EXPECT_TRUE(dupTextsEqual("Hello world   ", "Hello world"));
    EXPECT_TRUE(dupTextsEqual("Hello", "Hello world"));
    EXPECT_TRUE(dupTextsEqual("Hello world", "Hello"));
    EXPECT_FALSE(dupTextsEqual("Hello world", "Hello World"));
    EXPECT_FALSE(dupTextsEqual("Hellx", "Hello world"));
}

TEST(DupTexts, LengthDifferenceOfTwentyIsNotADuplicate) {
    std::string base = "Text";
    EXPECT_TRUE(dupTextsEqual(base, base + std::string(19, 'x')));
    EXPECT_FALSE(dupTextsEqual(base, base + std::string(20, 'x')));
    EXPECT_FALSE(dupTextsEqual(base + std::string(20, 'x'), base));
    // Trailing blanks do not count towards the length.
    EXPECT_TRUE(dupTextsEqual(base, base + std::string(19, 'x') + std::string(30, ' ')));
}

TEST(DisplayForms, Form1IsTheAddressAlone) {
    EXPECT_EQ(displayForm1("Smith", "John", "70000,123  "), "70000,123");
}

TEST(DisplayForms, Form2PutsGatewayBeforeInternetAddress) {
    EXPECT_EQ(displayForm2("Smith", "John", "js@host.com"), "John Smith >INTERNET:js@host.com");
    EXPECT_EQ(displayForm2("Smith   ", "", "js@host.com"), "Smith >INTERNET:js@host.com");
    EXPECT_EQ(displayForm2("", "John", "js@host.com"), ">INTERNET:js@host.com");
}

TEST(DisplayForms, Form2WritesUserIdAfterNames) {
    EXPECT_EQ(displayForm2("Smith", "John", "70000,123"), "John Smith 70000,123");
    EXPECT_EQ(displayForm2("Smith", "", "70000,123"), "Smith 70000,123");
    EXPECT_EQ(displayForm2("", "John", "70000,123"), "70000,123");
}

TEST(DisplayForms, ListFormDividesColumnsWithSeparator) {
    EXPECT_EQ(displayListForm("Smith", "John", "js@host.com"), "John Smith\xB3>INTERNET:js@host.com");
    EXPECT_EQ(displayListForm("", "", "js@host.com"), "\xB3>INTERNET:js@host.com");
    EXPECT_EQ(displayListForm("Smith", "", "70000,123"), "Smith\xB3" "70000,123");
    EXPECT_EQ(displayListForm("", "John", "70000,123"), "\xB3" "70000,123");
}

TEST(DisplayForms, InternetFormTurnsUserIdIntoServiceAddress) {
    EXPECT_EQ(displayInternetForm("Smith", "John", "70000,123"),
              "John Smith <70000.123@compuserve.com>");
    EXPECT_EQ(displayInternetForm("Smith", "", "js@host.com"), "Smith <js@host.com>");
    EXPECT_EQ(displayInternetForm("", "John", "js@host.com"), "<js@host.com>");
}

TEST(InternetAddress, KeepsInternetAddressesAndEmpty) {
    EXPECT_EQ(internetAddress("js@host.com  "), "js@host.com");
    EXPECT_EQ(internetAddress(""), "");
    EXPECT_EQ(internetAddress("70000,123"), "70000.123@compuserve.com");
}

TEST(PersonDisplayName, UsesWhicheverPartIsPresent) {
    EXPECT_EQ(personDisplayName("Smith", "John"), "John Smith");
    EXPECT_EQ(personDisplayName("Smith", ""), "Smith");
    EXPECT_EQ(personDisplayName("", "John  "), "John");
    EXPECT_EQ(personDisplayName("", ""), "");
}

// Real From lines of Usenet articles: every split gives back pieces of the
// line, whatever shape it has.
TEST(FindCISAdress, RealNewsFromLinesSplitIntoPiecesOfTheLine) {
    namespace fs = std::filesystem;
    const fs::path dir = QUILL_SOURCE_DIR "/../shared/corpus/news/mini_newsgroups-spool";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "corpus not present: " << dir;
    int lines = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string line;
        while (std::getline(in, line) && !line.empty() && line != "\r") {
            if (line.rfind("From: ", 0) != 0) continue;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string value = line.substr(6);
            for (int mode : {1, 2}) {
                NameAndAddress r = FindCISAdress(mode, value);
                EXPECT_LE(r.name.size() + r.address.size(), value.size()) << value;
                EXPECT_NE(value.find(r.name), std::string::npos) << value;
                if (mode == 1 && !r.address.empty()) {
                    // Forum lines give an address only when it is a user ID.
                    std::size_t comma = r.address.find(',');
                    ASSERT_NE(comma, std::string::npos) << value;
                    EXPECT_TRUE(isNumericText(r.address.substr(0, comma))) << value;
                    EXPECT_TRUE(isNumericText(r.address.substr(comma + 1))) << value;
                }
            }
            ++lines;
        }
    }
    EXPECT_GT(lines, 1000);
}

}  // namespace
}  // namespace quill

#include "import/Html.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quill {
namespace {

std::string general(std::string s) {
    ConvertHtml(s);
    return s;
}

std::string service(std::string s) {
    ConvertServiceHtml(s);
    return s;
}

struct HtmlCase {
    const char* name;
    std::string html;
    std::string text;
};

void expectGeneral(const std::vector<HtmlCase>& cases) {
    for (const HtmlCase& c : cases) EXPECT_EQ(general(c.html), c.text) << c.name;
}

TEST(ConvertHtml, BreaksFollowBlockTags) {
    expectGeneral({
        {"two paragraphs", "<p>First<p>Second", "First\r\n\r\nSecond"},
        {"short paragraphs", "<p>Hi</p><p>Yo</p>", "Hi\r\n\r\nYo"},
        {"line breaks", "<p>a<br>b<br><br>c", "a\r\nb\r\n\r\nc"},
        {"self-closing break", "<p>a<br/>b<BR />c", "a\r\nb\r\nc"},
        {"div ends a line", "<p>a<div>b</div>c", "a\r\nb\r\nc"},
        {"heading is a paragraph", "<p>x<h1>Title</h1>y", "x\r\n\r\nTitle\r\n\r\ny"},
        {"table cells and rows", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>",
         "a\r\n\r\nb\r\n\r\nc"},
        {"header cells stay apart", "<table><tr><th>Name<th>Age</tr></table>", "Name Age"},
        {"definition list", "<dl><dt>Term<dd>Meaning<dt>Next<dd>Other</dl>after",
         "Term\r\n   Meaning\r\nNext\r\n   Other\r\nafter"},
        {"preformatted keeps blanks and lines", "<p>x<pre>a  b\r\n  c</pre>d", "x\r\na  b\r\n  c\r\nd"},
        {"horizontal rule separates words", "<p>a<hr>b", "a b"},
    });
}

TEST(ConvertHtml, WhiteSpaceCollapsesToOneBlank) {
    expectGeneral({
        {"blank, CR LF and B tag", "<p>a \r\n<b>b</b>", "a b"},
        {"line ends in a run", "<p>one\r\ntwo\r\n\r\nthree", "one two three"},
        {"tab separates words", "<p>a\tb", "a b"},
        {"one-letter first word keeps its blank", "<p>I am", "I am"},
        {"tags inside a word join nothing", "<p>wo<span>rd</span>", "word"},
        {"blank before an inline tag stays", "<p>two <font color=red>words</font> here", "two words here"},
        {"no trailing blanks", "<p>end   ", "end"},
    });
}

TEST(ConvertHtml, ListItemsGetBulletsAfterAnEmptyLine) {
    expectGeneral({
        {"unordered", "<p>Items:<ul><li>One<li>Two</ul>After", "Items:\r\n\r\n* One\r\n\r\n* Two\r\n\r\nAfter"},
        {"ordered gets the same bullets", "<ol><li>One</li>\r\n<li>Two</li></ol>", "* One\r\n\r\n* Two"},
        {"nested mixed lists", "<ul><li>a<ol><li>b</ol><li>c</ul>", "* a\r\n\r\n* b\r\n\r\n* c"},
        {"bullet waits for visible text", "<ul><li>\r\n <b>One</b></ul>", "* One"},
        {"item outside a list has no bullet", "<p>x<li>y", "x\r\n\r\ny"},
    });
}

TEST(ConvertHtml, LinkTargetFollowsLinkTextOnce) {
    expectGeneral({
        {"quoted target", "<p>Click <a href=\"http://Example.com/Path\">here</a> now",
         "Click here [http://Example.com/Path] now"},
        {"several runs, one bracket", "<p><a href=\"u\">very <b>bold</b> link</a>.", "very bold link [u] ."},
        {"unquoted target", "<p><a href=http://x/y>x</a>", "x [http://x/y]"},
        {"single quotes and blanks", "<p><A HREF = 'http://q'>q</A>", "q [http://q]"},
        {"target after line end", "<p><a\r\nhref=\"t\">t</a>", "t [t]"},
        {"link without text", "<p>x <a href=\"y\"><img src=z></a> w", "x w"},
        {"anchor without target", "<p>x<a name=\"top\">top</a>y", "x top y"},
        {"unclosed link", "<p><a href=\"u\">text", "text [u]"},
    });
}

TEST(ConvertHtml, DecodesCharacterReferences) {
    const std::pair<const char*, const char*> refs[] = {
        {"&auml;", "\xE4"}, {"&Auml;", "\xC4"}, {"&AUML;", "\xC4"}, {"&yuml;", "\xFF"},
        {"&lt;", "<"},      {"&GT;", ">"},      {"&amp;", "&"},     {"&quot;", "\""},
        {"&nbsp;", " "},    {"&nbsp", " "},     {"&copy;", "\xA9"}, {"&reg;", "\xAE"},
        {"&shy;", "-"},     {"&eth;", "\xF0"},  {"&ETH;", "\xD0"},  {"&szlig;", "\xDF"},
        {"&thorn;", "\xFE"}, {"&THORN;", "\xDE"}, {"&aelig;", "\xE6"}, {"&Aring;", "\xC5"},
        {"&ocirc;", "\xF4"}, {"&ccedil;", "\xE7"}, {"&Oslash;", "\xD8"}, {"&ntilde;", "\xF1"},
        {"&Yacute;", "\xDD"}, {"&egrave;", "\xE8"}, {"&#65;", "A"},   {"&#233;", "\xE9"},
        {"&#065", "A"},
        // Beyond Latin-1: the Windows-1252 byte, or a reference kept whole.
        {"&Yuml;", "\x9F"}, {"&#8217;", "\x92"}, {"&rsquo;", "\x92"}, {"&euro;", "\x80"},
        {"&mdash;", "\x97"}, {"&#x2019;", "\x92"}, {"&#300;", "&#300;"}, {"&#1046;", "&#1046;"},
        // Tab and line feed are white space.
        {"&#9;", " "}, {"&#10;", " "},
        // Not in the table: left as written.
        {"&foo;", "&foo;"}, {"&bauml;", "&bauml;"}, {"& x", "& x"},   {"&#07;", "&#07;"},
    };
    for (const auto& [ref, ch] : refs)
        EXPECT_EQ(general(std::string("<p>x") + ref + "y"), std::string("x") + ch + "y") << ref;
    EXPECT_EQ(general("<p>a&lt"), "a&lt");  // too short at the end of the run
    EXPECT_EQ(general("<p>&lt;b&gt;"), "<b>");  // decoded markup is text
}

TEST(ConvertHtml, DecodesQuotedPrintableEscapes) {
    EXPECT_EQ(general("<p>caf=E9 a=3Db x=20y =3F end="), "caf\xE9 a=b x y =3F end=");
    EXPECT_EQ(general("<pre>=E9</pre>"), "\xE9");
}

TEST(ConvertHtml, DropsTitleCommentsStylesAndScripts) {
    expectGeneral({
        {"title", "<html><head><title>Subject</title></head><body>Text</body>", "Text"},
        {"comment", "<p>a <!-- hidden --> b", "a b"},
        {"comment holding tags", "<p>a <!-- <b>x</b> y > z --> b", "a b"},
        {"conditional comment", "<p>a<!--[if mso]><xml>96</xml><![endif]-->b", "ab"},
        {"unterminated comment ends at >", "<p>a <!-- x > b", "a b"},
        {"declaration", "<!DOCTYPE html><p>a", "a"},
        {"script dropped", "<p>a <script>if (a<b) code();</script> b", "a b"},
        {"style dropped", "<p>a <STYLE type=\"text/css\">strong { font-size: 110%; }</Style> b", "a b"},
        {"unclosed style drops the rest", "<p>a <style>p {}", "a"},
    });
}

TEST(ConvertHtml, KeepsTextBeforeTheFirstTagAndDropsEverythingAfterHtmlEnd) {
    EXPECT_EQ(general("Hi. This is the deliver program at x.\r\n<html><p>Body</p></html>epilogue<p>more"),
              "Hi. This is the deliver program at x.\r\n\r\nBody");
    EXPECT_EQ(general("<html><p>Body</html>\r\nfooter"), "Body");
}

TEST(ConvertHtml, KeepsTextNoTagFollows) {
    expectGeneral({
        {"no tag at all", "Just plain text\r\nline two", "Just plain text line two"},
        {"text after the last tag", "<p>Body</p>trailing words", "Body\r\n\r\ntrailing words"},
        {"tag never closed is text", "<p>a <b c", "a <b c"},
        {"broken tag before a tag is text", "<p>a <b x <i>c", "a <b x c"},
        {"less-than before a blank is text", "<p>if a < b and c > d", "if a < b and c > d"},
        {"double less-than", "<p>a <<b>x", "a < x"},
        {"lone less-than at the end", "<p>a <", "a <"},
        {"unclosed tag and no tag before", "a <b c", "a <b c"},
    });
}

TEST(ConvertHtml, StaysWithinTheTextLimit) {
    std::string big = "<p>";
    while (big.size() < 70000) big += "word ";
    std::string out = general(big);
    EXPECT_LE(out.size(), HtmlTextMax);
    EXPECT_EQ(out.substr(0, 10), "word word ");

    std::string breaks;
    for (int i = 0; i < 40000; ++i) breaks += "x<br>";
    EXPECT_LE(general(breaks).size(), HtmlTextMax);
}

TEST(ConvertHtml, LongTagIsExaminedOnlyInItsFirstThousandCharacters) {
    const std::string pad(HtmlTagMax, ' ');
    EXPECT_EQ(general("<p>a<a" + pad + "href=\"u\">b</a>"), "a b");  // target beyond the limit
    EXPECT_EQ(general("<p>a<a href=\"u\"" + pad + ">b</a>"), "a b [u]");
}

TEST(ConvertServiceHtml, DiffersFromTheGeneralConverter) {
    const HtmlCase cases[] = {
        {"text before the first tag kept", "Hello <b>world</b>", "Hello world"},
        {"CR LF and 127 are line breaks", "Line one\r\nLine two\x7fLine three<br>",
         "Line one\r\nLine two\r\nLine three"},
        {"double less-than is text", "a << b <b>c</b>", "a << b c"},
        {"BR inside an open tag is a blank", "x<font a<BR>y", "x y"},
        {"end of HTML changes nothing", "<p>a</html> b", "a b"},
        {"cell end is only a word break", "<table><tr><td>a</td><td>b</td></tr></table>", "a b"},
        {"text after the last tag", "<p>Body</p>more", "Body\r\n\r\nmore"},
        {"nothing converts: the last run stands", "<title>Only a title", "Only a title"},
    };
    for (const HtmlCase& c : cases) EXPECT_EQ(service(c.html), c.text) << c.name;
}

TEST(ConvertServiceHtml, LeavesVeryShortTextUnchanged) {
    EXPECT_EQ(service("<b>"), "<b>");
    EXPECT_EQ(service("ab<  "), "ab<  ");
    EXPECT_EQ(service("<b>x</b>"), "x");
}

// Bodies of real articles that hold no markup characters: any converter must
// keep every word of them, in order.
TEST(ConvertHtml, RealPlainArticlesKeepEveryWord) {
    const std::filesystem::path root = QUILL_SOURCE_DIR "/../shared/corpus/news/mini_newsgroups-spool";
    if (!std::filesystem::exists(root)) GTEST_SKIP() << "corpus of real news articles not present";
    auto words = [](const std::string& s) {
        std::vector<std::string> w;
        std::istringstream in(s);
        for (std::string x; in >> x;) w.push_back(x);
        return w;
    };
    int checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const std::size_t body = text.find("\n\n");
        text.erase(0, body == std::string::npos ? 0 : body + 2);
        if (text.size() > 60000 || text.find_first_of("<&=\x7F") != std::string::npos) continue;
        const std::vector<std::string> expected = words(text);
        EXPECT_EQ(words(general(text)), expected) << entry.path();
        EXPECT_EQ(words(service(text)), expected) << entry.path();
        if (++checked == 300) break;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace quill

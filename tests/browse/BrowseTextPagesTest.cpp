#include <gtest/gtest.h>

#include <string>

#include "browse/TextPages.h"

using namespace quill;

namespace {
// A text of n characters without blanks; blanks are put in where a case wants them.
std::string letters(std::size_t n) {
    std::string s(n, 'x');
    for (std::size_t i = 0; i < n; ++i) s[i] = char('a' + i % 26);
    return s;
}
const std::string continued = "<CONTINUED>> \r\n";
const std::string more = " ..........<MORE>>";
}  // namespace

TEST(TextPages, PageCountFollowsTheLengthLimits) {
    struct Case {
        std::size_t length;
        std::size_t pages;
    } cases[] = {{0, 1}, {1, 1}, {24000, 1}, {24001, 2}, {48000, 2}, {48001, 3}, {64000, 3}};
    for (const Case& c : cases) {
        TextPages t(letters(c.length));
        EXPECT_EQ(t.count(), c.pages) << "length " << c.length;
    }
}

TEST(TextPages, OnePageIsTheWholeTextWithoutMarks) {
    std::string text = letters(24000);
    TextPages t(text);
    EXPECT_EQ(t.shownPage(0), text);
}

TEST(TextPages, WithoutABlankTheCutCharacterIsDroppedFromBothPages) {
    std::string text = letters(30000);
    TextPages t(text);
    ASSERT_EQ(t.count(), 2u);
    // 1-based 23981 is index 23980: page 1 holds 1..23980, page 2 from 23982.
    EXPECT_EQ(t.shownPage(0), text.substr(0, 23980) + more);
    EXPECT_EQ(t.shownPage(1), continued + text.substr(23981));
}

TEST(TextPages, TheFirstBlankOfTheWindowIsTheCut) {
    struct Case {
        std::size_t blank1;   // 1-based positions that hold a blank
        std::size_t blank2;
        std::size_t cut;      // expected 1-based cut
    } cases[] = {
        {23950, 23970, 23950},  // first position of the window
        {23960, 23975, 23960},  // first of two
        {23980, 0, 23980},      // last position of the window
        {23949, 23981, 23981},  // blanks just outside: no blank inside, cut at 23981
    };
    for (const Case& c : cases) {
        std::string text = letters(40000);
        text[c.blank1 - 1] = ' ';
        if (c.blank2) text[c.blank2 - 1] = ' ';
        TextPages t(text);
        ASSERT_EQ(t.count(), 2u);
        EXPECT_EQ(t.shownPage(0), text.substr(0, c.cut - 1) + more) << c.blank1;
        EXPECT_EQ(t.shownPage(1), continued + text.substr(c.cut)) << c.blank1;
    }
}

TEST(TextPages, ThreePagesCutInBothWindows) {
    std::string text = letters(64000);
    text[23955 - 1] = ' ';
    text[47080 - 1] = ' ';
    TextPages t(text);
    ASSERT_EQ(t.count(), 3u);
    EXPECT_EQ(t.shownPage(0), text.substr(0, 23954) + more);
    EXPECT_EQ(t.shownPage(1), continued + text.substr(23955, 47079 - 23955) + more);
    EXPECT_EQ(t.shownPage(2), continued + text.substr(47080));

    std::string plain = letters(50000);
    TextPages u(plain);
    EXPECT_EQ(u.shownPage(1), continued + plain.substr(23981, 47100 - 23981) + more);
    EXPECT_EQ(u.shownPage(2), continued + plain.substr(47101));
}

TEST(TextPages, TextRangesMapOntoTheirPageAfterTheContinuedMarkAndBack) {
    std::string text = letters(50000);  // cut at 0-based 23980 and 47100
    TextPages t(text);
    EXPECT_EQ(t.pageOf(10), 0u);
    EXPECT_EQ(t.pageOf(23980), 0u);
    EXPECT_EQ(t.pageOf(23981), 1u);
    EXPECT_EQ(t.pageOf(49999), 2u);
    EXPECT_EQ(t.span(10, 12), (PageSpan{0, 10, 12}));
    EXPECT_EQ(t.span(23981, 23985), (PageSpan{1, continued.size(), continued.size() + 4}));
    PageSpan last = t.span(49999, 50000);
    EXPECT_EQ(last.page, 2u);
    EXPECT_EQ(t.shownPage(2).substr(last.from, 1), text.substr(49999, 1));
    // Every shown character maps back to the text position it shows.
    for (std::size_t pos : {0u, 5000u, 23979u, 23981u, 30000u, 47099u, 47101u, 49999u}) {
        PageSpan s = t.span(pos, pos + 1);
        EXPECT_EQ(t.textAt(s.page, s.from), pos) << pos;
    }
    // Places in the marks stand before the page's first or after its last
    // character.
    EXPECT_EQ(t.textAt(1, 0), 23981u);
    EXPECT_EQ(t.textAt(1, continued.size() - 1), 23981u);
    EXPECT_EQ(t.textAt(0, 23980 + 4), 23980u);
    EXPECT_EQ(t.textAt(1, t.shownPage(1).size()), 47100u);
}

TEST(TextPages, NextAndPreviousStopAtTheEnds) {
    TextPages t(letters(50000));
    EXPECT_FALSE(t.previous());
    EXPECT_TRUE(t.next());
    EXPECT_TRUE(t.next());
    EXPECT_FALSE(t.next());
    EXPECT_EQ(t.current(), 2u);
    EXPECT_TRUE(t.previous());
    EXPECT_EQ(t.current(), 1u);
}

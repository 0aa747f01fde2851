// The text pane's hit navigation over the browse's pages: which page a hit
// shows on, where it is selected there, and the walk through the hits.
#include <gtest/gtest.h>

#include <string>

#include "search/Search.h"

namespace quill::test {
namespace {

const std::string continued = "<CONTINUED>> \r\n";
const std::string more = " ..........<MORE>>";

// n characters without a blank: a two-page text of them is cut at 0-based
// 23980, a three-page one also at 47100.
std::string letters(std::size_t n) {
    std::string s(n, 'x');
    for (std::size_t i = 0; i < n; ++i) s[i] = char('a' + i % 26);
    return s;
}

// Words of seven letters and a blank: the cuts fall on the blanks at 0-based
// 23951 and 47063, so the pages start at 0, 23952 and 47064.
std::string prose(std::size_t n) {
    std::string s = letters(n);
    for (std::size_t i = 7; i < n; i += 8) s[i] = ' ';
    return s;
}

std::string withWord(std::string text, std::size_t at, const std::string& word) {
    text.replace(at, word.size(), word);
    return text;
}

// The characters the pane selects for the selection, read off the shown page.
std::string selectedOnPage(const HitPane& p) {
    PageSpan s = p.shownSelection();
    return p.pages.shownPage(s.page).substr(s.from, s.to - s.from);
}

TEST(HitPane, TheSelectedHitShowsOnItsPageAfterTheLead) {
    struct Case {
        const char* what;
        std::string text;
        Hit hit;
        std::size_t page;      // expected page shown (from 0)
        std::size_t from;      // expected shown position of the selection
        std::string selected;  // the characters selected on that page
    };
    const std::string two = withWord(prose(30000), 100, "medlar");
    const std::string three = withWord(withWord(prose(60000), 24100, "quince"), 50001, "damson");
    const std::string refs = withWord(prose(30000), 25000, "&#8364;&#8364; sloe");
    const std::string exact = withWord(letters(24000), 23994, "sloe!!");
    const std::string oneMore = withWord(letters(24001), 23995, "sloe!!");
    const Case cases[] = {
        {"on page 1", two, {100, 106}, 0, 100, "medlar"},
        {"on page 2 after the lead", three, {24100, 24106}, 1, continued.size() + 24100 - 23952, "quince"},
        {"on page 3 after the lead", three, {50001, 50007}, 2, continued.size() + 50001 - 47064, "damson"},
        {"after character references", refs, {25015, 25019}, 1, continued.size() + 25015 - 23952, "sloe"},
        {"at the end of a one-page text of 24000", exact, {23994, 23998}, 0, 23994, "sloe"},
        {"on the short second page of 24001", oneMore, {23995, 23999}, 1, continued.size() + 23995 - 23981,
         "sloe"},
    };
    for (const Case& c : cases) {
        HitPane p;
        p.show(TextPages(c.text), {c.hit}, true);
        EXPECT_EQ(p.pages.current(), c.page) << c.what;
        EXPECT_EQ(p.shownSelection(), (PageSpan{c.page, c.from, c.from + c.hit.end - c.hit.start})) << c.what;
        EXPECT_EQ(selectedOnPage(p), c.selected) << c.what;
        EXPECT_EQ(p.selStart, c.hit.start) << c.what;
    }
}

TEST(HitPane, AHitOnTheCutShowsOnlyWhatAPageHoldsAndNeverTheMarks) {
    // Without a blank near the page end the character at 0-based 23980 is
    // shown on neither page.
    const std::string text = letters(30000);
    struct Case {
        const char* what;
        Hit hit;
        PageSpan shown;
    } cases[] = {
        {"ending at the cut: the part before it, without the more mark", {23975, 23981}, {0, 23975, 23980}},
        {"only the cut character: a bare cursor where it would stand", {23980, 23981}, {0, 23980, 23980}},
        {"starting at the cut: the part after it, after the lead", {23980, 23986},
         {1, continued.size(), continued.size() + 5}},
        {"across the cut: the part on the page before", {23978, 23984}, {0, 23978, 23980}},
    };
    for (const auto& c : cases) {
        HitPane p;
        p.show(TextPages(text), {c.hit}, true);
        EXPECT_EQ(p.pages.current(), c.shown.page) << c.what;
        EXPECT_EQ(p.shownSelection(), c.shown) << c.what;
        const std::string page = p.pages.shownPage(c.shown.page);
        std::string selected = page.substr(c.shown.from, c.shown.to - c.shown.from);
        EXPECT_EQ(selected.find_first_of("<>."), std::string::npos) << c.what << ": " << selected;
        if (c.shown.page == 0) {
            EXPECT_EQ(page.substr(c.shown.to), more) << c.what;
        }
    }
}

TEST(HitPane, NextAndPreviousWalkTheHitsAcrossThePages) {
    const std::string text = prose(60000);
    HitPane p;
    p.show(TextPages(text), {{8, 15}, {16, 23}, {30000, 30007}, {55000, 55007}}, true);
    EXPECT_EQ(p.pages.current(), 0u);
    EXPECT_FALSE(p.previousEnabled);
    EXPECT_TRUE(p.nextEnabled);
    EXPECT_TRUE(p.nextHit());
    EXPECT_EQ(p.pages.current(), 0u);
    EXPECT_TRUE(p.nextHit());
    EXPECT_EQ(p.pages.current(), 1u);
    EXPECT_EQ(p.shownSelection().from, continued.size() + 30000 - 23952);
    EXPECT_TRUE(p.nextHit());
    EXPECT_EQ(p.pages.current(), 2u);
    EXPECT_FALSE(p.nextEnabled);
    // Next at the last hit keeps it selected on its page.
    EXPECT_FALSE(p.nextHit());
    EXPECT_EQ(p.pages.current(), 2u);
    EXPECT_EQ(p.selStart, 55000u);
    EXPECT_EQ(p.selEnd, 55007u);
    EXPECT_TRUE(p.previousHit());
    EXPECT_EQ(p.pages.current(), 1u);
    EXPECT_TRUE(p.previousHit());
    EXPECT_EQ(p.pages.current(), 0u);
    EXPECT_EQ(p.selStart, 16u);
    EXPECT_TRUE(p.previousEnabled);
    EXPECT_TRUE(p.nextEnabled);
}

TEST(HitPane, PagingAwayHidesTheSelectionAndAPlaceClickedThereIsWhereTheWalkGoesOn) {
    const std::string text = prose(60000);
    HitPane p;
    p.show(TextPages(text), {{8, 15}, {30000, 30007}, {55000, 55007}}, true);
    ASSERT_TRUE(p.pages.next());
    // The selected hit is on page 1: nothing is selected on page 2.
    EXPECT_EQ(p.shownSelection(), (PageSpan{1, 0, 0}));
    // A click into the lead of page 2 stands before its first character, so
    // the next hit is the one on page 2 and the previous one that on page 1.
    p.takeSelection(3, 3);
    EXPECT_EQ(p.selStart, 23952u);
    EXPECT_TRUE(p.nextHit());
    EXPECT_EQ(p.selStart, 30000u);
    p.takeSelection(3, 3);
    EXPECT_TRUE(p.previousHit());
    EXPECT_EQ(p.selStart, 8u);
    EXPECT_EQ(p.pages.current(), 0u);
    // A click into the more mark stands after the page's last character.
    p.takeSelection(23951 + 5, 23951 + 5);
    EXPECT_EQ(p.selStart, 23951u);
    EXPECT_TRUE(p.nextHit());
    EXPECT_EQ(p.selStart, 30000u);
    // A selection between hits: the next hit is the following one.
    p.takeSelection(continued.size() + 30010 - 23952, continued.size() + 30012 - 23952);
    EXPECT_TRUE(p.nextHit());
    EXPECT_EQ(p.selStart, 55000u);
}

TEST(HitPane, OtherViewsAndTextsWithoutHitsLeaveBothButtonsDisabled) {
    HitPane p;
    p.show(TextPages("apple pie"), {{0, 5}}, false);
    EXPECT_TRUE(p.hits.empty());
    EXPECT_FALSE(p.previousEnabled || p.nextEnabled);
    p.show(TextPages("no fruit here"), {}, true);
    EXPECT_FALSE(p.previousEnabled || p.nextEnabled);
    EXPECT_FALSE(p.nextHit());
    EXPECT_FALSE(p.previousHit());
    // A new text starts on its first page.
    p.show(TextPages(prose(30000)), {{29000, 29007}}, true);
    EXPECT_EQ(p.pages.current(), 1u);
    p.show(TextPages(prose(30000)), {}, true);
    EXPECT_EQ(p.pages.current(), 0u);
}

}  // namespace
}  // namespace quill::test

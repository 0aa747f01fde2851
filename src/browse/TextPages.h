// The text pane's pages: a message text of up to 64000 characters is shown
// in at most three pages of about 24000 characters, cut at a blank near the
// page end. Every page but the last ends in " ..........<MORE>>", every page
// but the first begins with "<CONTINUED>> \r\n"; the character at a cut is
// shown on neither page. Positions are 0-based here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

struct TextPage {
    std::size_t first = 0;  // first character of the text on this page
    std::size_t end = 0;    // one past the last character of the text on it
    std::size_t lead = 0;   // characters shown before the text ("<CONTINUED>> \r\n")
};

// A range of the text as shown: shown positions [from, to) on one page.
struct PageSpan {
    std::size_t page = 0;
    std::size_t from = 0, to = 0;
    bool operator==(const PageSpan&) const = default;
};

class TextPages {
public:
    static constexpr std::size_t onePage = 24000;
    static constexpr std::size_t twoPages = 48000;
    static constexpr const char* moreMark = " ..........<MORE>>";
    static constexpr const char* continuedMark = "<CONTINUED>> \r\n";

    TextPages() = default;
    explicit TextPages(std::string text);

    const std::string& text() const { return text_; }
    std::size_t count() const { return pages_.size(); }
    const TextPage& page(std::size_t i) const { return pages_.at(i); }
    // The page as shown, with its marks.
    std::string shownPage(std::size_t i) const;

    // The page that holds text position pos; the cut characters belong to
    // the page before them.
    std::size_t pageOf(std::size_t pos) const;
    // Where the text range [start, end) shows: on the page that shows its
    // first visible character, the part of the range that page holds, so
    // the marks are never part of it. A range no page shows (the character
    // at a cut) is an empty span where that character would stand, at the
    // end of the text of the page before the cut.
    PageSpan span(std::size_t start, std::size_t end) const;
    // The text position at shown position pos of page i: a place inside the
    // "<CONTINUED>> " lead is the page's first character, one inside the
    // closing mark the end of its text.
    std::size_t textAt(std::size_t i, std::size_t pos) const;

    // The page shown and moving between pages.
    std::size_t current() const { return current_; }
    bool next();
    bool previous();
    void show(std::size_t i) { if (i < pages_.size()) current_ = i; }

private:
    std::string text_;
    std::vector<TextPage> pages_{TextPage{}};
    std::size_t current_ = 0;
};

// The position of the cut between from and to (1-based, inclusive): the
// first blank there, else the position after to. Returned 0-based.
std::size_t pageCut(std::string_view text, std::size_t from, std::size_t to);

}  // namespace quill

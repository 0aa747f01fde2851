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
    // Where text position pos lies within the shown page i (npos when it is
    // not on that page).
    std::size_t onPage(std::size_t i, std::size_t pos) const;

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

#include "browse/TextPages.h"

#include <algorithm>
#include <cstring>

namespace quill {

std::size_t pageCut(std::string_view text, std::size_t from, std::size_t to) {
    for (std::size_t p = from; p <= to && p <= text.size(); ++p)
        if (text[p - 1] == ' ') return p - 1;
    return to;  // 1-based to + 1, as a 0-based index
}

TextPages::TextPages(std::string text) : text_(std::move(text)) {
    const std::size_t n = text_.size();
    pages_.clear();
    if (n <= onePage) {
        pages_.push_back({0, n, 0});
        return;
    }
    const std::size_t leadLen = std::strlen(continuedMark);
    std::size_t p1 = pageCut(text_, 23950, 23980);
    if (n <= twoPages) {
        pages_.push_back({0, p1, 0});
        pages_.push_back({p1 + 1, n, leadLen});
        return;
    }
    // Texts beyond the store's 64000 characters are paged as the longest.
    std::size_t p2 = pageCut(text_, 47060, 47100);
    pages_.push_back({0, p1, 0});
    pages_.push_back({p1 + 1, p2, leadLen});
    pages_.push_back({p2 + 1, n, leadLen});
}

std::string TextPages::shownPage(std::size_t i) const {
    const TextPage& p = pages_.at(i);
    std::string s;
    if (p.lead) s = continuedMark;
    s.append(text_, p.first, p.end - p.first);
    if (i + 1 < pages_.size()) s += moreMark;
    return s;
}

std::size_t TextPages::pageOf(std::size_t pos) const {
    for (std::size_t i = 0; i + 1 < pages_.size(); ++i)
        if (pos < pages_[i + 1].first) return i;
    return pages_.size() - 1;
}

PageSpan TextPages::span(std::size_t start, std::size_t end) const {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const TextPage& p = pages_[i];
        std::size_t a = std::max(start, p.first), b = std::min(end, p.end);
        if (a < b) return {i, p.lead + (a - p.first), p.lead + (b - p.first)};
    }
    std::size_t i = pageOf(start);
    const TextPage& p = pages_[i];
    std::size_t at = p.lead + (std::clamp(start, p.first, p.end) - p.first);
    return {i, at, at};
}

std::size_t TextPages::textAt(std::size_t i, std::size_t pos) const {
    const TextPage& p = pages_.at(i);
    if (pos <= p.lead) return p.first;
    return std::min(p.first + (pos - p.lead), p.end);
}

bool TextPages::next() {
    if (current_ + 1 >= pages_.size()) return false;
    ++current_;
    return true;
}

bool TextPages::previous() {
    if (current_ == 0) return false;
    --current_;
    return true;
}

}  // namespace quill

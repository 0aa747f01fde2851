// The line queue of one message being read: the format readers fill it in
// file order, the header parsers read it, the MIME part choice marks lines to
// leave out, and the text builder joins what is left into the stored text.
//
// Lines are numbered from 1. An entry holds at most LineWidth bytes of a
// physical line (without its line end); a longer line goes on in the next
// entry, and the entry before carries SPLITLINE = 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

inline constexpr std::size_t LineWidth = 400;

// A line whose text is this marker is left out of the stored text.
inline constexpr std::string_view RemoveMarker = "!!!Remove this!!!";

struct LineEntry {
    std::string LINE;        // at most LineWidth bytes, without the line end
    std::uint32_t LEN = 0;   // length of LINE
    std::uint8_t SPLITLINE = 0;  // 1: the physical line goes on in the next entry

    // The line's text; safe even when LEN and LINE disagree.
    std::string_view text() const {
        std::size_t n = LEN < LINE.size() ? LEN : LINE.size();
        return std::string_view(LINE).substr(0, n < LineWidth ? n : LineWidth);
    }
    // Sets the text (clipped to LineWidth) and its length; SPLITLINE is kept.
    void setText(std::string_view s) {
        if (s.size() > LineWidth) s = s.substr(0, LineWidth);
        LINE.assign(s);
        LEN = static_cast<std::uint32_t>(s.size());
    }
    bool empty() const { return text().empty(); }
};

using LineQueue = std::vector<LineEntry>;

// Number of lines in the queue (the last line number).
inline std::size_t lineCount(const LineQueue& queue) { return queue.size(); }

// The entry of line number n (1-based); n must be in 1..lineCount(queue).
inline const LineEntry& lineAt(const LineQueue& queue, std::size_t n) { return queue[n - 1]; }
inline LineEntry& lineAt(LineQueue& queue, std::size_t n) { return queue[n - 1]; }

// Overwrites an entry with the removal marker.
inline void markRemoved(LineEntry& entry) {
    entry.setText(RemoveMarker);
    entry.SPLITLINE = 0;
}
inline bool isRemoved(const LineEntry& entry) { return entry.text() == RemoveMarker; }

// Appends one physical line (without its line end), split into entries of at
// most LineWidth bytes. An empty line is one entry of length 0.
inline void addLine(LineQueue& queue, std::string_view line) {
    do {
        LineEntry e;
        e.setText(line);
        line.remove_prefix(e.LEN);
        e.SPLITLINE = line.empty() ? 0 : 1;
        queue.push_back(std::move(e));
    } while (!line.empty());
}

// Splits a text into the queue at CR LF or LF line ends (a lone CR stays in
// the line). A line end at the very end of the text does not start another,
// empty line.
inline void addLines(LineQueue& queue, std::string_view text) {
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        std::string_view line = lf == std::string_view::npos ? text : text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        addLine(queue, line);
    }
}

inline LineQueue splitLines(std::string_view text) {
    LineQueue queue;
    addLines(queue, text);
    return queue;
}

}  // namespace quill

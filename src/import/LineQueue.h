// The line queue of one message being read: the format readers fill it in
// file order, the header parsers read it, the MIME part choice marks lines to
// leave out, and the text builder joins what is left into the stored text.
//
// Lines are numbered from 1. An entry holds at most LineWidth bytes of a
// physical line (without its line end); a longer line goes on in the next
// entry, and the entry before carries SPLITLINE = 1.
//
// Readers put the lines in RAW, as they stand in the file: they never decode
// quoted-printable, base64 or a character set themselves. The queue carries
// how the lines that become the text are encoded (BodyEncoding, below): the
// header parsers set it from the message's own Content-Type and
// Content-Transfer-Encoding, the MIME part choice replaces it by the chosen
// part's, and the text builder (BuildMessageText) decodes once, from it.
// clear() forgets it with the lines, so a queue reused for the next message
// never decodes that message with the previous one's encoding.
//
// Bounded growth. The stored text holds at most 64,000 characters, and the
// lines it is built from are nearly always the first few hundred kilobytes of
// a message. A queue therefore holds at most ByteBudget bytes (line text plus
// a fixed cost per entry, so that a message of empty lines is bounded too).
// Lines offered past the budget are counted in droppedLines and not kept:
// the reader goes on reading (and skipping) to the end of the message as
// usual, and what the queue holds stays the message's head. Memory per
// message is thus a few megabytes whatever the message's size or shape, and
// every pass over the queue is linear in what it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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

// How the body lines that become the stored text are encoded.
enum class TransferEncoding : std::uint8_t {
    Undeclared,       // no Content-Transfer-Encoding: see BuildMessageText
    Identity,         // 7bit, 8bit, binary: the lines are the text
    QuotedPrintable,  // "=XX" escapes, "=" at a line's end joins the next line
    Base64,
    Other,            // uuencode, x-token, ...: the lines are kept as they are
};

struct BodyEncoding {
    TransferEncoding transfer = TransferEncoding::Undeclared;
    // The declared character set, as written ("utf-8", "ISO-8859-2");
    // empty when none was declared.
    std::string charset;
    // The media type of the text, lower case ("text/plain"); empty when the
    // message did not declare one. A single-part message of another type
    // (an image, a program) has no text: the builder stores one line naming it.
    std::string mediaType;
    // The file name the part gives (filename= or name=), for that line.
    std::string fileName;
    // A multipart message without any text part: one line per part it held,
    // "[attachment: image/jpeg, photo.jpg, 34 KB]", set by the part choice.
    std::vector<std::string> attachments;
};

// Most bytes a queue holds; see "Bounded growth" above.
inline constexpr std::size_t LineQueueByteBudget = 4u * 1024u * 1024u;
// What one entry costs beyond its text.
inline constexpr std::size_t LineEntryCost = sizeof(LineEntry) + 8;

// The lines of one message and how they are encoded. It is a vector of
// entries (readers index it, size it and iterate it as one) whose adding
// operations keep within the budget.
struct LineQueue : std::vector<LineEntry> {
    using Base = std::vector<LineEntry>;
    using Base::Base;

    BodyEncoding encoding;
    std::size_t heldBytes = 0;     // text plus per-entry cost of what is held
    std::size_t droppedLines = 0;  // entries offered past the budget
    std::size_t byteBudget = LineQueueByteBudget;

    // True once an entry was refused: the queue holds the message's head only.
    bool truncated() const { return droppedLines != 0; }

    void push_back(LineEntry e) {
        const std::size_t cost = e.LINE.size() + LineEntryCost;
        if (heldBytes + cost > byteBudget) {
            ++droppedLines;
            return;
        }
        heldBytes += cost;
        Base::push_back(std::move(e));
    }
    template <class... A>
    void emplace_back(A&&... a) {
        push_back(LineEntry(std::forward<A>(a)...));
    }
    // Forgets the lines and the encoding: the queue is ready for the next
    // message. The capacity is released when it grew large, so a queue that
    // once held a huge message does not keep its memory.
    void clear() {
        Base::clear();
        if (capacity() > 65536) Base().swap(*this);
        encoding = BodyEncoding{};
        heldBytes = 0;
        droppedLines = 0;
    }
};

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
// The marker is recognised by its first 17 characters: a line that begins
// with it counts as removed whatever follows.
inline bool isRemoved(const LineEntry& entry) {
    return entry.text().substr(0, RemoveMarker.size()) == RemoveMarker;
}

// Appends one physical line (without its line end), split into entries of at
// most LineWidth bytes. An empty line is one entry of length 0.
inline void addLine(LineQueue& queue, std::string_view line) {
    if (queue.heldBytes + LineEntryCost > queue.byteBudget) {
        // Full: the line's entries are counted, not built.
        queue.droppedLines += line.empty() ? 1 : (line.size() + LineWidth - 1) / LineWidth;
        return;
    }
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

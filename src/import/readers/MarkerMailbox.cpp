// Marker mailbox ("IE Mail", "Outlook Express 4 Mail").
//
//   file header ("JMF6" ...)
//   00 7F 00 7F | number | record size | data length      per message: a 16-byte head whose
//   Received: ... From: ... Date: ... To: ...              bytes 127 0 127 mark the message;
//                                                          the header block starts at the
//   body ...                                               first "From:", "Date:", "To:" or
//   00 7F 00 7F | ...                                      "Subject:" after the mark
//
// The body runs to the next 127 0 127 or the end of the file. The lengths in
// the head are not needed and not trusted.
#include <cstring>

#include "import/readers/MailReaders.h"

namespace quill {

namespace {
constexpr std::string_view Marker("\x7f\0\x7f", 3);

bool headerKeyAt(std::string_view v) {
    for (std::string_view k : {"From:", "Date:", "To:", "Subject:"})
        if (v.compare(0, k.size(), k) == 0) return true;
    return false;
}
}  // namespace

bool MarkerMailbox::atMarker() {
    std::string_view v = w_.look(3);
    return v == Marker;
}

MailboxReader::Step MarkerMailbox::next(ReaderContext& c) {
    const uint64_t from = w_.position();
    // 1. The next mark.
    for (;;) {
        std::string_view v = w_.look(FileWindow::RecordSize - 1);
        if (v.size() < Marker.size()) return Step::End;
        std::size_t at = v.find(Marker);
        if (at != std::string_view::npos) {
            w_.advance(at + Marker.size());
            break;
        }
        w_.advance(v.size() - (Marker.size() - 1));
        if (w_.position() - from > ScanSlice) return Step::Scanned;
    }
    // 2. The first header key after it, before the next mark.
    for (;;) {
        std::string_view v = w_.look(FileWindow::RecordSize - 1);
        if (v.empty()) {
            c.skip();
            return Step::Message;
        }
        // Keys are at most 8 bytes: look at positions that leave room for one,
        // except at the end of the file.
        std::size_t usable = (w_.position() + v.size() >= w_.end() || v.size() <= 8) ? v.size() : v.size() - 8;
        std::size_t i = 0;
        bool found = false;
        for (; i < usable; ++i) {
            if (v.compare(i, Marker.size(), Marker) == 0) {
                w_.advance(i);
                c.skip();  // a mark without a header block
                return Step::Message;
            }
            if (headerKeyAt(v.substr(i))) {
                found = true;
                break;
            }
        }
        w_.advance(i);
        if (found) break;
    }
    // 3. Lines up to the next mark.
    WindowLine line;
    while (readLine(w_, LineEnds::Lf, line, 0x7F)) {
        if (line.stopped) {
            if (atMarker()) {
                if (!line.text.empty()) queue(line);
                break;
            }
            // A lone 127 byte is text; the line goes on in the next entry.
            if (line.text.size() < LineWidth) {
                line.text.push_back('\x7f');
                w_.advance(1);
            }
            line.split = true;
        }
        queue(line);
    }
    stageQueuedMail(c, queue_, 1, HeaderStyle::Mail);
    return Step::Message;
}

}  // namespace quill

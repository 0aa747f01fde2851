// Control-Z folder ("Pegasus", *.PMM).
//
//   [128-byte folder header: name, NUL padding, folder id]
//   Header: value CR LF ... CR LF CR LF body CR LF      message 1, starting at its first header line
//   1A                                                  CR LF 1A, CR 1A or LF 1A ends a message
//   Header: value ...                                   message 2
//   1A
//
// The folder header is passed over: the first message starts at the first
// header line, a text that holds ":" and is a known header, standing at the
// start of the file, after a line end or after the header's NUL padding.
// Dates are read with the simple reading of the header parser.
#include "import/Headers.h"
#include "import/readers/MailReaders.h"

namespace quill {

namespace {
constexpr int ControlZ = 26;

bool headerLineAt(std::string_view v) {
    std::size_t lf = v.find_first_of("\r\n");
    std::string_view first = v.substr(0, std::min<std::size_t>(lf, 50));
    return first.find(':') != std::string_view::npos && ClassifyHeaderLine(first) != HeaderNone;
}
}  // namespace

ReaderOpening PegasusFolder::begin(ReaderContext&, const std::string&) {
    found_ = false;
    prev_ = '\n';
    return {};
}

MailboxReader::Step PegasusFolder::next(ReaderContext& c) {
    const uint64_t from = w_.position();
    // The first header line of the file.
    while (!found_) {
        std::string_view v = w_.look(FileWindow::RecordSize - 1);
        if (v.empty()) return Step::End;
        std::size_t usable = (w_.position() + v.size() >= w_.end() || v.size() <= 60) ? v.size() : v.size() - 60;
        std::size_t i = 0;
        for (; i < usable; ++i) {
            bool afterBreak = prev_ == '\n' || prev_ == '\0';
            if (afterBreak && headerLineAt(v.substr(i, 60))) {
                found_ = true;
                break;
            }
            prev_ = v[i];
        }
        w_.advance(i);
        if (!found_ && w_.position() - from > ScanSlice) return Step::Scanned;
    }
    WindowLine line;
    bool any = false;
    bool ended = false;
    while (!ended && readLine(w_, LineEnds::Lf, line, ControlZ)) {
        if (line.stopped) {
            w_.advance(1);  // the separator byte
            ended = true;
            if (line.text.empty()) break;
        }
        // Line ends after a separator lead into the next message.
        if (!any && line.text.empty()) continue;
        any = true;
        queue(line);
    }
    if (!any) return w_.atEnd() ? Step::End : Step::Message;
    stageQueuedMail(c, queue_, 1, HeaderStyle::Mail);
    return Step::Message;
}

}  // namespace quill

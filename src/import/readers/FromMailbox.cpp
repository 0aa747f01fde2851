// "From " mailbox ("Generic Mail Type 2", "Poco Mail").
//
//   From sender@host Mon Jan  5 12:00:00 1998      separator (queue line 1)
//   Header: value                                  header block
//                                                  empty line
//   body ... Sent From my phone                    "From " inside a line: body
//   From other@host ...                            next separator
//
// Line ends are those of the file's first line (LF alone or CR LF). A message
// starts at the start of the file or at a line that begins "From "; a "From "
// inside a line never does, so a body that mentions " From " is not cut.
#include "import/readers/MailReaders.h"

namespace quill {

ReaderOpening FromMailbox::begin(ReaderContext&, const std::string&) {
    ends_ = detectLineEnds(w_);
    havePending_ = false;
    return {};
}

MailboxReader::Step FromMailbox::next(ReaderContext& c) {
    WindowLine line;
    bool any = false;  // the message holds a non-empty line
    if (havePending_) {
        queue(pending_);
        any = true;
        havePending_ = false;
    }
    bool lineStart = true;
    while (readLine(w_, ends_, line)) {
        bool separator = lineStart && line.text.compare(0, 5, "From ") == 0;
        lineStart = !line.split;
        if (separator && any) {
            pending_ = std::move(line);
            havePending_ = true;
            break;
        }
        // Empty lines before a message's first text belong to no message.
        if (!any && line.text.empty()) continue;
        any = true;
        queue(line);
    }
    if (!any) return Step::End;
    std::size_t first = lineCount(queue_) >= 1 && lineAt(queue_, 1).text().substr(0, 5) == "From " ? 2 : 1;
    stageMessage(c, queue_, first);
    return Step::Message;
}

void FromMailbox::stageMessage(ReaderContext& c, LineQueue& queue, std::size_t firstLine) {
    stageQueuedMail(c, queue, firstLine, HeaderStyle::Mail);
}

}  // namespace quill

// Header-block mailbox ("Generic Mail Type 1", "Becky Mail", "Agent Mail").
//
//   Received: ...                  a header block: lines from one that the header
//   From: a@b                      classifier knows up to the empty line; it starts
//   Date: ...                      a message when it holds From, Date and To lines
//   To: c@d
//                                  empty line
//   body ...
//   Note: a block without To       a block that lacks one of the three is body text
//   Received: ...                  of the message being read
//   From: ...                      next message
//
// Line ends are those of the file's first line (LF alone or CR LF); an
// LF-only file reads the same as a CR LF one. Text before the first message
// belongs to no message.
//
// "Becky Mail" is stricter about the block: every line of it must have the
// form of a header (a first word of at most 49 characters ending in ":") or
// continue the one before (it begins with a blank or tab). A line of any
// other form ends the block before its empty line, and the block then starts
// no message. So a paragraph of body text that happens to begin with
// "From: ..." and "Date: ..." lines is not taken for a message.
#include "import/Headers.h"
#include "import/readers/MailReaders.h"

namespace quill {

namespace {
constexpr std::size_t BlockLinesMax = 500;
}

bool beckyHeaderForm(std::string_view line) {
    std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 > 49) return false;
    return line.substr(0, colon).find_first_of(" \t") == std::string_view::npos;
}

ReaderOpening HeaderBlockMailbox::begin(ReaderContext&, const std::string&) {
    startFile();
    return {};
}

bool HeaderBlockMailbox::readBlock(const WindowLine& first) {
    block_.clear();
    block_.push_back(first);
    bool from = false, date = false, to = false;
    auto count = [&](std::string_view t) {
        switch (ClassifyHeaderLine(t.substr(0, 50))) {
            case HeaderFrom: from = true; break;
            case HeaderDate: date = true; break;
            case HeaderTo: to = true; break;
            default: break;
        }
    };
    count(first.text);
    bool lineStart = !first.split;
    WindowLine line;
    while (block_.size() < BlockLinesMax && readLine(w_, ends_, line)) {
        bool start = lineStart;
        lineStart = !line.split;
        block_.push_back(line);
        if (!start) continue;
        const std::string& t = block_.back().text;
        if (t.empty()) break;
        if (becky_ && t[0] != ' ' && t[0] != '\t' && !beckyHeaderForm(t)) return false;
        count(t);
    }
    return from && date && to;
}

void HeaderBlockReader::startFile() {
    ends_ = detectLineEnds(w_);
    havePendingBlock_ = false;
    block_.clear();
}

MailboxReader::Step HeaderBlockReader::collectMessage() {
    bool haveMessage = false;
    if (havePendingBlock_) {
        for (auto& l : block_) queue(l);
        havePendingBlock_ = false;
        haveMessage = true;
    }
    const uint64_t from = w_.position();
    WindowLine line;
    bool lineStart = true;
    while (readLine(w_, ends_, line)) {
        bool start = lineStart;
        lineStart = !line.split;
        if (start && ClassifyHeaderLine(std::string_view(line.text).substr(0, 50)) != HeaderNone) {
            bool isStart = readBlock(line);
            lineStart = !block_.back().split;
            if (isStart && haveMessage) {
                havePendingBlock_ = true;
                break;
            }
            if (isStart || haveMessage) {
                for (auto& l : block_) queue(l);
                haveMessage = true;
            }
            continue;
        }
        if (haveMessage) queue(line);
        else if (w_.position() - from > ScanSlice) return Step::Scanned;
    }
    return haveMessage ? Step::Message : Step::End;
}

MailboxReader::Step HeaderBlockMailbox::next(ReaderContext& c) {
    if (Step st = collectMessage(); st != Step::Message) return st;
    stageQueuedMail(c, queue_, 1, HeaderStyle::Mail);
    return Step::Message;
}

}  // namespace quill

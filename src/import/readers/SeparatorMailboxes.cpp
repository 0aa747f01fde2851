// Separator mailboxes: "Eudora" and "Netscape Mail".
//
// Eudora (In.mbx with its table of contents In.toc beside it):
//
//   In.mbx:  From ???@??? Mon Jan 05 12:00:00 1998 CR LF    separator, queue line 1
//            Header: value CR LF ... CR LF                  header block, empty line
//            body CR LF ...
//            From ???@??? ...                               next separator
//   In.toc:  [104-byte header][218-byte summary]...
//            summary bytes 0-3: offset of its message's separator (LONG, LE)
//
// Deleted messages stay in the mailbox until it is compacted; the table of
// contents lists only the live ones, so with a table a separator counts only
// when its offset is listed, and the text of an unlisted message is passed
// over. Without a table every separator counts.
//
// Netscape:
//
//   From - Tue Oct 02 00:26:47 2007        separator (not queued)
//   X-Mozilla-Status: 0001                 status lines (not queued)
//   Received: ...
//   From: / Date: / To: / Subject: ...     the header block starts at the first of these
//                                          empty line
//   body ...                               up to the next line that begins "From - "
#include <algorithm>
#include <cstdio>

#include "import/readers/MailReaders.h"

namespace quill {

namespace {
constexpr std::size_t TocHeaderSize = 104;
constexpr std::size_t TocSummarySize = 218;
constexpr std::string_view EudoraSeparator = "From ???@???";
constexpr std::string_view NetscapeSeparator = "From - ";
}  // namespace

std::string EudoraMailbox::tableOfContentsPath(const std::string& mailboxPath) {
    std::size_t slash = mailboxPath.find_last_of('/');
    std::size_t dot = mailboxPath.find_last_of('.');
    std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                           ? mailboxPath.substr(0, dot)
                           : mailboxPath;
    for (const char* ext : {".TOC", ".toc", ".Toc"}) {
        std::string p = stem + ext;
        if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
            std::fclose(f);
            return p;
        }
    }
    return {};
}

bool EudoraMailbox::readTableOfContents(const std::string& tocPath, std::vector<uint64_t>& offsets) {
    offsets.clear();
    FileWindow toc;
    std::string err;
    if (!toc.open(tocPath, err)) return false;
    for (uint64_t at = TocHeaderSize; at + TocSummarySize <= toc.size(); at += TocSummarySize) {
        uint32_t off = 0;
        if (!toc.readLong(at, off)) break;
        offsets.push_back(off);
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    return true;
}

ReaderOpening EudoraMailbox::begin(ReaderContext&, const std::string& path) {
    havePending_ = false;
    std::string toc = tableOfContentsPath(path);
    haveToc_ = !toc.empty() && readTableOfContents(toc, listed_);
    if (!haveToc_) listed_.clear();
    return {};
}

bool EudoraMailbox::validSeparator(const WindowLine& line) const {
    if (line.text.compare(0, EudoraSeparator.size(), EudoraSeparator) != 0) return false;
    return !haveToc_ || std::binary_search(listed_.begin(), listed_.end(), line.start);
}

MailboxReader::Step EudoraMailbox::next(ReaderContext& c) {
    WindowLine line;
    const uint64_t from = w_.position();
    // Up to the next valid separator: text before it belongs to no message.
    while (!havePending_) {
        if (!readLine(w_, LineEnds::CrLf, line)) return Step::End;
        if (validSeparator(line)) {
            pending_ = std::move(line);
            havePending_ = true;
            break;
        }
        // Skip the rest of a split line.
        while (line.split && readLine(w_, LineEnds::CrLf, line)) {
        }
        if (w_.position() - from > ScanSlice) return Step::Scanned;
    }
    queue(pending_);
    havePending_ = false;
    bool lineStart = true;
    while (readLine(w_, LineEnds::CrLf, line)) {
        if (lineStart && line.text.compare(0, EudoraSeparator.size(), EudoraSeparator) == 0) {
            if (validSeparator(line)) {
                pending_ = std::move(line);
                havePending_ = true;
                break;
            }
            // A deleted message: passed over up to the next valid separator.
            if (haveToc_) break;
        }
        lineStart = !line.split;
        queue(line);
    }
    stageQueuedMail(c, queue_, 1, HeaderStyle::Separated);
    return Step::Message;
}

// ---------------------------------------------------------------------------

ReaderOpening NetscapeMailbox::begin(ReaderContext&, const std::string&) {
    ends_ = detectLineEnds(w_);
    atSeparator_ = false;
    return {};
}

namespace {
bool netscapeHeaderStart(std::string_view t) {
    for (std::string_view k : {"From:", "Date:", "To:", "Subject:"})
        if (t.compare(0, k.size(), k) == 0) return true;
    return false;
}
}  // namespace

MailboxReader::Step NetscapeMailbox::next(ReaderContext& c) {
    WindowLine line;
    const uint64_t from = w_.position();
    bool lineStart = true;
    // 1. To a separator line.
    while (!atSeparator_) {
        if (!readLine(w_, ends_, line)) return Step::End;
        if (lineStart && line.text.compare(0, NetscapeSeparator.size(), NetscapeSeparator) == 0) {
            atSeparator_ = true;
            break;
        }
        lineStart = !line.split;
        if (w_.position() - from > ScanSlice) return Step::Scanned;
    }
    atSeparator_ = false;
    // 2. Status lines up to the first From, Date, To or Subject line.
    lineStart = true;
    bool inHeader = false;
    while (readLine(w_, ends_, line)) {
        if (lineStart && line.text.compare(0, NetscapeSeparator.size(), NetscapeSeparator) == 0) {
            atSeparator_ = true;
            break;
        }
        bool wasStart = lineStart;
        lineStart = !line.split;
        if (!inHeader) {
            if (!wasStart || !netscapeHeaderStart(line.text)) continue;
            inHeader = true;
        }
        queue(line);
    }
    if (!inHeader) {
        c.skip();  // a separator without a header block
        return Step::Message;
    }
    stageQueuedMail(c, queue_, 1, HeaderStyle::Mail);
    return Step::Message;
}

}  // namespace quill

#include "import/readers/MailFlow.h"

#include <algorithm>
#include <cctype>

#include "database/Types.h"
#include "import/Mime.h"
#include "import/StoreWriter.h"

namespace quill {

void stageQueuedMail(ReaderContext& c, LineQueue& queue, std::size_t firstLine, HeaderStyle style) {
    c.s.NewHR.clearBuffer();
    MailHeaderResult r = style == HeaderStyle::Separated ? c.parseSeparatedMailHeaders(queue, firstLine)
                                                         : c.parseMailHeaders(queue, firstLine);
    if (!r.ok) {
        c.skip();
        return;
    }
    stageParsedMail(c, queue, r.bodyStart, r.contentKind);
}

void stageParsedMail(ReaderContext& c, const LineQueue& queue, std::size_t bodyStart, uint8_t contentKind) {
    Session& s = c.s;
    if (c.def.msgFilter == 2 || !c.def.mailMsg || c.mailboxName.empty()) {
        c.skip();
        return;
    }
    ReaderContext::Target t = c.findTarget(c.mailboxName, TypeMail);
    if (t.id == 0 || !t.importAllowed) {
        c.skip();
        return;
    }
    auto& NHR = s.NHR;
    NHR.INTERNAL = t.id;
    NHR.FOR_DESCRIPTION = c.owner.name;
    NHR.RECIPTYPE = "TO";
    uint32_t n = c.nextNumber();
    NHR.MSGNUMBER = n;
    NHR.REFNUMBER = n;
    // Empty lines at the end (the blank line before a mailbox's next
    // separator) are no part of the text. A body start past the last line
    // gives an empty text.
    std::size_t last = queue.size();
    while (last >= bodyStart && last > 0 && lineAt(queue, last).empty() && !(last > 1 && lineAt(queue, last - 1).SPLITLINE))
        --last;
    s.NewHR.memo = bodyStart <= last ? BuildMessageText(contentKind, queue, bodyStart, last, c.def.typeName)
                                     : std::string();
    (void)c.stage();
}

ReaderOpening MailboxReader::open(ReaderContext& c, const std::string& path) {
    ReaderOpening o;
    clearQueue();
    path_ = path;
    if (!w_.open(path, o.errorText)) {
        o.outcome = OpenOutcome::CannotOpen;
        return o;
    }
    c.progress = 0;
    return begin(c, path);
}

ReaderOpening MailboxReader::begin(ReaderContext&, const std::string&) { return {}; }

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool containsNoCase(std::string_view text, std::string_view word) {
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i)
        if (startsWithNoCase(text.substr(i), word)) return true;
    return false;
}

}  // namespace

QueueBudget::Take QueueBudget::take(const WindowLine& piece) {
    const std::size_t n = std::min(piece.text.size(), LineWidth) + LineEntryCost;
    Take t;
    if (atLineStart_) {
        t = decide(piece.text, n);
        lineKept_ = t == Take::Keep;
    } else if (!lineKept_) {
        t = Take::Drop;
    } else if (used_ + n <= HeadBytes) {
        used_ += n;
        t = Take::Keep;
    } else if (overflow_ + n <= OverflowBytes) {
        overflow_ += n;
        t = Take::Keep;
    } else {
        lineKept_ = false;
        t = Take::EndLine;
    }
    atLineStart_ = !piece.split;
    return t;
}

QueueBudget::Take QueueBudget::decide(std::string_view line, std::size_t n) {
    if (used_ + n <= HeadBytes) {
        used_ += n;
        return Take::Keep;
    }
    // Beyond the cap: follow the MIME structure from the lines alone.
    if (line.size() >= 2 && line[0] == '-' && line[1] == '-') {
        part_ = Part::Headers;
        textType_ = typeHeader_ = attachment_ = false;
    } else if (part_ == Part::Headers) {
        if (line.empty()) {
            part_ = textType_ && !attachment_ ? Part::Text : Part::Skipped;
        } else if (line[0] == ' ' || line[0] == '\t') {
            // A folded header line goes on with the header before it.
            if (typeHeader_ && containsNoCase(line, "text/")) textType_ = true;
        } else {
            typeHeader_ = startsWithNoCase(line, "content-type:");
            if (typeHeader_) textType_ = containsNoCase(line, "text/");
            // A text file sent as an attachment is an attachment.
            if (startsWithNoCase(line, "content-disposition:") && containsNoCase(line, "attachment"))
                attachment_ = true;
        }
    } else if (part_ == Part::Skipped) {
        return Take::Drop;
    }
    if (overflow_ + n > OverflowBytes) return Take::Drop;
    overflow_ += n;
    return Take::Keep;
}

bool MailboxReader::read(ReaderContext& c) {
    int32_t budget = c.batchSize > 0 ? c.batchSize : 1;
    bool finished = false;
    while (budget > 0) {
        Step st = next(c);
        clearQueue();
        if (st == Step::End) {
            finished = true;
            break;
        }
        if (st == Step::Scanned) break;
        --budget;
    }
    c.progress = double(finished ? w_.size() : w_.position());
    return finished;
}

void MailboxReader::close() {
    clearQueue();
    w_.close();
}

}  // namespace quill

#include "import/readers/MailFlow.h"

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

// The message flow shared by every mailbox reader: the reader finds a
// message's lines and queues them; this flow runs the header parser, finds
// the Mail database, numbers the mail, builds its text and stages it.
//
// MailboxReader is the base of the readers: it owns the file window, opens
// the file on the run's first call (state 199), and on every later call
// (state 99) asks the format for messages until the readers' batch size is
// used up, a slice of bytes has been scanned, or the file ends.
#pragma once

#include <cstdint>
#include <string>

#include "import/ImportTypes.h"
#include "import/LineQueue.h"
#include "import/readers/FileWindow.h"

namespace quill {

// Which header parser reads a queued message.
enum class HeaderStyle : uint8_t {
    Mail,       // ParseMailHeaders
    Separated,  // ParseSeparatedMailHeaders: the first line is a dated separator
};

// Stages one queued mail: header parser from firstLine, then the common
// flow. A message the parser rejects is counted as skipped.
void stageQueuedMail(ReaderContext& c, LineQueue& queue, std::size_t firstLine, HeaderStyle style);

// The common flow after the header parser accepted a mail (s.NHR filled):
// the target Mail database, the message's own thread number, the text from
// bodyStart to the last queued line, and the staging record.
void stageParsedMail(ReaderContext& c, const LineQueue& queue, std::size_t bodyStart, uint8_t contentKind);

// What a message may queue, counted as the queue counts its memory (text
// plus a cost per entry). Message texts are cut at 64000 characters anyway;
// the queue's budget keeps one giant message from filling memory. The first
// HeadBytes take every line. Beyond them (a giant attachment, usually) only
// what may lead to a later text part is taken: lines that may be MIME
// boundaries ("--..."), the header lines after them, and the body of a part
// they declare as text, up to OverflowBytes more. A text part after a large
// attachment is thus kept within the same memory bound. A line is taken or
// left whole: its continuation pieces share the decision made at its first
// piece.
class QueueBudget {
public:
    static constexpr std::size_t OverflowBytes = 1024 * 1024;
    static constexpr std::size_t HeadBytes = LineQueueByteBudget - OverflowBytes;
    enum class Take : uint8_t {
        Keep,
        Drop,
        // The rest of a line whose first pieces were kept is dropped: the
        // last kept piece must no longer say that the line goes on.
        EndLine,
    };
    Take take(const WindowLine& piece);
    void reset() { *this = QueueBudget(); }

private:
    enum class Part : uint8_t { Skipped, Headers, Text };
    Take decide(std::string_view firstPiece, std::size_t n);
    std::size_t used_ = 0, overflow_ = 0;
    bool atLineStart_ = true, lineKept_ = true;
    Part part_ = Part::Skipped;
    bool textType_ = false, typeHeader_ = false, attachment_ = false;
};

class MailboxReader : public Reader {
public:
    ReaderOpening open(ReaderContext& c, const std::string& path) override;
    bool read(ReaderContext& c) override;
    void close() override;

protected:
    // Bytes a call may scan without finding a message before it returns, so
    // that the progress is shown on a file with long stretches of garbage.
    static constexpr uint64_t ScanSlice = 4 * 1024 * 1024;

    enum class Step : uint8_t { Message, Scanned, End };
    // Called after the window is open: format checks, tables, line ends.
    virtual ReaderOpening begin(ReaderContext& c, const std::string& path);
    // Finds, queues and stages (or skips) the next message. Scanned: no
    // message yet, but a slice of bytes was passed over.
    virtual Step next(ReaderContext& c) = 0;

    // Adds a line piece to the queue within the byte caps.
    void queue(const WindowLine& line) {
        switch (budget_.take(line)) {
            case QueueBudget::Take::Keep: queueLine(queue_, line); break;
            case QueueBudget::Take::EndLine:
                if (!queue_.empty()) queue_.back().SPLITLINE = 0;
                break;
            case QueueBudget::Take::Drop: break;
        }
    }
    void clearQueue() {
        queue_.clear();
        budget_.reset();
    }

    FileWindow w_;
    LineQueue queue_;
    QueueBudget budget_;
    std::string path_;
};

}  // namespace quill

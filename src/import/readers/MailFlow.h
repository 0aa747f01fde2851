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

// Queued bytes of a queue (for the QueueByteCap test).
class QueueBudget {
public:
    bool take(std::size_t n) {
        if (used_ + n > QueueByteCap) return false;
        used_ += n;
        return true;
    }
    void reset() { used_ = 0; }

private:
    std::size_t used_ = 0;
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

    // Adds a line piece to the queue within the byte cap.
    void queue(const WindowLine& line) {
        if (budget_.take(line.text.size() + 1)) queueLine(queue_, line);
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

// Length-prefixed message base ("TheBat", *.TBB). Numbers are little-endian.
//
//   0     LONG   427361824 (bytes 20 06 79 19)       file header
//   4     USHORT length of the file header
//   ...
//   hdr   LONG   426772769 (bytes 21 09 70 19)       message header, 48 bytes
//   +4    USHORT length of the message header         (the data starts that far from its start)
//   +36   LONG   length of the message data
//   data  header lines, empty line, body              an ordinary message, read only to its end
//   next message header directly after the data
//
// A message header without its magic number, or data that would run past
// the end of the file, ends the reading of the file.
#include "import/readers/MailReaders.h"

namespace quill {

ReaderOpening TheBatBase::begin(ReaderContext&, const std::string&) {
    ReaderOpening o;
    uint32_t magic = 0;
    uint16_t headerLength = 0;
    if (!w_.readLong(0, magic) || magic != FileMagic || !w_.readShort(4, headerLength)) {
        o.outcome = OpenOutcome::NotRecognised;
        return o;
    }
    w_.seek(headerLength);
    return o;
}

MailboxReader::Step TheBatBase::next(ReaderContext& c) {
    const uint64_t at = w_.position();
    uint32_t magic = 0, dataLength = 0;
    uint16_t headerLength = 0;
    if (!w_.readLong(at, magic) || magic != MessageMagic || !w_.readShort(at + 4, headerLength) ||
        !w_.readLong(at + 36, dataLength) || headerLength < MessageHeaderSize)
        return Step::End;
    const uint64_t dataStart = at + headerLength;
    const uint64_t dataEnd = dataStart + dataLength;
    if (dataEnd > w_.size()) return Step::End;
    w_.setLimit(dataEnd);
    w_.seek(dataStart);
    WindowLine line;
    while (readLine(w_, LineEnds::Lf, line)) queue(line);
    w_.clearLimit();
    w_.seek(dataEnd);
    if (queue_.empty()) {
        c.skip();
        return Step::Message;
    }
    stageQueuedMail(c, queue_, 1, HeaderStyle::Mail);
    return Step::Message;
}

}  // namespace quill

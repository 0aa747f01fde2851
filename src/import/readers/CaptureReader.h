// The reader of CompuServe forum and mail text captures ("TAPCIS 5.x",
// "TAPCIS 6.x", "AUTOSIG", "OzCIS", "OzWin I", "OzWin II"), and the
// detection of a capture's format.
//
// A capture is the service's message display written one message after the
// other, each introduced by a header block (see CaptureHeaders.h):
//
//   (anything before the first start line is passed over)
//   #: 12345 S3/General (CIS:FORUM)     <- start line of a message
//   ...header lines, body lines...
//   #: 12346 S3/General (CIS:FORUM)     <- the next start ends it
//   ...
//
// A file holds either forum messages or mail, decided once per file. Lines
// end at LF (a CR before it is dropped); a line is kept up to 1200
// characters and held in the line list as up to three entries of 400. The
// DOS types ("OzCIS", "TAPCIS", "AUTOSIG") are converted from code page 850
// as their lines are read.
//
// Each call fills the line list to 2500 entries and then on to the next
// start line, which is held back as the pending start line; the messages in
// the list are then parsed and staged, up to the batch size, and the rest
// waits for the next call. At most 2500 lines plus one message (itself
// bounded) are held in memory.
#pragma once

#include <cstdint>
#include <fstream>
#include <istream>
#include <string>

#include "import/ImportTypes.h"
#include "import/LineQueue.h"
#include "import/readers/CaptureHeaders.h"

namespace quill {

// The format of a capture: CaptureForum, CaptureMail or CaptureUnknown,
// read from the start of the stream (which it leaves wherever it stopped).
// mailRun tells whether the run imports into a Mail database (the TAPCIS and
// AUTOSIG captures do not say which kind they hold).
std::uint8_t DetectCaptureFormat(std::string_view typeName, std::istream& in, bool mailRun);

// True when the run imports into a Mail database and names no forum.
bool importsIntoMailbox(const ReaderContext& c);

class CaptureReader : public Reader {
public:
    explicit CaptureReader(CaptureType type) : type_(type) {}
    ReaderOpening open(ReaderContext& c, const std::string& path) override;
    bool read(ReaderContext& c) override;
    void close() override;

    std::uint8_t format() const { return format_; }

    // Entries the list is filled to before it reads on to the next start.
    static constexpr std::size_t ListLines = 2500;
    // Characters of a file line that are kept.
    static constexpr std::size_t LineKeep = 1200;

protected:
    // Reads the next file line without its line end; false at the end.
    virtual bool nextLine(std::string& line);
    // The format of the file just opened (the stream is rewound afterwards).
    virtual std::uint8_t detect(ReaderContext& c);
    // Puts one file line into the line list.
    virtual void addToList(std::string_view line);
    // The most messages one call stages.
    virtual std::int32_t batchLimit(const ReaderContext& c) const;
    // The body lines first..last of the list as the text builder gets them:
    // returns the queue and sets first and last to the lines within it.
    virtual LineQueue& bodyLines(std::size_t& first, std::size_t& last);

    // Reads one byte; false at the end of the file.
    bool nextByte(char& ch);

    CaptureType type_;
    std::uint8_t format_ = CaptureUnknown;
    std::ifstream in_;
    std::uint64_t consumed_ = 0;
    bool eof_ = false;
    LineQueue list_;

private:
    void fill();
    bool startsLine(std::size_t n) const;
    // Parses and stages the message of list lines first..last; true when it
    // was staged (false: skipped and counted).
    bool stageMessage(ReaderContext& c, std::size_t first, std::size_t last);
    bool stageForum(ReaderContext& c, std::size_t first, std::size_t last);
    bool stageMail(ReaderContext& c, std::size_t first, std::size_t last);
    std::string messageText(bool mail, std::size_t first, std::size_t last);

    std::string pending_;
    bool hasPending_ = false;
};

}  // namespace quill

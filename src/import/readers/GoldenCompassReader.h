// The "GoldenCompass" reader: forum messages or mail of the TAPCIS 5.x
// layout (see CaptureHeaders.h), kept in a byte file whose text carries the
// program's line markers.
//
//   #: 12345 S3/General@b CR LF        start line; lines end at CR LF, a CR
//       5-Mar-96@b CR LF               alone stays in the line
//   Sb: #12340-Re: prices@b CR LF
//   Fm: John Smith 70000,123@b CR LF
//   To: All@b CR LF
//   CR LF
//   @lFirst line of text@b LF @lSecond line@b CR LF
//
// In the body a leading "@l" and a final "@b" or "@l" are dropped from each
// line, and an LF inside a line (with the markers around it) ends a text
// line there. No code page conversion is applied.
//
// Whether the file holds forum messages or mail is not read from the file:
// a run into a Mail database reads mail, every other run forum messages.
// A call stages at most the batch size of forum messages, or 3 mails.
#pragma once

#include "import/readers/CaptureReader.h"

namespace quill {

class GoldenCompassReader : public CaptureReader {
public:
    GoldenCompassReader() : CaptureReader(CaptureType::GoldenCompass) {}

    // A physical line is kept up to this many characters.
    static constexpr std::size_t LineKeep = 64000;
    static constexpr std::int32_t MailBatch = 3;

protected:
    bool nextLine(std::string& line) override;
    std::uint8_t detect(ReaderContext& c) override;
    void addToList(std::string_view line) override;
    std::int32_t batchLimit(const ReaderContext& c) const override;
    LineQueue& bodyLines(std::size_t& first, std::size_t& last) override;

private:
    LineQueue body_;
};

// The text lines of one physical line of a GoldenCompass body: split at each
// LF, each piece without a leading "@l" and a final "@b" or "@l".
std::vector<std::string> goldenCompassTextLines(std::string_view line);

}  // namespace quill

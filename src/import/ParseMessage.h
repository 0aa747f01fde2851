// Reads one Internet message (RFC 822 header block and body) the way the
// mail and news readers do, for the diagnostic parse of a single file.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "database/Records.h"
#include "import/LineQueue.h"

namespace quill {

struct ParsedMessage {
    NewHRRecord NHR{};        // the staged fields, encoded words decoded as stored
    std::string text;         // the text that would be stored
    std::string importType;   // the type whose reading was applied
    uint8_t messageKind = 0;  // MessageKind of the header parsers
    uint8_t contentKind = 0;  // ContentKind
    std::size_t bodyStart = 0;
    bool skipped = false;     // the type's reader would skip the message
    std::string skipReason;
    std::size_t droppedLines = 0;  // lines past the queue's budget, not read
};

// The header parser an import type's reader uses.
enum class HeaderParserKind { Mail, SeparatedMail, Internet, None };
HeaderParserKind headerParserOf(std::string_view importType);

// The type a message is read as when none is given: "Unix News" when its
// header block has a Newsgroups line, else "Generic Mail Type 2" (the
// "From " mailbox).
std::string defaultImportType(const LineQueue& queue);

// Parses the lines of one message as the reader of importType does (empty:
// defaultImportType). A leading mailbox separator line ("From ...") is
// passed over, except by the separator-mailbox parser, which reads its date.
// Mail is read for a mailbox whose owner has ownerAddress: mail from the
// owner counts as sent, any other as received by the owner. A type whose
// reader uses no Internet header parser is reported as skipped.
ParsedMessage parseMessageLines(LineQueue& queue, std::string_view ownerAddress = {},
                                std::string_view importType = {});
ParsedMessage parseMessageBytes(std::string_view bytes, std::string_view ownerAddress = {},
                                std::string_view importType = {});
// Reads the message from a stream line by line into a bounded queue, so a
// huge file takes no more memory than the queue's budget.
ParsedMessage parseMessageStream(std::istream& in, std::string_view ownerAddress = {},
                                 std::string_view importType = {});

const char* messageKindName(uint8_t kind);
const char* contentKindName(uint8_t kind);

}  // namespace quill

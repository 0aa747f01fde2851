// Reads one Internet message (RFC 822 header block and body) the way the
// mail and news readers do, for the diagnostic parse of a single file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "database/Records.h"

namespace quill {

struct ParsedMessage {
    NewHRRecord NHR{};        // the staged fields, encoded words decoded as stored
    std::string text;         // the text that would be stored
    uint8_t messageKind = 0;  // MessageKind of the header parsers
    uint8_t contentKind = 0;  // ContentKind
    std::size_t bodyStart = 0;
};

// Parses the bytes of one message. A leading mailbox separator line
// ("From sender date") is passed over. Mail is read for a mailbox whose
// owner has ownerAddress: mail from the owner counts as sent, any other as
// received by the owner.
ParsedMessage parseMessageBytes(std::string_view bytes, std::string_view ownerAddress = {});

const char* messageKindName(uint8_t kind);
const char* contentKindName(uint8_t kind);

}  // namespace quill

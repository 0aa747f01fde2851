#include "import/ParseMessage.h"

#include <cstring>

#include "import/EncodedWords.h"
#include "import/Headers.h"
#include "import/LineQueue.h"
#include "import/Mime.h"

namespace quill {

ParsedMessage parseMessageBytes(std::string_view bytes, std::string_view ownerAddress) {
    ParsedMessage r;
    std::memset(&r.NHR, 0, sizeof r.NHR);
    for (FStr<100>* f : {&r.NHR.FOR_DESCRIPTION, &r.NHR.SEC_DESCRIPTION, &r.NHR.HEADING}) f->clear();
    for (FStr<60>* f : {&r.NHR.S_CISADRESS, &r.NHR.S_NAME, &r.NHR.R_CISADRESS, &r.NHR.R_NAME}) f->clear();
    r.NHR.RECIPTYPE.clear();
    LineQueue queue = splitLines(bytes);
    std::size_t first = 1;
    if (!queue.empty() && lineAt(queue, 1).text().substr(0, 5) == "From ") first = 2;
    HeaderContext ctx;
    ctx.ownerAddress = std::string(ownerAddress);
    InternetHeaderResult h = ParseInternetHeaders(queue, first, r.NHR, ctx);
    r.messageKind = h.messageKind;
    r.contentKind = h.contentKind;
    r.bodyStart = h.bodyStart;
    r.text = BuildMessageText(h.contentKind, queue, h.bodyStart, queue.size());
    DecodeEncodedWord(r.NHR.S_NAME);
    DecodeEncodedWord(r.NHR.R_NAME);
    DecodeEncodedWord(r.NHR.HEADING);
    return r;
}

const char* messageKindName(uint8_t kind) {
    switch (kind) {
        case MessageForum: return "forum";
        case MessageMail: return "mail";
        case MessageNews: return "news";
        default: return "unknown";
    }
}

const char* contentKindName(uint8_t kind) {
    switch (kind) {
        case ContentPlain: return "plain";
        case ContentHtml: return "html";
        case ContentEnriched: return "enriched";
        default: return "unknown";
    }
}

}  // namespace quill

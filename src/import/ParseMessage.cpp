#include "import/ParseMessage.h"

#include <array>
#include <cstring>

#include "import/EncodedWords.h"
#include "import/Headers.h"
#include "import/Mime.h"

namespace quill {

namespace {

bool startsNoCase(std::string_view line, std::string_view upperPrefix) {
    if (line.size() < upperPrefix.size()) return false;
    for (std::size_t i = 0; i < upperPrefix.size(); ++i)
        if (upper1252(static_cast<unsigned char>(line[i])) != static_cast<unsigned char>(upperPrefix[i]))
            return false;
    return true;
}

void clearRecord(NewHRRecord& NHR) {
    std::memset(&NHR, 0, sizeof NHR);
    for (FStr<100>* f : {&NHR.FOR_DESCRIPTION, &NHR.SEC_DESCRIPTION, &NHR.HEADING}) f->clear();
    for (FStr<60>* f : {&NHR.S_CISADRESS, &NHR.S_NAME, &NHR.R_CISADRESS, &NHR.R_NAME}) f->clear();
    NHR.RECIPTYPE.clear();
}

}  // namespace

HeaderParserKind headerParserOf(std::string_view type) {
    static constexpr std::array<std::string_view, 13> mail = {
        "Netscape Mail", "IE Mail",    "Outlook Express 4 Mail", "Outlook Express 5 Mail", "Pegasus",
        "Generic Mail Type 1", "Becky Mail", "Agent Mail", "Generic Mail Type 2", "Poco Mail",
        "TheBat", "AOL", "CompuServe 2000"};
    static constexpr std::array<std::string_view, 9> news = {
        "VirtualAccess", "Agent News", "Unix News", "IE News", "Outlook Express 4 News",
        "Netscape News", "Gravity", "Winvn", "Outlook Express 5 News"};
    if (type == "Eudora") return HeaderParserKind::SeparatedMail;
    for (std::string_view t : mail)
        if (t == type) return HeaderParserKind::Mail;
    for (std::string_view t : news)
        if (t == type) return HeaderParserKind::Internet;
    return HeaderParserKind::None;
}

std::string defaultImportType(const LineQueue& queue) {
    for (const LineEntry& e : queue) {
        std::string_view t = e.text();
        if (t.empty() || t == "\r") break;
        if (startsNoCase(t, "NEWSGROUPS:")) return "Unix News";
    }
    return "Generic Mail Type 2";
}

ParsedMessage parseMessageLines(LineQueue& queue, std::string_view ownerAddress, std::string_view importType) {
    ParsedMessage r;
    clearRecord(r.NHR);
    r.importType = importType.empty() ? defaultImportType(queue) : std::string(importType);
    r.droppedLines = queue.droppedLines;
    const HeaderParserKind parser = headerParserOf(r.importType);
    std::size_t first = 1;
    if (parser != HeaderParserKind::SeparatedMail && !queue.empty() &&
        lineAt(queue, 1).text().substr(0, 5) == "From ")
        first = 2;
    HeaderContext ctx;
    ctx.importType = r.importType;
    ctx.ownerAddress = std::string(ownerAddress);
    switch (parser) {
        case HeaderParserKind::Mail:
        case HeaderParserKind::SeparatedMail: {
            MailHeaderResult h = parser == HeaderParserKind::Mail ? ParseMailHeaders(queue, first, r.NHR, ctx)
                                                                  : ParseSeparatedMailHeaders(queue, first, r.NHR, ctx);
            r.messageKind = MessageMail;
            if (!h.ok) {
                r.skipped = true;
                r.skipReason = "a news article: the mail reader skips it";
                return r;
            }
            r.contentKind = h.contentKind;
            // This reader chooses the part itself, while it collects the body.
            if (!h.boundary.empty() && r.importType == "Outlook Express 5 Mail")
                r.contentKind = ChooseMimePart(queue, h.bodyStart, queue.size(), h.boundary);
            r.bodyStart = h.bodyStart;
            break;
        }
        case HeaderParserKind::Internet: {
            InternetHeaderResult h = ParseInternetHeaders(queue, first, r.NHR, ctx);
            r.messageKind = h.messageKind;
            r.contentKind = h.contentKind;
            r.bodyStart = h.bodyStart;
            break;
        }
        case HeaderParserKind::None:
            r.skipped = true;
            r.skipReason = "the type " + r.importType + " is not read with Internet message headers";
            return r;
    }
    r.text = BuildMessageText(r.contentKind, queue, r.bodyStart, queue.size(), r.importType);
    DecodeEncodedWord(r.NHR.S_NAME);
    DecodeEncodedWord(r.NHR.R_NAME);
    DecodeEncodedWord(r.NHR.HEADING);
    return r;
}

ParsedMessage parseMessageBytes(std::string_view bytes, std::string_view ownerAddress, std::string_view importType) {
    LineQueue queue = splitLines(bytes);
    return parseMessageLines(queue, ownerAddress, importType);
}

ParsedMessage parseMessageStream(std::istream& in, std::string_view ownerAddress, std::string_view importType) {
    LineQueue queue;
    std::string line;  // the line being read, at most one entry's width ahead
    char buffer[65536];
    // A long line is queued entry by entry as it is read, so even a file
    // without line ends is never held whole.
    auto flushLong = [&] {
        while (line.size() > LineWidth) {
            LineEntry e;
            e.setText(std::string_view(line).substr(0, LineWidth));
            e.SPLITLINE = 1;
            queue.push_back(std::move(e));
            line.erase(0, LineWidth);
        }
    };
    while (in) {
        in.read(buffer, sizeof buffer);
        const std::string_view chunk(buffer, static_cast<std::size_t>(in.gcount()));
        std::size_t from = 0;
        for (std::size_t nl = chunk.find('\n'); nl != std::string_view::npos; nl = chunk.find('\n', from)) {
            line.append(chunk.substr(from, nl - from));
            if (!line.empty() && line.back() == '\r') line.pop_back();
            addLine(queue, line);
            line.clear();
            from = nl + 1;
        }
        line.append(chunk.substr(from));
        if (line.size() > LineWidth + 1) {
            const bool cr = line.back() == '\r';
            if (cr) line.pop_back();
            flushLong();
            if (cr) line.push_back('\r');
        }
    }
    if (!line.empty()) {
        if (line.back() == '\r') line.pop_back();
        addLine(queue, line);
    }
    return parseMessageLines(queue, ownerAddress, importType);
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

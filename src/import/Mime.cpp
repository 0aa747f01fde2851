#include "import/Mime.h"

#include <algorithm>
#include <vector>

#include "database/Charset.h"
#include "database/Types.h"
#include "import/Charsets.h"
#include "import/EncodedWords.h"
#include "import/Html.h"

namespace quill {

namespace {

// True when line, upper-cased, begins with upperPrefix (given in capitals)
// at byte offset pos.
bool hasUpperAt(std::string_view line, std::size_t pos, std::string_view upperPrefix) {
    if (pos > line.size() || line.size() - pos < upperPrefix.size()) return false;
    for (std::size_t i = 0; i < upperPrefix.size(); ++i)
        if (upper1252(static_cast<unsigned char>(line[pos + i])) !=
            static_cast<unsigned char>(upperPrefix[i]))
            return false;
    return true;
}

bool startsUpper(std::string_view line, std::string_view upperPrefix) {
    return hasUpperAt(line, 0, upperPrefix);
}

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

bool isEmptyLine(const LineEntry& e) { return e.empty(); }

// Content-Type header of a part or message: the value after the colon with
// leading blanks passed over, or npos when the line is not a Content-Type
// line. Tolerates a missing blank after the colon.
std::size_t contentTypeValue(std::string_view line) {
    if (!startsUpper(line, "CONTENT-TYPE:")) return std::string_view::npos;
    std::size_t p = 13;
    while (p < line.size() && isBlankOrTab(line[p])) ++p;
    return p;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "%XX" escapes of an RFC 2231 value decoded.
std::string percentDecoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(char(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

bool isDigest(std::string_view line, std::size_t typePos) {
    return hasUpperAt(line, typePos, "MULTIPART/DIGEST");
}

// What the type scan of a part's Content-Type line found.
enum class PartType { None, Plain, Html, Multipart, Other };

// Scans a part header's Content-Type line for the part's type. The type name
// normally stands in columns 15 on ("Content-Type: text/plain"); columns 13
// to 35 are searched so that odd spacing is tolerated. typeEnd receives the
// column after a multipart type name (where its boundary is looked for).
PartType partTypeOf(std::string_view line, std::size_t& typeEnd) {
    std::size_t last = std::min<std::size_t>(35, line.size());
    for (std::size_t col = 13; col <= last; ++col) {
        std::size_t p = col - 1;
        if (hasUpperAt(line, p, "TEXT/PLAIN")) return PartType::Plain;
        if (hasUpperAt(line, p, "TEXT/HTML")) return PartType::Html;
        if (hasUpperAt(line, p, "MULTIPART/") && !isDigest(line, p)) {
            std::size_t q = p + 10;
            while (q < line.size() && line[q] != ';' && !isBlankOrTab(line[q])) ++q;
            typeEnd = q + 1;
            return PartType::Multipart;
        }
    }
    return PartType::Other;
}

}  // namespace

std::string FindBoundary(std::size_t startColumn, std::string_view line) {
    constexpr std::string_view key = "BOUNDARY";
    if (line.size() < 10) return {};
    if (startColumn < 1) startColumn = 1;
    std::size_t from = startColumn - 1;
    std::size_t valueStart = std::string_view::npos;
    bool extended = false;
    for (std::size_t i = from; i + key.size() < line.size(); ++i) {
        if (!hasUpperAt(line, i, key)) continue;
        // "boundary=", or the RFC 2231 forms "boundary*=", "boundary*0=",
        // "boundary*0*=".
        std::size_t p = i + key.size();
        bool ext = false;
        if (p < line.size() && line[p] == '*') {
            ++p;
            if (p < line.size() && line[p] == '0') ++p;
            if (p < line.size() && line[p] == '*') {
                ++p;
                ext = true;
            } else if (line[p - 1] == '*') {
                ext = true;
            }
        }
        while (p < line.size() && isBlankOrTab(line[p])) ++p;
        if (p < line.size() && line[p] == '=') {
            valueStart = p + 1;
            extended = ext;
            break;
        }
    }
    if (valueStart == std::string_view::npos) return {};
    std::string_view v = line.substr(valueStart);
    while (!v.empty() && isBlankOrTab(v.front())) v.remove_prefix(1);
    std::string_view b;
    if (!v.empty() && v.front() == '"') {
        v.remove_prefix(1);
        std::size_t close = v.find('"');
        if (close != std::string_view::npos) {
            b = v.substr(0, close);
        } else {
            // No closing quote (cut line): drop trailing blanks, quotes and
            // semicolons.
            b = v;
            while (!b.empty() && (b.back() == '"' || b.back() == ';' || isBlankOrTab(b.back())))
                b.remove_suffix(1);
        }
    } else {
        // A token: it ends at the first separator ("; charset=..." may follow).
        std::size_t end = 0;
        while (end < v.size() && v[end] != ';' && !isBlankOrTab(v[end])) ++end;
        b = v.substr(0, end);
    }
    std::string result;
    if (extended) {
        // charset'language'value, with %XX escapes.
        std::size_t q1 = b.find('\'');
        std::size_t q2 = q1 == std::string_view::npos ? q1 : b.find('\'', q1 + 1);
        if (q2 != std::string_view::npos) b = b.substr(q2 + 1);
        result = percentDecoded(b);
    } else {
        result = std::string(b);
    }
    if (result.size() > BoundaryMax) result.resize(BoundaryMax);
    return result;
}

bool matchesBoundary(std::string_view line, std::string_view boundary) {
    if (boundary.empty() || line.size() < boundary.size()) return false;
    if (line.size() == boundary.size()) return line == boundary;
    return line.find(boundary) != std::string_view::npos;
}

namespace {

std::string lowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (isBlankOrTab(s.front()) || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (isBlankOrTab(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

// The ";"-separated pieces of a header value, quotes respected.
std::vector<std::string_view> valuePieces(std::string_view value) {
    std::vector<std::string_view> pieces;
    bool quoted = false;
    std::size_t from = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && quoted) {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            pieces.push_back(trimmed(value.substr(from, i - from)));
            from = i + 1;
        }
    }
    pieces.push_back(trimmed(value.substr(from)));
    return pieces;
}

std::string unquoted(std::string_view v) {
    v = trimmed(v);
    if (v.size() < 2 || v.front() != '"') return std::string(v);
    std::string out;
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] == '"') break;
        if (v[i] == '\\' && i + 1 < v.size()) ++i;
        out.push_back(v[i]);
    }
    return out;
}

// Every value of a parameter: plain, or the RFC 2231 sections (name*0,
// name*1*, ...) joined in order, the extended ones decoded from their charset.
std::string parameterOf(const std::vector<std::string_view>& pieces, std::string_view attribute) {
    std::string plain;
    bool havePlain = false;
    std::vector<std::pair<int, std::string>> sections;  // section number, raw bytes
    std::string charset;
    bool anyExtended = false;
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        const std::string_view piece = pieces[k];
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos) continue;
        std::string attr = lowerAscii(trimmed(piece.substr(0, eq)));
        const std::string_view value = trimmed(piece.substr(eq + 1));
        if (attr.compare(0, attribute.size(), attribute) != 0) continue;
        std::string_view rest = std::string_view(attr).substr(attribute.size());
        if (rest.empty()) {
            if (!havePlain) plain = unquoted(value);
            havePlain = true;
            continue;
        }
        if (rest.front() != '*') continue;
        rest.remove_prefix(1);
        // "name*=" (one extended value), "name*0=", "name*1*=".
        const bool extended = rest.empty() || rest.back() == '*';
        if (!rest.empty() && rest.back() == '*') rest.remove_suffix(1);
        int section = 0;
        if (!rest.empty()) {
            section = 0;
            for (char c : rest) {
                if (c < '0' || c > '9' || section > 999) { section = -1; break; }
                section = section * 10 + (c - '0');
            }
            if (section < 0) continue;
        } else if (!extended) {
            continue;
        }
        std::string raw;
        if (extended || rest.empty()) {
            std::string_view v = value;
            if (section == 0) {
                const std::size_t q1 = v.find('\'');
                const std::size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
                if (q2 != std::string_view::npos) {
                    charset = std::string(v.substr(0, q1));
                    v = v.substr(q2 + 1);
                }
            }
            raw = percentDecoded(unquoted(v));
            anyExtended = true;
        } else {
            raw = unquoted(value);
        }
        sections.emplace_back(section, std::move(raw));
    }
    if (!sections.empty()) {
        std::stable_sort(sections.begin(), sections.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string joined;
        for (auto& sec : sections) joined += sec.second;
        return anyExtended ? toArchiveText(joined, charset) : decodeHeaderText(joined);
    }
    return havePlain ? decodeHeaderText(plain) : std::string();
}

}  // namespace

std::string headerParameter(std::string_view value, std::string_view attribute) {
    return parameterOf(valuePieces(value), lowerAscii(attribute));
}

ContentType parseContentType(std::string_view value) {
    ContentType ct;
    const std::vector<std::string_view> pieces = valuePieces(value);
    std::string type = lowerAscii(pieces.front());
    // "text/plain" only: a comment or a stray word after it is no part of it.
    std::size_t end = 0;
    while (end < type.size() && !isBlankOrTab(type[end]) && type[end] != '(' && type[end] != ',') ++end;
    type.resize(end);
    if (type.find('/') != std::string::npos) ct.mediaType = std::move(type);
    ct.charset = std::string(trimmed(unquoted(parameterOf(pieces, "charset"))));
    ct.name = parameterOf(pieces, "name");
    // The boundary is compared byte for byte with the body's lines: it is
    // taken as written, never decoded as a header text.
    std::string b = FindBoundary(1, std::string("          ") + std::string(value));
    ct.boundary = std::move(b);
    return ct;
}

TransferEncoding parseTransferEncoding(std::string_view value) {
    const std::string v = lowerAscii(trimmed(unquoted(valuePieces(value).front())));
    if (v == "quoted-printable") return TransferEncoding::QuotedPrintable;
    if (v == "base64") return TransferEncoding::Base64;
    if (v == "7bit" || v == "8bit" || v == "binary" || v.empty()) return TransferEncoding::Identity;
    return TransferEncoding::Other;
}

std::optional<ContentType> noteContentHeader(std::string_view name, std::string_view value,
                                             BodyEncoding& encoding) {
    const std::string n = lowerAscii(trimmed(name));
    if (n == "content-type") {
        ContentType ct = parseContentType(value);
        encoding.mediaType = ct.mediaType;
        encoding.charset = ct.charset;
        if (encoding.fileName.empty()) encoding.fileName = ct.name;
        return ct;
    }
    if (n == "content-transfer-encoding") {
        encoding.transfer = parseTransferEncoding(value);
    } else if (n == "content-disposition") {
        std::string file = headerParameter(value, "filename");
        if (!file.empty()) encoding.fileName = std::move(file);
    }
    return std::nullopt;
}

bool isTextMediaType(std::string_view t) {
    return t.empty() || t.rfind("text/", 0) == 0 || t.rfind("message/", 0) == 0 || t.rfind("multipart/", 0) == 0;
}

std::string attachmentLine(std::string_view mediaType, std::string_view fileName, std::uint64_t bytes) {
    std::string line = "[attachment: ";
    line += mediaType.empty() ? std::string_view("application/octet-stream") : mediaType;
    if (!fileName.empty()) {
        line += ", ";
        line += fileName.substr(0, 200);
    }
    line += ", ";
    line += std::to_string((bytes + 1023) / 1024);
    line += " KB]";
    return line;
}

namespace {

// The header lines of one part, read in full so that folded lines and
// parameters anywhere in them count.
struct PartHeader {
    std::string text;  // the lines joined, each after "\n"
    bool continues = false;  // the last entry added goes on in the next one
    void add(const LineEntry& e) {
        if (text.size() < 16384) {
            if (!continues) text += '\n';
            text.append(e.text());
        }
        continues = e.SPLITLINE != 0;
    }
    // The header's fields, folded lines joined.
    BodyEncoding read(ContentType& ct, bool& typeSeen) const {
        BodyEncoding enc;
        typeSeen = false;
        std::string_view t = text;
        std::string name, value;
        auto finish = [&] {
            if (name.empty()) return;
            if (auto c = noteContentHeader(name, value, enc)) {
                ct = *c;
                typeSeen = true;
            }
            name.clear();
            value.clear();
        };
        while (!t.empty()) {
            t.remove_prefix(1);  // the "\n"
            std::size_t nl = t.find('\n');
            std::string_view line = t.substr(0, nl);
            t = nl == std::string_view::npos ? std::string_view() : t.substr(nl);
            if (!line.empty() && isBlankOrTab(line.front())) {
                if (!name.empty()) {
                    value += ' ';
                    value += trimmed(line);
                }
                continue;
            }
            finish();
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) continue;
            name = std::string(line.substr(0, colon));
            value = std::string(trimmed(line.substr(colon + 1)));
        }
        finish();
        return enc;
    }
};

enum class PartKind { Plain, Html, Enriched, Multipart, Other };

PartKind kindOf(const ContentType& ct, bool typeSeen) {
    if (!typeSeen || ct.mediaType.empty() || ct.mediaType == "text/plain") return PartKind::Plain;
    if (ct.mediaType == "text/html") return PartKind::Html;
    if (ct.mediaType == "text/enriched" || ct.mediaType == "text/richtext") return PartKind::Enriched;
    if (ct.mediaType.rfind("multipart/", 0) == 0 && !ct.boundary.empty()) return PartKind::Multipart;
    return PartKind::Other;
}

}  // namespace

std::uint8_t ChooseMimePart(LineQueue& queue, std::size_t firstLine, std::size_t lastLine,
                            std::string_view initialBoundary) {
    std::string boundary(initialBoundary);
    bool inPartHeader = false, dropMode = false, done = false;
    bool seenBoundary = false;
    PartKind kept = PartKind::Other;
    bool haveKept = false;
    BodyEncoding keptEncoding;
    PartHeader header;
    // The part being passed over: what it is and how many bytes it holds.
    bool inOther = false;
    BodyEncoding other;
    std::uint64_t otherBytes = 0;
    std::vector<std::string> attachments;
    auto endOther = [&] {
        if (!inOther) return;
        if (other.transfer == TransferEncoding::Base64) otherBytes = otherBytes * 3 / 4;
        if (attachments.size() < 100) attachments.push_back(attachmentLine(other.mediaType, other.fileName, otherBytes));
        inOther = false;
    };
    if (firstLine < 1) firstLine = 1;
    lastLine = std::min(lastLine, queue.size());
    for (std::size_t n = firstLine; n <= lastLine; ++n) {
        LineEntry& e = lineAt(queue, n);
        if (done) {
            markRemoved(e);
            continue;
        }
        std::string_view t = e.text();
        if (inPartHeader) {
            if (!isEmptyLine(e) || header.continues) {
                header.add(e);
                markRemoved(e);
                continue;
            }
            // The part header is complete: what kind of part is it?
            markRemoved(e);
            inPartHeader = false;
            ContentType ct;
            bool typeSeen = false;
            BodyEncoding enc = header.read(ct, typeSeen);
            header = PartHeader{};
            switch (PartKind k = kindOf(ct, typeSeen)) {
                case PartKind::Plain:
                case PartKind::Html:
                case PartKind::Enriched:
                    kept = k;
                    haveKept = true;
                    keptEncoding = std::move(enc);
                    dropMode = false;
                    break;
                case PartKind::Multipart:
                    // A nested multipart: its own boundary separates its parts.
                    boundary = ct.boundary.substr(0, BoundaryMax);
                    break;
                case PartKind::Other:
                    inOther = true;
                    other = std::move(enc);
                    otherBytes = 0;
                    break;
            }
            continue;
        }
        if (matchesBoundary(t, boundary)) {
            endOther();
            if (haveKept) {
                done = true;
            } else {
                inPartHeader = true;
                dropMode = true;
            }
            seenBoundary = true;
            markRemoved(e);
        } else if (dropMode) {
            if (inOther) otherBytes += t.size() + (e.SPLITLINE ? 0 : 2);
            markRemoved(e);
        }
    }
    endOther();
    if (!seenBoundary) return 0;  // no part at all: the whole body is the text
    // The preamble ("This is a multi-part message in MIME format.") is no
    // part of the text.
    for (std::size_t n = firstLine; n <= lastLine; ++n) {
        LineEntry& e = lineAt(queue, n);
        if (isRemoved(e)) break;
        markRemoved(e);
    }
    if (haveKept) {
        keptEncoding.attachments.clear();
        queue.encoding = std::move(keptEncoding);
    } else {
        queue.encoding = BodyEncoding{};
        queue.encoding.attachments = std::move(attachments);
        if (queue.encoding.attachments.empty())
            queue.encoding.attachments.push_back(attachmentLine({}, {}, 0));
    }
    // An enriched part is reported as plain (readers test the result for
    // HTML only); the text builder knows it by its media type.
    return haveKept && kept == PartKind::Html ? 1 : 0;
}

std::uint8_t ChooseMimePartByLine(MimeLineFilter& f, std::string_view line) {
    if (f.seekingNested) {
        std::string nested = FindBoundary(1, line);
        if (nested.empty()) return MimeDropLine;
        f.boundary = std::move(nested);
        f.seekingNested = false;
        f.firstBoundarySeen = false;
        f.partTypeKnown = false;
        return MimeDropCollected;
    }
    if (line.size() > 9 && matchesBoundary(line, f.boundary)) {
        f.inPartHeader = true;
        f.partTypeSeen = false;
        if (!f.firstBoundarySeen) {
            f.firstBoundarySeen = true;
            return MimeKeepLine;
        }
        // The part before this boundary was text: the message is complete.
        // After a non-text part the next part is read too.
        if (f.partTypeKnown) return MimeEndMessage;
        return MimeKeepLine;
    }
    if (!f.firstBoundarySeen) return MimeKeepLine;
    if (f.inPartHeader && line.empty()) {
        // A part header without a Content-Type: the part is text/plain.
        f.inPartHeader = false;
        if (!f.partTypeSeen) f.partTypeKnown = true;
        return MimeKeepLine;
    }
    if (!f.partTypeKnown && startsUpper(line, "CONTENT-TYPE")) {
        f.partTypeSeen = true;
        std::size_t typeEnd = 0;
        switch (partTypeOf(line, typeEnd)) {
            case PartType::Plain:
            case PartType::Html:
                f.partTypeKnown = true;
                return MimeKeepLine;
            case PartType::Multipart: {
                // The nested boundary often stands on this very line.
                std::string nested = FindBoundary(typeEnd, line);
                if (!nested.empty()) {
                    f.boundary = std::move(nested);
                    f.firstBoundarySeen = false;
                    return MimeDropCollected;
                }
                f.seekingNested = true;
                return MimeDropLine;
            }
            default:
                return MimeDropLine;
        }
    }
    return MimeKeepLine;
}

DetectedContent DetectMessageContent(LineQueue& queue, std::size_t firstLine,
                                     std::size_t lastLine) {
    DetectedContent r;
    if (firstLine < 1) firstLine = 1;
    lastLine = std::min(lastLine, queue.size());
    bool multipart = false;
    std::string boundary;
    std::size_t n = firstLine;
    bool blockEnded = false;
    BodyEncoding encoding;
    for (; n <= lastLine; ++n) {
        std::string_view t = lineAt(queue, n).text();
        if (t.empty() || t.front() == '\r' || t.front() == '\n') {
            blockEnded = true;
            break;
        }
        // A line that is neither a header field nor a continuation means
        // this was no header block after all: keep everything as body.
        bool continuation = isBlankOrTab(t.front()) && n > firstLine;
        if (!continuation) {
            std::size_t colon = t.find(':');
            bool field = colon != std::string_view::npos && colon > 0 && colon < 77;
            for (std::size_t i = 0; field && i < colon; ++i) {
                unsigned char c = static_cast<unsigned char>(t[i]);
                if (c <= ' ' || c == 127) field = false;
            }
            if (!field) break;
        }
        if (!continuation && startsUpper(t, "CONTENT-")) {
            // The whole field, folded lines joined, tells the encoding.
            const std::size_t colon = t.find(':');
            std::string value(t.substr(colon + 1));
            for (std::size_t k = n + 1; k <= lastLine; ++k) {
                std::string_view c = lineAt(queue, k).text();
                if (c.empty() || !isBlankOrTab(c.front())) break;
                value += ' ';
                value += c;
            }
            noteContentHeader(t.substr(0, colon), value, encoding);
        }
        std::size_t v = contentTypeValue(t);
        if (v != std::string_view::npos) {
            if (hasUpperAt(t, v, "TEXT/HTML")) r.html = true;
            if (hasUpperAt(t, v, "MULTIPART") && !isDigest(t, v)) {
                multipart = true;
                if (boundary.empty()) boundary = FindBoundary(v + 10, t);
            }
        } else if (multipart && boundary.empty() && t.size() > 9) {
            boundary = FindBoundary(1, t);
        }
    }
    if (!blockEnded) {
        // No header block: the body starts where the caller said.
        r.html = false;
        multipart = false;
        boundary.clear();
        n = firstLine;
        encoding = BodyEncoding{};
    }
    queue.encoding = std::move(encoding);
    while (n <= lastLine && lineAt(queue, n).empty()) ++n;
    r.bodyStart = n;
    if (!boundary.empty()) {
        r.html = ChooseMimePart(queue, n, lastLine, boundary) == 1;
    } else if (!r.html && n <= lastLine) {
        std::string_view first = lineAt(queue, n).text().substr(0, 20);
        r.html = upper1252(first).find("HTML") != std::string::npos;
    }
    return r;
}

namespace {

// Most body bytes decoded for one text. The stored text holds at most
// MessageTextMax characters; every character comes from at most four bytes
// of plain text, and HTML markup rarely takes more than fifteen times the
// text it shows, so this is enough for any text while it keeps the work per
// message bounded.
constexpr std::size_t DecodeInputMax = 16 * MessageTextMax;

// The kept lines of firstLine..lastLine as physical lines (split entries
// joined), each passed to f(line); empty lines before the first line with
// text are passed over.
// f returns false to stop. A physical line is passed on in pieces of at
// most DecodeInputMax bytes.
template <class F>
void forKeptLines(const LineQueue& queue, std::size_t firstLine, std::size_t lastLine, F f) {
    std::string joined;
    bool pieceOpen = false;
    bool taken = false;
    for (std::size_t n = firstLine; n <= lastLine; ++n) {
        const LineEntry& e = lineAt(queue, n);
        if (isRemoved(e)) continue;
        if (!taken && e.empty() && !pieceOpen) continue;
        taken = true;
        if (joined.size() < DecodeInputMax) joined.append(e.text());
        pieceOpen = e.SPLITLINE != 0;
        if (pieceOpen && n < lastLine) continue;
        if (!f(std::string_view(joined))) return;
        joined.clear();
        pieceOpen = false;
    }
}

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Whether undeclared lines read as quoted-printable: every "=" begins an
// upper-case escape or ends its line, and at least one does.
bool looksQuotedPrintable(const LineQueue& queue, std::size_t firstLine, std::size_t lastLine) {
    bool any = false, stray = false;
    forKeptLines(queue, firstLine, lastLine, [&](std::string_view line) {
        std::string_view t = line;
        while (!t.empty() && isBlankOrTab(t.back())) t.remove_suffix(1);
        for (std::size_t i = t.find('='); i != std::string_view::npos; i = t.find('=', i + 1)) {
            if (i + 1 == t.size()) {
                any = true;
            } else if (i + 2 < t.size() && isUpperHex(t[i + 1]) && isUpperHex(t[i + 2])) {
                any = true;
                i += 2;
            } else {
                stray = true;
                return false;
            }
        }
        return true;
    });
    return any && !stray;
}

// One quoted-printable line decoded onto out; false when it ended in a soft
// line break (the next line continues it).
bool decodeQuotedPrintableLine(std::string_view t, std::string& out) {
    // Blanks at the end of an encoded line were added in transport.
    while (!t.empty() && isBlankOrTab(t.back())) t.remove_suffix(1);
    bool soft = !t.empty() && t.back() == '=';
    if (soft) t.remove_suffix(1);
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '=' && i + 2 < t.size()) {
            const int hi = hexDigit(t[i + 1]), lo = hexDigit(t[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(char(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(t[i]);
    }
    return !soft;
}

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// The body bytes of the kept lines, transfer encoding undone, lines ended by
// CR LF.
std::string decodedBody(const LineQueue& queue, std::size_t firstLine, std::size_t lastLine,
                        TransferEncoding transfer) {
    std::string out;
    if (transfer == TransferEncoding::Undeclared)
        transfer = looksQuotedPrintable(queue, firstLine, lastLine) ? TransferEncoding::QuotedPrintable
                                                                     : TransferEncoding::Identity;
    if (transfer == TransferEncoding::Base64) {
        unsigned bits = 0;
        int count = 0;
        std::string bytes;
        forKeptLines(queue, firstLine, lastLine, [&](std::string_view line) {
            for (char c : line) {
                const int v = base64Digit(c);
                if (v < 0) continue;  // padding, white space, stray characters
                bits = ((bits << 6) | unsigned(v)) & 0xFFFFFFu;
                count += 6;
                if (count >= 8) {
                    count -= 8;
                    bytes.push_back(char((bits >> count) & 0xFF));
                }
            }
            return bytes.size() < DecodeInputMax;
        });
        // Line ends of the decoded text become CR LF.
        out.reserve(bytes.size() + bytes.size() / 16);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                out += "\r\n";
                ++i;
            } else if (bytes[i] == '\n') {
                out += "\r\n";
            } else {
                out.push_back(bytes[i]);
            }
        }
        if (!out.empty() && out.back() != '\n') out += "\r\n";
        return out;
    }
    const bool qp = transfer == TransferEncoding::QuotedPrintable;
    forKeptLines(queue, firstLine, lastLine, [&](std::string_view line) {
        if (!qp) {
            out.append(line);
            out += "\r\n";
        } else if (decodeQuotedPrintableLine(line, out)) {
            out += "\r\n";
        }
        return out.size() < DecodeInputMax;
    });
    return out;
}

// The design's cut: a text past MessageTextMax keeps as much as fits in
// MessageTextMax - 2 characters (never inside a reference or a CR LF) and
// ends with CR LF.
void cutText(std::string& text) {
    if (text.size() <= MessageTextMax) return;
    std::size_t n = referenceSafeLength(text, MessageTextMax - 2);
    if (n > 0 && text[n - 1] == '\r') --n;
    text.resize(n);
    text += "\r\n";
}

// The whole of a message that is not text: its size, as it would be decoded.
std::uint64_t rawSize(const LineQueue& queue, std::size_t firstLine, std::size_t lastLine, TransferEncoding t) {
    std::uint64_t bytes = 0;
    for (std::size_t n = firstLine; n <= lastLine; ++n) {
        const LineEntry& e = lineAt(queue, n);
        bytes += e.text().size() + (e.SPLITLINE ? 0 : 2);
    }
    return t == TransferEncoding::Base64 ? bytes * 3 / 4 : bytes;
}

}  // namespace

std::string BuildMessageText(std::uint8_t contentKind, const LineQueue& queue,
                             std::size_t firstLine, std::size_t lastLine,
                             std::string_view importType) {
    const bool service = importType == "AOL" || importType == "CompuServe 2000";
    std::string out;
    if (firstLine < 1) firstLine = 1;
    lastLine = std::min(lastLine, queue.size());
    const BodyEncoding& enc = queue.encoding;
    if (service) {
        bool taken = false;
        for (std::size_t n = firstLine; n <= lastLine; ++n) {
            const LineEntry& e = lineAt(queue, n);
            if (isRemoved(e)) continue;
            if (!taken && e.empty()) continue;
            taken = true;
            std::string_view t = e.text();
            if (out.size() + t.size() > MessageTextMax) {
                out.append(t.substr(0, MessageTextMax - out.size()));
                break;
            }
            out.append(t);
        }
        ConvertServiceHtml(out);
        return out;
    }
    if (!isTextMediaType(enc.mediaType)) {
        // A single part that is not text (an image, a program): one line
        // naming it instead of its bytes.
        return attachmentLine(enc.mediaType, enc.fileName, rawSize(queue, firstLine, lastLine, enc.transfer));
    }
    out = toArchiveText(decodedBody(queue, firstLine, lastLine, enc.transfer), enc.charset);
    // Empty lines at the start (left by decoding) are no part of the text.
    std::size_t lead = 0;
    while (out.compare(lead, 2, "\r\n") == 0) lead += 2;
    out.erase(0, lead);

    const bool html = contentKind == ContentHtml ||
                      (contentKind == ContentPlain &&
                       upper1252(std::string_view(out).substr(0, 8)).find("HTML") != std::string::npos);
    if (html) {
        ConvertHtml(out, false);
    } else if (contentKind == ContentEnriched ||
               (contentKind == ContentPlain && (enc.mediaType == "text/enriched" || enc.mediaType == "text/richtext"))) {
        out = ConvertEnrichedText(out);
    }
    cutText(out);
    if (out.empty() && !enc.attachments.empty()) {
        for (const std::string& a : enc.attachments) {
            if (out.size() + a.size() + 2 > MessageTextMax) break;
            if (!out.empty()) out += "\r\n";
            out += a;
        }
    }
    out.resize(referenceSafeLength(out, MessageTextMax));
    return out;
}

std::string ConvertEnrichedText(std::string_view text) {
    std::string out;
    out.reserve(std::min(text.size(), MessageTextMax));
    std::string tag;
    bool inTag = false, inParam = false;
    auto put = [&](std::string_view s) {
        if (inParam || out.size() >= MessageTextMax) return;
        out.append(s.substr(0, MessageTextMax - out.size()));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!inTag) {
            if (c == '<') {
                if (i + 1 < text.size() && text[i + 1] == '<') {
                    put("<");  // "<<" is a literal "<"
                    ++i;
                } else {
                    inTag = true;
                    tag.clear();
                }
            } else {
                put(std::string_view(&c, 1));
            }
            continue;
        }
        if (c == '>') {
            inTag = false;
            std::string name = upper1252(tag);
            if (name == "PARAM") inParam = true;
            else if (name == "/PARAM") inParam = false;
        } else if (c == '<') {
            // A "<" inside a tag: what was read was text after all.
            put("<");
            put(tag);
            tag.clear();
        } else if (tag.size() < MessageTextMax) {
            tag.push_back(c);
        }
    }
    if (inTag) {
        // An unclosed tag at the end is text.
        put("<");
        put(tag);
    }
    return out;
}

namespace {

bool ieq(std::string_view a, std::string_view upper) {
    return a.size() == upper.size() && hasUpperAt(a, 0, upper);
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::optional<char> numericReference(std::string_view digits) {
    if (!allDigits(digits)) return std::nullopt;
    int code = 0;
    for (char c : digits) code = code * 10 + (c - '0');
    // Tab, line feed and carriage return are characters; other control
    // characters are left as written, like codes past 255 (read below).
    if ((code < 32 && code != 9 && code != 10 && code != 13) || code > 255) return std::nullopt;
    return static_cast<char>(static_cast<unsigned char>(code));
}

// A letter and a mark name ("uml", "acute", ...): the accepted letters and
// the ISO 8859-1 codes they give, capital and small letter apart.
struct Accent {
    std::string_view mark;      // upper case
    std::string_view letters;   // accepted letters, as written
    std::string_view codes;     // one code per accepted letter
};

constexpr Accent accents[] = {
    {"UML", "aAeEiIoOuUy", "\xE4\xC4\xEB\xCB\xEF\xCF\xF6\xD6\xFC\xDC\xFF"},
    {"CIRC", "aAeEiIoOuU", "\xE2\xC2\xEA\xCA\xEE\xCE\xF4\xD4\xFB\xDB"},
    {"RING", "aA", "\xE5\xC5"},
    {"ZLIG", "s", "\xDF"},
    {"HORN", "tT", "\xFE\xDE"},
    {"ELIG", "aA", "\xE6\xC6"},
    {"ACUTE", "aAeEiIoOuUyY", "\xE1\xC1\xE9\xC9\xED\xCD\xF3\xD3\xFA\xDA\xFD\xDD"},
    {"GRAVE", "aAeEiIoOuU", "\xE0\xC0\xE8\xC8\xEC\xCC\xF2\xD2\xF9\xD9"},
    {"TILDE", "aAnNoO", "\xE3\xC3\xF1\xD1\xF5\xD5"},
    {"CEDIL", "cC", "\xE7\xC7"},
    {"SLASH", "oO", "\xF8\xD8"},
};

std::optional<char> accentedLetter(std::string_view name) {
    if (name.size() < 2) return std::nullopt;
    for (const Accent& a : accents) {
        if (!ieq(name.substr(1), a.mark)) continue;
        std::size_t i = a.letters.find(name[0]);
        if (i == std::string_view::npos) return std::nullopt;
        return a.codes[i];
    }
    return std::nullopt;
}

}  // namespace

namespace {

std::optional<CharacterReference> latin1Reference(std::string_view text) {
    text = text.substr(0, 7);
    const std::size_t semi = text.find(';');
    if (semi == std::string_view::npos) {
        if (text.size() >= 4 && ieq(text.substr(0, 4), "NBSP")) return CharacterReference{' ', 4};
        if (text.size() >= 4 && text[0] == '#')
            if (auto c = numericReference(text.substr(1, 3))) return CharacterReference{*c, 4};
        return std::nullopt;
    }
    const std::string_view name = text.substr(0, semi);
    const std::size_t consumed = semi + 1;
    auto hit = [&](char c) { return std::optional<CharacterReference>(CharacterReference{c, consumed}); };
    switch (consumed) {
        case 3:
            if (ieq(name, "GT")) return hit('>');
            if (ieq(name, "LT")) return hit('<');
            break;
        case 4:
            if (ieq(name, "ETH")) return hit(name[0] == 'e' ? '\xF0' : '\xD0');
            if (ieq(name, "AMP")) return hit('&');
            if (ieq(name, "REG")) return hit('\xAE');
            if (ieq(name, "SHY")) return hit('-');
            if (name[0] == '#' && name.size() == 3)
                if (auto c = numericReference(name.substr(1))) return hit(*c);
            break;
        case 5:
            if (ieq(name, "NBSP")) return hit(' ');
            if (ieq(name, "COPY")) return hit('\xA9');
            if (ieq(name, "QUOT")) return hit('"');
            if (name[0] == '#')
                if (auto c = numericReference(name.substr(1))) return hit(*c);
            if (auto c = accentedLetter(name)) return hit(*c);
            break;
        case 6:
        case 7:
            if (auto c = accentedLetter(name)) return hit(*c);
            break;
        default:
            break;
    }
    return std::nullopt;
}


// HTML names beyond the short ISO 8859-1 table, case as HTML writes them.
struct NamedCharacter {
    std::string_view name;
    std::uint32_t codePoint;
};
constexpr NamedCharacter namedCharacters[] = {
    {"apos", 0x27},    {"iexcl", 0xA1},   {"cent", 0xA2},    {"pound", 0xA3},   {"curren", 0xA4},
    {"yen", 0xA5},     {"brvbar", 0xA6},  {"sect", 0xA7},    {"uml", 0xA8},     {"ordf", 0xAA},
    {"laquo", 0xAB},   {"not", 0xAC},     {"macr", 0xAF},    {"deg", 0xB0},     {"plusmn", 0xB1},
    {"sup2", 0xB2},    {"sup3", 0xB3},    {"acute", 0xB4},   {"micro", 0xB5},   {"para", 0xB6},
    {"middot", 0xB7},  {"cedil", 0xB8},   {"sup1", 0xB9},    {"ordm", 0xBA},    {"raquo", 0xBB},
    {"frac14", 0xBC},  {"frac12", 0xBD},  {"frac34", 0xBE},  {"iquest", 0xBF},  {"times", 0xD7},
    {"divide", 0xF7},  {"Ccedil", 0xC7},  {"ccedil", 0xE7},  {"Oslash", 0xD8},  {"oslash", 0xF8},
    {"Yacute", 0xDD},  {"yacute", 0xFD},  {"OElig", 0x152},  {"oelig", 0x153},  {"Scaron", 0x160},
    {"scaron", 0x161}, {"Yuml", 0x178},   {"fnof", 0x192},   {"circ", 0x2C6},   {"tilde", 0x2DC},
    {"ensp", 0x2002},  {"emsp", 0x2003},  {"thinsp", 0x2009}, {"ndash", 0x2013}, {"mdash", 0x2014},
    {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"sbquo", 0x201A}, {"ldquo", 0x201C}, {"rdquo", 0x201D},
    {"bdquo", 0x201E}, {"dagger", 0x2020}, {"Dagger", 0x2021}, {"bull", 0x2022}, {"hellip", 0x2026},
    {"permil", 0x2030}, {"prime", 0x2032}, {"Prime", 0x2033}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A},
    {"oline", 0x203E}, {"frasl", 0x2044}, {"euro", 0x20AC},  {"trade", 0x2122}, {"larr", 0x2190},
    {"uarr", 0x2191},  {"rarr", 0x2192},  {"darr", 0x2193},  {"harr", 0x2194},  {"minus", 0x2212},
    {"le", 0x2264},    {"ge", 0x2265},    {"ne", 0x2260},    {"infin", 0x221E}, {"hearts", 0x2665},
    {"spades", 0x2660}, {"clubs", 0x2663}, {"diams", 0x2666}, {"alpha", 0x3B1}, {"beta", 0x3B2},
    {"gamma", 0x3B3},  {"delta", 0x3B4},  {"pi", 0x3C0},     {"mu", 0x3BC},     {"sigma", 0x3C3},
    {"Omega", 0x3A9},  {"omega", 0x3C9},  {"zwnj", 0x200C},  {"zwj", 0x200D},   {"lrm", 0x200E},
    {"rlm", 0x200F},
};

CharacterReference referenceTo(std::uint32_t cp, std::size_t consumed) {
    // Numeric references to 128-159 name Windows-1252 bytes, as browsers read them.
    if (cp >= 0x80 && cp < 0xA0) return CharacterReference{char(cp), consumed, cp1252CodePoint((unsigned char)cp)};
    const int b = cp1252ByteOf(cp);
    return CharacterReference{b >= 0 ? char(b) : '\0', consumed, cp};
}

}  // namespace

std::optional<CharacterReference> DecodeCharacterReference(std::string_view text) {
    if (auto r = latin1Reference(text)) {
        r->codePoint = cp1252CodePoint(static_cast<unsigned char>(r->character));
        return r;
    }
    text = text.substr(0, 10);
    const std::size_t semi = text.find(';');
    if (semi == std::string_view::npos || semi == 0) return std::nullopt;
    const std::string_view name = text.substr(0, semi);
    if (name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 7) return std::nullopt;
        std::uint32_t cp = 0;
        for (char c : digits) {
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0) return std::nullopt;
            cp = cp * (hex ? 16 : 10) + std::uint32_t(d);
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        if (cp < 32 && cp != 9 && cp != 10 && cp != 13) return std::nullopt;
        return referenceTo(cp, semi + 1);
    }
    for (const NamedCharacter& n : namedCharacters)
        if (n.name == name) return referenceTo(n.codePoint, semi + 1);
    return std::nullopt;
}

}  // namespace quill

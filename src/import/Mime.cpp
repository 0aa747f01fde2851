#include "import/Mime.h"

#include <algorithm>

#include "database/Types.h"
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
    constexpr std::string_view key = "BOUNDARY=";
    if (line.size() < 10) return {};
    if (startColumn < 1) startColumn = 1;
    std::size_t from = startColumn - 1;
    std::size_t pos = std::string_view::npos;
    for (std::size_t i = from; i + key.size() <= line.size(); ++i) {
        if (hasUpperAt(line, i, key)) {
            pos = i;
            break;
        }
    }
    if (pos == std::string_view::npos) return {};
    std::string_view v = line.substr(pos + key.size());
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
    if (b.size() > BoundaryMax) b = b.substr(0, BoundaryMax);
    return std::string(b);
}

bool matchesBoundary(std::string_view line, std::string_view boundary) {
    if (boundary.empty() || line.size() < boundary.size()) return false;
    if (line.size() == boundary.size()) return line == boundary;
    return line.find(boundary) != std::string_view::npos;
}

std::uint8_t ChooseMimePart(LineQueue& queue, std::size_t firstLine, std::size_t lastLine,
                            std::string_view initialBoundary) {
    std::string boundary(initialBoundary);
    bool inPartHeader = false, dropMode = false, done = false;
    bool seekingNested = false;
    std::uint8_t kept = 0;  // 0 none yet, 1 plain, 2 HTML
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
            std::size_t typeEnd = 0;
            if (startsUpper(t, "CONTENT-TYPE")) {
                switch (partTypeOf(t, typeEnd)) {
                    case PartType::Plain:
                        if (kept == 0) kept = 1;
                        dropMode = false;
                        break;
                    case PartType::Html:
                        if (kept == 0) kept = 2;
                        dropMode = false;
                        break;
                    case PartType::Multipart: {
                        std::string nested = FindBoundary(typeEnd, t);
                        if (!nested.empty()) {
                            boundary = std::move(nested);
                            seekingNested = false;
                        } else {
                            seekingNested = true;
                        }
                        break;
                    }
                    default:
                        break;
                }
            } else if (seekingNested) {
                if (t.size() > 9) {
                    std::string nested = FindBoundary(1, t);
                    if (!nested.empty()) {
                        boundary = std::move(nested);
                        seekingNested = false;
                    }
                }
            } else if (isEmptyLine(e)) {
                inPartHeader = false;
            }
            markRemoved(e);
            continue;
        }
        if (matchesBoundary(t, boundary)) {
            if (kept != 0) {
                done = true;
            } else {
                inPartHeader = true;
                dropMode = true;
            }
            markRemoved(e);
        } else if (dropMode) {
            markRemoved(e);
        }
    }
    return kept == 2 ? 1 : 0;
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
    if (!f.partTypeKnown && startsUpper(line, "CONTENT-TYPE")) {
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
    }
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

std::string BuildMessageText(std::uint8_t contentKind, const LineQueue& queue,
                             std::size_t firstLine, std::size_t lastLine,
                             std::string_view importType) {
    const bool service = importType == "AOL" || importType == "CompuServe 2000";
    std::string out;
    if (firstLine < 1) firstLine = 1;
    lastLine = std::min(lastLine, queue.size());
    bool taken = false;
    for (std::size_t n = firstLine; n <= lastLine; ++n) {
        const LineEntry& e = lineAt(queue, n);
        if (isRemoved(e)) continue;
        if (!taken && e.empty()) continue;
        taken = true;
        std::string_view t = e.text();
        const bool lineEnd = !service && !e.SPLITLINE;
        const std::size_t need = t.size() + (lineEnd ? 2 : 0);
        if (out.size() + need > MessageTextMax) {
            if (service) {
                out.append(t.substr(0, MessageTextMax - out.size()));
            } else {
                // As much as fits in the limit less a line end, then the line
                // end; a text that is full already takes nothing more.
                if (out.size() <= MessageTextMax - 2) {
                    out.append(t.substr(0, MessageTextMax - 2 - out.size()));
                    out.append("\r\n");
                }
            }
            break;
        }
        out.append(t);
        if (lineEnd) out.append("\r\n");
    }
    if (service) {
        ConvertServiceHtml(out);
        return out;
    }
    if (contentKind == ContentHtml) {
        ConvertHtml(out);
    } else if (contentKind == ContentEnriched) {
        out = ConvertEnrichedText(out);
    } else if (upper1252(std::string_view(out).substr(0, 8)).find("HTML") != std::string::npos) {
        ConvertHtml(out);
    }
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
    // Control characters are left as written, like codes past 255.
    if (code < 32 || code > 255) return std::nullopt;
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

std::optional<CharacterReference> DecodeCharacterReference(std::string_view text) {
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

}  // namespace quill

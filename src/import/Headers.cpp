#include "import/Headers.h"

#include <algorithm>
#include <array>

#include "import/EncodedWords.h"

namespace quill {

namespace {

constexpr std::size_t AddressWidth = 60;
// Longest header value gathered from a line, its split pieces and its
// continuation lines; the fields take far less.
constexpr std::size_t ValueMax = 2000;

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// True when line, upper-cased, holds upperText (in capitals) at byte pos.
bool hasUpperAt(std::string_view line, std::size_t pos, std::string_view upperText) {
    if (pos > line.size() || line.size() - pos < upperText.size()) return false;
    for (std::size_t i = 0; i < upperText.size(); ++i)
        if (upper1252(static_cast<unsigned char>(line[pos + i])) !=
            static_cast<unsigned char>(upperText[i]))
            return false;
    return true;
}
bool startsUpper(std::string_view line, std::string_view upperText) {
    return hasUpperAt(line, 0, upperText);
}

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlankOrTab(s.front())) s.remove_prefix(1);
    return s;
}
std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isBlankOrTab(s.back())) s.remove_suffix(1);
    return s;
}
std::string_view trim(std::string_view s) { return trimRight(trimLeft(s)); }

// An empty line ends a header block. A line of blanks does not: it is a
// folded continuation (real articles carry such lines inside their headers);
// a lone CR left by a doubled line end counts as empty.
bool isBlankLine(std::string_view t) { return t.empty() || t == "\r"; }

std::string lower(std::string_view s) { return lower1252(s); }

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The number a text of digits (blanks around it allowed) stands for; -1 when
// it is not such a text. At most nine digits are read.
long number(std::string_view s) {
    s = trim(s);
    if (!allDigits(s) || s.size() > 9) return -1;
    long v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

// Strips one pair of enclosing double quotes or parentheses from a name
// longer than 2 characters.
std::string_view unwrapName(std::string_view name) {
    name = trim(name);
    if (name.size() > 2 && ((name.front() == '"' && name.back() == '"') ||
                            (name.front() == '(' && name.back() == ')'))) {
        name = trim(name.substr(1, name.size() - 2));
    }
    return name;
}

// A display name as the archive keeps it: quotes or parentheses gone,
// encoded words and raw UTF-8 decoded.
std::string decodedName(std::string_view name) {
    return std::string(unwrapName(decodeHeaderText(unwrapName(name))));
}

// A value that goes on past a split entry or on continuation lines: the
// pieces are joined (continuation lines with one blank) and the result is
// held to ValueMax characters, its head or, with keepTail, its end.
std::string gatherValue(const LineQueue& queue, std::size_t n, std::size_t last,
                        std::size_t valueStart, bool keepTail) {
    std::string v;
    auto add = [&](std::string_view piece) {
        if (keepTail) {
            v.append(piece);
            if (v.size() > 2 * ValueMax) v.erase(0, v.size() - ValueMax);
        } else if (v.size() < ValueMax) {
            v.append(piece.substr(0, ValueMax - v.size()));
        }
    };
    std::string_view t = lineAt(queue, n).text();
    add(valueStart < t.size() ? t.substr(valueStart) : std::string_view());
    // Split pieces of the same physical line.
    while (lineAt(queue, n).SPLITLINE && n < last) {
        ++n;
        add(lineAt(queue, n).text());
    }
    // Folded continuation lines.
    while (n < last) {
        const LineEntry& next = lineAt(queue, n + 1);
        std::string_view nt = next.text();
        if (nt.empty() || !isBlankOrTab(nt.front()) || isBlankLine(nt)) break;
        ++n;
        add(" ");
        add(trimLeft(nt));
        while (lineAt(queue, n).SPLITLINE && n < last) {
            ++n;
            add(lineAt(queue, n).text());
        }
    }
    if (keepTail && v.size() > ValueMax) v.erase(0, v.size() - ValueMax);
    return v;
}

// Draws the next staging number for an identifier string and appends the
// identifier record.
std::uint32_t stageIdentifier(HeaderContext& ctx, std::string_view id) {
    if (ctx.identifierCounter == 0) ctx.identifierCounter = 1;
    std::uint32_t number = ctx.identifierCounter++;
    if (ctx.appendTempId) ctx.appendTempId(id, number);
    return number;
}

// The identifier of a Message-ID value: the text in angle brackets when
// there is one, else the value itself. It is kept whole: the store tells
// two identifiers apart by all their characters.
std::string messageIdentifier(std::string_view value) {
    value = trim(value);
    std::size_t open = value.find('<');
    if (open != std::string_view::npos) {
        std::size_t close = value.find('>', open);
        if (close != std::string_view::npos) value = value.substr(open, close - open + 1);
    }
    return std::string(value);
}

// A To value loses a trailing "(X)" (a marker some programs append).
std::string_view withoutXMarker(std::string_view to) {
    if (to.size() > 3 && to.substr(to.size() - 3) == "(X)") to = trimRight(to.substr(0, to.size() - 3));
    return to;
}

// The owner test in its direction mode: sets MAILTYPE and the two addresses.
void applyDirection(NewHRRecord& NHR, const HeaderContext& ctx) {
    if (ctx.mailboxDirection) {
        ctx.mailboxDirection(NHR);
        return;
    }
    const std::string sender = lower(NHR.S_CISADRESS.view());
    const std::string owner = lower(ctx.ownerAddress);
    if (owner.empty() || sender != owner) {
        NHR.MAILTYPE = 1;
        NHR.R_CISADRESS = owner;
        NHR.S_CISADRESS = sender;
    } else {
        NHR.MAILTYPE = 2;
        NHR.R_CISADRESS = lower(NHR.R_CISADRESS.view());
        NHR.S_CISADRESS = owner;
    }
}

void setSide(NewHRRecord& NHR, int side, std::string_view address, std::string_view name) {
    // An empty view may carry no data pointer at all; the field assignment
    // copies from it, so hand it a real empty text.
    if (address.empty()) address = "";
    if (name.empty()) name = "";
    if (side == 1) {
        NHR.R_CISADRESS = address;
        NHR.R_NAME = name;
    } else {
        NHR.S_CISADRESS = address;
        NHR.S_NAME = name;
    }
}

// Of a list of recipients, the first: the text before the first comma that
// stands outside quotes, angle brackets and parentheses and follows an at
// sign ("Smith, John <j@x>" stays whole).
std::string_view firstRecipient(std::string_view t) {
    bool quoted = false, sawAt = false;
    int angle = 0, paren = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (quoted) {
            if (c == '"') quoted = false;
            continue;
        }
        switch (c) {
            case '"': quoted = true; break;
            case '<': ++angle; break;
            case '>': if (angle > 0) --angle; break;
            case '(': ++paren; break;
            case ')': if (paren > 0) --paren; break;
            case '@': sawAt = true; break;
            case ',':
                if (angle == 0 && paren == 0 && sawAt) return trim(t.substr(0, i));
                break;
            default: break;
        }
    }
    return t;
}

// Import types whose addresses are always split as Internet addresses.
bool isNewsImportType(std::string_view type) {
    static constexpr std::array<std::string_view, 6> types = {
        "Agent News", "IE News", "Outlook Express 4 News", "Unix News", "Gravity", "Winvn"};
    return std::find(types.begin(), types.end(), type) != types.end();
}

// The value of a Content-Type header (after the colon and any blanks), or
// npos when the line is none.
std::size_t contentTypeValue(std::string_view line) {
    if (!startsUpper(line, "CONTENT-TYPE:")) return std::string_view::npos;
    std::size_t p = 13;
    while (p < line.size() && isBlankOrTab(line[p])) ++p;
    return p;
}

// What a top-level Content-Type line says.
struct ContentTypeSeen {
    bool isContentType = false;
    bool html = false;
    bool enriched = false;
    bool multipart = false;
    bool alternative = false;
    std::string boundary;  // when the parameter stands on this line
};

ContentTypeSeen readContentType(std::string_view t) {
    ContentTypeSeen r;
    std::size_t v = contentTypeValue(t);
    if (v == std::string_view::npos) return r;
    r.isContentType = true;
    if (hasUpperAt(t, v, "TEXT/HTML")) r.html = true;
    else if (hasUpperAt(t, v, "TEXT/ENRI")) r.enriched = true;
    else if (hasUpperAt(t, v, "MULTIPART") && !hasUpperAt(t, v, "MULTIPART/DIGEST")) {
        r.multipart = true;
        r.alternative = hasUpperAt(t, v, "MULTIPART/ALTERNATIVE");
        r.boundary = FindBoundary(v + 10, t);
    }
    return r;
}

// The value of a header that begins with name (upper case, colon included),
// read from the whole line with its split pieces and continuation lines.
std::string headerValue(const LineQueue& queue, std::size_t n, std::size_t last,
                        std::size_t nameLength) {
    return std::string(trim(gatherValue(queue, n, last, nameLength, false)));
}

// A Content-Type, Content-Transfer-Encoding or Content-Disposition line of
// the message's own header block: recorded in encoding, from which the text
// builder decodes the body of a single-part message.
void noteContent(const LineQueue& queue, std::size_t n, std::size_t last, std::string_view t,
                 BodyEncoding& encoding) {
    if (!startsUpper(t, "CONTENT-")) return;
    const std::size_t colon = t.find(':');
    if (colon == std::string_view::npos) return;
    noteContentHeader(t.substr(0, colon), headerValue(queue, n, last, colon + 1), encoding);
}

// Reads a time from pos: hours and minutes, with or without seconds; the
// zone after it is not read.
TimeValue readTime(std::string_view u, std::size_t pos) {
    if (pos >= u.size()) return 0;  // a date without a time
    while (pos < u.size() && u[pos] == ' ') ++pos;
    std::size_t end = pos;
    while (end < u.size() && end - pos < 8 && ((u[end] >= '0' && u[end] <= '9') || u[end] == ':'))
        ++end;
    std::string t(u.substr(pos, end - pos));
    if (std::count(t.begin(), t.end(), ':') == 1) t += ":00";
    return timeFromT4(t);
}

std::string_view cols(std::string_view s, std::size_t pos, std::size_t n) {
    return pos < s.size() ? s.substr(pos, n) : std::string_view();
}

DateTime dateFrom(std::string_view day, std::string_view monthName, std::string_view year,
                  std::string_view u, std::size_t timePos) {
    DateTime r;
    long d = number(day), y = number(year);
    if (d < 1 || y < 0 || monthName.size() != 3) return r;
    r.date = MonthNameDate(static_cast<int>(d), static_cast<int>(y), monthName);
    if (r.date != 0) r.time = readTime(u, timePos);
    return r;
}

// The words of a text separated by blanks, at most max of them.
template <std::size_t Max>
std::size_t words(std::string_view s, std::array<std::string_view, Max>& out) {
    std::size_t n = 0, i = 0;
    while (n < Max) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        std::size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
        out[n++] = s.substr(i, j - i);
        i = j;
    }
    return n;
}

// "WWW MMM DD HH:MM:SS YYYY" (weekday optional): the form of mbox separator
// lines and of some Date values.
DateTime readCtimeDate(std::string_view u) {
    std::array<std::string_view, 5> w;
    std::size_t n = words(u, w);
    std::size_t i = 0;
    if (n == 5) i = 1;  // weekday
    else if (n != 4) return {};
    std::string_view timeWord = w[i + 2];
    DateTime r;
    long d = number(w[i + 1]), y = number(w[i + 3]);
    if (d < 1 || y < 0 || w[i].size() != 3) return r;
    r.date = MonthNameDate(static_cast<int>(d), static_cast<int>(y), w[i]);
    if (r.date != 0) r.time = readTime(timeWord, 0);
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------

std::uint8_t ClassifyHeaderLine(std::string_view line) {
    const std::string u = upper1252(line.substr(0, 50));
    if (u.empty()) return HeaderNone;
    auto begins = [&](std::string_view p) { return u.compare(0, p.size(), p) == 0; };
    auto colonBlankAfter = [&](std::size_t from) { return u.find(": ", from) != std::string::npos; };
    auto beginsWithRest = [&](std::string_view p) { return begins(p) && colonBlankAfter(p.size()); };
    switch (u[0]) {
        case 'A':
            if (begins("APPROVED-BY:") || beginsWithRest("ALTERNATE-")) return HeaderOther;
            break;
        case 'C':
            if (begins("COMMENTS:")) return HeaderOther;
            if (begins("CONTENT-")) return colonBlankAfter(8) ? HeaderOther : HeaderNone;
            if (begins("CONVERSION:")) return HeaderOther;
            break;
        case 'D':
            if (begins("DATE:")) return HeaderDate;
            if (beginsWithRest("DISCLOSE-")) return HeaderOther;
            break;
        case 'F':
            if (begins("FROM:")) return HeaderFrom;
            if (begins("FROM ") && u.find('@', 6) != std::string::npos) return HeaderOther;
            break;
        case 'I':
            if (begins("IN-REPLY-TO:") || begins("IMPORTANCE:")) return HeaderOther;
            break;
        case 'L':
            if (beginsWithRest("LIST-")) return HeaderOther;
            break;
        case 'M':
            if (begins("MESSAGE-ID:")) return HeaderMessageId;
            if (begins("MIME-VERSION:")) return HeaderOther;
            break;
        case 'N':
            if (begins("NEWSGROUPS:")) return HeaderNewsgroups;
            break;
        case 'O':
            if (begins("ORGANIZATION:") || beginsWithRest("ORIGINAL-")) return HeaderOther;
            break;
        case 'P':
            if (begins("PATH:") || begins("PRIORITY:")) return HeaderOther;
            break;
        case 'R':
            if (begins("RECEIVED:") || begins("REPLY-TO:") || begins("REFERENCES:") ||
                begins("RETURN-PATH:"))
                return HeaderOther;
            break;
        case 'S':
            if (begins("SUBJECT:")) return HeaderSubject;
            if (begins("SENDER:") || begins("STATUS:")) return HeaderOther;
            break;
        case 'T':
            if (begins("TO:")) return HeaderTo;
            break;
        case 'U':
            if (begins("URL:")) return HeaderOther;
            break;
        case 'X':
            if ((begins("X-") || begins("X400-")) && colonBlankAfter(2)) return HeaderOther;
            break;
        default:
            break;
    }
    return HeaderNone;
}

bool IsInternetHeaderLine(std::string_view line) {
    line = line.substr(0, 15);
    static constexpr std::array<std::string_view, 7> names = {
        "SENDER:", "RECEIVED:", "MESSAGE-ID:", "SUBJECT:", "TO:", "FROM:", "DATE:"};
    for (std::string_view n : names)
        if (startsUpper(line, n)) return true;
    return false;
}

// ---------------------------------------------------------------------------

std::string StripReplyPrefix(std::string_view subject) {
    subject = trimLeft(subject);
    if (startsUpper(subject, "RE:")) subject = trimLeft(subject.substr(3));
    return std::string(subject);
}

DateTime ParseHeaderDate(std::string_view value, DateReading reading) {
    std::size_t start = 0;
    while (start < value.size() && static_cast<unsigned char>(value[start]) <= ' ') ++start;
    std::string u = upper1252(value.substr(start, 200));
    for (char& c : u)
        if (c == '\t') c = ' ';
    auto at = [&](std::size_t i) { return i < u.size() ? u[i] : '\0'; };

    if (reading == DateReading::Simple) {
        if (at(3) == ',') u.erase(0, std::min<std::size_t>(5, u.size()));
        if (at(1) == ' ') u.insert(0, "0");
        const bool fourDigitYear = at(9) != ' ' && at(9) != '\0';
        return dateFrom(cols(u, 0, 2), cols(u, 3, 3), cols(u, 7, fourDigitYear ? 4 : 2), u,
                        fourDigitYear ? 12 : 10);
    }

    auto bothDashOrBlank = [&](std::size_t i, std::size_t j) {
        return (at(i) == '-' && at(j) == '-') || (at(i) == ' ' && at(j) == ' ');
    };
    if (bothDashOrBlank(2, 6)) {  // "05 JAN 1998" / "05-JAN-98"
        const bool four = at(9) != ' ' && at(9) != '\0';
        return dateFrom(cols(u, 0, 2), cols(u, 3, 3), cols(u, 7, four ? 4 : 2), u, four ? 12 : 10);
    }
    if (bothDashOrBlank(1, 5)) {  // "5 JAN 1998" / "5-JAN-98"
        const bool four = at(8) != ' ' && at(8) != '\0';
        return dateFrom(cols(u, 0, 1), cols(u, 2, 3), cols(u, 6, four ? 4 : 2), u, four ? 11 : 9);
    }
    // "MON, 5 JAN 1998 12:00:00 +0100"; the weekday may be written out
    // ("THURSDAY, 22 APR 1993").
    std::size_t comma = 0;
    while (comma < u.size() && comma < 10 && u[comma] >= 'A' && u[comma] <= 'Z') ++comma;
    if (comma >= 3 && at(comma) == ',') {
        std::size_t p = comma + 1;
        auto skipBlanks = [&] { while (p < u.size() && u[p] == ' ') ++p; };
        skipBlanks();
        std::size_t dayLen = (at(p + 1) != ' ' && at(p + 1) != '\0') ? 2 : 1;
        std::string_view day = cols(u, p, dayLen);
        p += dayLen;
        skipBlanks();
        std::string_view month = cols(u, p, 3);
        p += 3;
        skipBlanks();
        std::size_t yEnd = p;
        while (yEnd < u.size() && u[yEnd] != ' ') ++yEnd;
        std::string_view year = cols(u, p, yEnd - p);
        return dateFrom(day, month, year, u, yEnd);
    }
    // Further form: "MON JAN 5 12:00:00 1998" (the mbox separator form).
    return readCtimeDate(u);
}

std::string ChooseNewsgroup(std::string_view newsgroups,
                            const std::function<bool(std::string_view upperGroup)>& targetHolds) {
    std::string_view first;
    std::size_t i = 0;
    while (i <= newsgroups.size()) {
        std::size_t comma = newsgroups.find(',', i);
        if (comma == std::string_view::npos) comma = newsgroups.size();
        std::string_view group = trim(newsgroups.substr(i, comma - i));
        if (!group.empty()) {
            if (first.empty()) first = group;
            if (targetHolds && targetHolds(upper1252(group))) return std::string(group);
        }
        i = comma + 1;
    }
    return std::string(first);
}

std::string lastReference(std::string_view value) {
    value = trimRight(value);
    std::size_t close = value.rfind('>');
    if (close != std::string_view::npos) {
        std::size_t open = value.rfind('<', close);
        if (open != std::string_view::npos) {
            std::string_view id = value.substr(open, close - open + 1);
            if (id.find(' ') == std::string_view::npos && id.find('\t') == std::string_view::npos)
                return std::string(id);
        }
    }
    std::size_t blank = value.find_last_of(" \t");
    std::string_view word = blank == std::string_view::npos ? value : value.substr(blank + 1);
    return std::string(word);
}

// ---------------------------------------------------------------------------

SplitAddress splitInternetAddressText(std::string_view text) {
    SplitAddress r;
    std::string_view t = firstRecipient(trim(text));
    const std::size_t at = t.find('@');
    std::string_view address = t, name;
    if (at == std::string_view::npos) {
        // No Internet address: the whole text.
    } else if (t.back() == '>') {
        std::size_t open = t.rfind('<');
        if (open != std::string_view::npos) {
            address = t.substr(open + 1, t.size() - open - 2);
            name = t.substr(0, open);
        }
    } else {
        // The word that holds the at sign is the address; the name is the
        // text after it ("addr (Name)") or, when nothing follows, before it
        // ("Name addr").
        std::size_t after = t.find_first_of(" \t", at);
        std::size_t before = t.find_last_of(" \t", at);
        std::size_t from = before == std::string_view::npos ? 0 : before + 1;
        std::size_t to = after == std::string_view::npos ? t.size() : after;
        address = t.substr(from, to - from);
        if (after != std::string_view::npos) name = t.substr(after + 1);
        else if (before != std::string_view::npos) name = t.substr(0, before);
        if (address.size() > 2 && address.front() == '<' && address.back() == '>')
            address = address.substr(1, address.size() - 2);
    }
    r.address = std::string(trim(address).substr(0, AddressWidth));
    r.name = decodedName(name);
    return r;
}

void SplitInternetAddress(int side, std::string_view text, NewHRRecord& NHR) {
    SplitAddress s = splitInternetAddressText(text);
    setSide(NHR, side, lower(s.address), s.name);
}

namespace {

// Removes a CompuServe gateway prefix (">INTERNET:", "INTERNET:") from an
// address.
std::string_view withoutGateway(std::string_view a) {
    if (!a.empty() && a.front() == '>') a.remove_prefix(1);
    if (startsUpper(a, "INTERNET:")) a.remove_prefix(9);
    return trimLeft(a);
}

// A name followed by a numeric service user identifier ("John Smith
// 70000,123", "John Smith [70000.123]", "70000,123").
SplitAddress splitServiceForm(std::string_view t) {
    SplitAddress r;
    r.name = std::string(t);
    if (t.size() <= 4) return r;
    std::string s(t);
    std::size_t d = s.find_last_of(",.");
    if (d == std::string::npos || d == 0) return r;
    s[d] = ',';
    if (d + 1 < s.size() && s[d + 1] == ' ' && d + 2 < 58) s.erase(d + 1, 1);
    const bool bracket = s.back() == ']';
    const std::size_t end = bracket ? s.size() - 1 : s.size();
    if (d + 1 > end || !allDigits(std::string_view(s).substr(d + 1, end - d - 1))) return r;
    std::size_t k = std::string::npos;
    for (std::size_t i = d; i-- > 0;) {
        if (s[i] == ' ' || (bracket && s[i] == '[')) {
            k = i;
            break;
        }
    }
    if (k != std::string::npos) {
        if (!allDigits(std::string_view(s).substr(k + 1, d - k - 1))) return r;
        r.address = s.substr(k + 1, end - k - 1);
        r.name = std::string(trim(std::string_view(s).substr(0, k)));
        if (bracket && !r.name.empty() && r.name.back() == '[') r.name.pop_back();
        r.name = std::string(trim(r.name));
        return r;
    }
    if (!allDigits(std::string_view(s).substr(0, d))) return r;
    r.address = s.substr(0, end);
    r.name.clear();
    return r;
}

}  // namespace

SplitAddress splitNewsAddressText(std::string_view text) {
    std::string_view t = trim(text);
    const std::size_t at = t.find('@');
    if (at == std::string_view::npos) return splitServiceForm(t);

    SplitAddress r;
    std::string_view address, name;
    std::size_t p = t.find_last_of("< \t", at);
    if (t.back() == '>' && t.rfind('<') != std::string_view::npos && t.rfind('<') > at) {
        // "Name <address>" whose name holds an at sign of its own
        // ("\"a@b.com\" <c@d.com>"): the address is in the last brackets.
        p = t.rfind('<');
        address = t.substr(p + 1, t.size() - p - 2);
        name = t.substr(0, p);
    } else if (p != std::string_view::npos && t[p] == '<') {
        std::string_view rest = t.substr(p + 1);
        std::size_t close = rest.substr(0, AddressWidth + 1).find('>');
        address = close == std::string_view::npos ? rest.substr(0, AddressWidth) : rest.substr(0, close);
        name = p == 0 ? t.substr(1, at - 1) : t.substr(0, p);
    } else if (p != std::string_view::npos) {
        std::size_t after = t.find_first_of(" \t", at);
        address = t.substr(p + 1, (after == std::string_view::npos ? t.size() : after) - p - 1);
        name = t.substr(0, p);
        if (after != std::string_view::npos && trim(name).empty()) name = t.substr(after + 1);
    } else {
        // The address starts the text; a CompuServe gateway prefix
        // ("INTERNET:" at its very start) goes below. "INTERNET" elsewhere
        // is part of the address ("Internet-Drafts@ietf.org").
        std::size_t after = t.find_first_of(" \t", at);
        address = after == std::string_view::npos ? t : t.substr(0, after);
        if (after != std::string_view::npos) name = t.substr(after + 1);
    }
    r.address = std::string(withoutGateway(trim(address)).substr(0, AddressWidth));
    r.name = decodedName(name);
    return r;
}

void SplitNewsAddress(int side, int use, std::string_view text, NewHRRecord& NHR,
                      const HeaderContext& ctx) {
    SplitAddress s = splitNewsAddressText(text);
    if (use != 2) {
        setSide(NHR, side, lower(s.address), s.name);
        return;
    }
    if (side == 2) {
        NHR.S_CISADRESS = s.address;
        applyDirection(NHR, ctx);
        NHR.S_NAME = NHR.MAILTYPE == 2 ? std::string_view(ctx.ownerName) : std::string_view(s.name);
    } else if (NHR.MAILTYPE == 1) {
        setSide(NHR, 1, lower(ctx.ownerAddress), ctx.ownerName);
    } else {
        setSide(NHR, 1, lower(s.address), s.name);
    }
}

// ---------------------------------------------------------------------------

namespace {

// Values of the header lines that all parsers read.
struct BlockValues {
    std::string from, date, subject, to;
    bool seenFrom = false, seenDate = false, seenSubject = false, seenTo = false;
};

// Sender side of the mail parsers: the From value split as an Internet address.
void fillFrom(NewHRRecord& NHR, const BlockValues& v) {
    std::string_view from = trim(v.from);
    if (from.empty()) setSide(NHR, 2, {}, {});
    else SplitInternetAddress(2, from, NHR);
}

void fillTo(NewHRRecord& NHR, const BlockValues& v) {
    std::string_view to = withoutXMarker(trim(v.to));
    if (to.empty()) setSide(NHR, 1, {}, {});
    else SplitInternetAddress(1, to, NHR);
}

}  // namespace

MailHeaderResult ParseMailHeaders(LineQueue& queue, std::size_t firstLine, NewHRRecord& NHR,
                                  HeaderContext& ctx) {
    MailHeaderResult r;
    const std::size_t last = queue.size();
    BlockValues v;
    BodyEncoding encoding;
    queue.encoding = BodyEncoding{};
    bool multipart = false;
    std::string boundary;
    bool continuesSplit = false;
    std::size_t n = std::max<std::size_t>(firstLine, 1);
    for (; n <= last; ++n) {
        const LineEntry& e = lineAt(queue, n);
        const std::string_view t = e.text();
        const bool piece = continuesSplit;  // the rest of a split line
        continuesSplit = e.SPLITLINE != 0;
        if (piece) continue;
        if (isBlankLine(t)) break;
        if (startsUpper(t, "NEWSG")) return r;  // a news article: not for a mail reader
        noteContent(queue, n, last, t, encoding);
        if (startsUpper(t, "FROM:")) {
            v.from = headerValue(queue, n, last, 5);
            v.seenFrom = true;
        } else if (startsUpper(t, "DATE:")) {
            v.date = headerValue(queue, n, last, 5);
            v.seenDate = true;
        } else if (startsUpper(t, "SUBJECT:")) {
            // A second Subject line does not replace the first.
            if (!v.seenSubject) v.subject = headerValue(queue, n, last, 8);
            v.seenSubject = true;
        } else if (startsUpper(t, "TO:")) {
            v.to = headerValue(queue, n, last, 3);
            v.seenTo = true;
        }
        ContentTypeSeen ct = readContentType(t);
        if (ct.isContentType) {
            if (ct.html) r.contentKind = ContentHtml;
            else if (ct.enriched) r.contentKind = ContentEnriched;
            else if (ct.multipart) {
                multipart = true;
                if (boundary.empty()) boundary = ct.boundary;
            }
        } else if (multipart && boundary.empty() && t.size() > 9) {
            boundary = FindBoundary(1, t);
        }
    }
    // A multipart message whose boundary is not given is kept whole: its
    // body is the text.
    if (multipart && boundary.empty()) encoding.mediaType.clear();
    queue.encoding = std::move(encoding);
    r.bodyStart = n <= last ? n + 1 : last + 1;
    r.ok = true;

    DateTime dt;
    if (v.seenDate)
        dt = ParseHeaderDate(v.date, ctx.importType == "Pegasus" ? DateReading::Simple
                                                                  : DateReading::General);
    NHR.DATE = dt.date;
    NHR.TIME = dt.time;
    NHR.HEADING = StripReplyPrefix(decodeHeaderText(v.subject));
    fillFrom(NHR, v);
    fillTo(NHR, v);
    applyDirection(NHR, ctx);
    if (NHR.MAILTYPE == 2) NHR.S_NAME = ctx.ownerName;
    else if (NHR.MAILTYPE == 1) NHR.R_NAME = ctx.ownerName;

    if (!boundary.empty()) {
        r.boundary = boundary;
        if (ctx.importType != "Outlook Express 5 Mail")
            r.contentKind = ChooseMimePart(queue, r.bodyStart, last, boundary);
    }
    return r;
}

MailHeaderResult ParseSeparatedMailHeaders(LineQueue& queue, std::size_t firstLine,
                                           NewHRRecord& NHR, HeaderContext& ctx) {
    MailHeaderResult r;
    r.ok = true;
    const std::size_t last = queue.size();
    firstLine = std::max<std::size_t>(firstLine, 1);
    const std::string_view separator =
        firstLine <= last ? lineAt(queue, firstLine).text() : std::string_view();
    BlockValues v;
    BodyEncoding encoding;
    queue.encoding = BodyEncoding{};
    NHR.MAILTYPE = 1;
    bool continuesSplit = false;
    std::size_t n = firstLine;
    for (; n <= last; ++n) {
        const LineEntry& e = lineAt(queue, n);
        const std::string_view t = e.text();
        const bool piece = continuesSplit;
        continuesSplit = e.SPLITLINE != 0;
        if (piece) continue;
        if (isBlankLine(t)) break;
        noteContent(queue, n, last, t, encoding);
        if (startsUpper(t, "FROM:")) {
            v.from = headerValue(queue, n, last, 5);
            v.seenFrom = true;
        } else if (startsUpper(t, "DATE:")) {
            v.date = headerValue(queue, n, last, 5);
            v.seenDate = true;
        } else if (startsUpper(t, "SUBJECT:")) {
            // A second Subject line does not replace the first.
            if (!v.seenSubject) v.subject = headerValue(queue, n, last, 8);
            v.seenSubject = true;
        } else if (startsUpper(t, "TO:")) {
            v.to = headerValue(queue, n, last, 3);
            v.seenTo = true;
        }
        ContentTypeSeen ct = readContentType(t);
        if (ct.html || ct.alternative) r.contentKind = ContentHtml;
        else if (ct.enriched) r.contentKind = ContentEnriched;
    }
    queue.encoding = std::move(encoding);
    r.bodyStart = n <= last ? n + 1 : last + 1;

    DateTime dt;
    if (v.seenDate) {
        dt = ParseHeaderDate(v.date, DateReading::Simple);
    } else {
        // Written by the owner: the date is that of the separator line
        // ("From ???@??? Mon Jan 05 12:00:00 1998"), after its sender word.
        NHR.MAILTYPE = 2;
        std::string_view s = separator;
        if (startsUpper(s, "FROM ")) {
            s = trimLeft(s.substr(5));
            std::size_t blank = s.find_first_of(" \t");
            s = blank == std::string_view::npos ? std::string_view() : s.substr(blank);
        }
        dt = readCtimeDate(upper1252(trim(s)));
    }
    NHR.DATE = dt.date;
    NHR.TIME = dt.time;
    NHR.HEADING = StripReplyPrefix(decodeHeaderText(v.subject));
    if (NHR.MAILTYPE == 2) setSide(NHR, 2, lower(ctx.ownerAddress), ctx.ownerName);
    else fillFrom(NHR, v);
    if (NHR.MAILTYPE == 1) setSide(NHR, 1, lower(ctx.ownerAddress), ctx.ownerName);
    else fillTo(NHR, v);
    return r;
}

InternetHeaderResult ParseInternetHeaders(LineQueue& queue, std::size_t firstLine,
                                          NewHRRecord& NHR, HeaderContext& ctx,
                                          const KnownValues* known) {
    InternetHeaderResult r;
    r.messageKind = known ? MessageNews : MessageMail;
    const std::size_t last = queue.size();
    firstLine = std::max<std::size_t>(firstLine, 1);
    BlockValues v;
    bool haveMessageId = false, haveNewsgroups = false, haveReferences = false, haveReply = false;
    BodyEncoding encoding;
    queue.encoding = BodyEncoding{};
    bool multipart = false;
    std::string boundary;
    bool continuesSplit = false;
    std::size_t n = firstLine;
    for (; n <= last; ++n) {
        const LineEntry& e = lineAt(queue, n);
        const std::string_view t = e.text();
        const bool piece = continuesSplit;
        continuesSplit = e.SPLITLINE != 0;
        if (piece) continue;
        if (isBlankLine(t)) {
            if (r.messageKind == MessageNews || (v.seenFrom && v.seenDate && v.seenSubject) ||
                v.seenTo)
                break;
            continue;
        }
        noteContent(queue, n, last, t, encoding);
        ContentTypeSeen ct = readContentType(t);
        if (startsUpper(t, "NEWSGROUPS:")) {
            std::string value = headerValue(queue, n, last, 11);
            NHR.FOR_DESCRIPTION = ChooseNewsgroup(value, ctx.targetHolds);
            r.messageKind = MessageNews;
            haveNewsgroups = true;
        } else if (startsUpper(t, "MESSAGE-ID:")) {
            std::string id = messageIdentifier(headerValue(queue, n, last, 11));
            if (!id.empty()) {
                NHR.MSGNUMBER = stageIdentifier(ctx, id);
                haveMessageId = true;
            }
        } else if (startsUpper(t, "REFERENCES:")) {
            // The last entry of References names the message answered.
            std::string ref = lastReference(gatherValue(queue, n, last, 11, true));
            if (!ref.empty()) {
                NHR.REFNUMBER = stageIdentifier(ctx, ref);
                haveReferences = haveReply = true;
            }
        } else if (startsUpper(t, "IN-REPLY-TO:")) {
            // Only an identifier in angle brackets counts ("<id@host>", not
            // "joe's message of 21 Apr 93"), and References, where present,
            // names the answered message already.
            std::string value = gatherValue(queue, n, last, 12, true);
            std::string ref = lastReference(value);
            if (!haveReferences && !ref.empty() && ref.front() == '<') {
                NHR.REFNUMBER = stageIdentifier(ctx, ref);
                haveReply = true;
            }
        } else if (ct.isContentType) {
            if (ct.html) r.contentKind = ContentHtml;
            else if (ct.enriched) r.contentKind = ContentEnriched;
            else if (ct.multipart) {
                multipart = true;
                if (boundary.empty()) boundary = ct.boundary;
            }
        } else if (startsUpper(t, "LINES:")) {
            std::string_view digits = trimLeft(t.substr(6));
            std::size_t k = 0;
            while (k < digits.size() && k < 9 && digits[k] >= '0' && digits[k] <= '9') ++k;
            if (k > 0) r.lineCount = static_cast<std::uint32_t>(number(digits.substr(0, k)));
        } else if (startsUpper(t, "FROM:")) {
            v.from = headerValue(queue, n, last, 5);
            v.seenFrom = true;
        } else if (startsUpper(t, "DATE:")) {
            v.date = headerValue(queue, n, last, 5);
            v.seenDate = true;
        } else if (startsUpper(t, "SUBJ:")) {
            if (!v.seenSubject) v.subject = headerValue(queue, n, last, 5);
            v.seenSubject = true;
        } else if (startsUpper(t, "SUBJECT:")) {
            // A second Subject line does not replace the first.
            if (!v.seenSubject) v.subject = headerValue(queue, n, last, 8);
            v.seenSubject = true;
            // A block that begins with its subject is a forum message kept
            // by a forum reader (it names its sender in an "Fm:" line).
            if (n == firstLine && !known) r.messageKind = MessageForum;
        } else if (startsUpper(t, "REPLY TO:")) {
            if (r.messageKind != MessageNews) {
                v.subject = headerValue(queue, n, last, 9);
                v.seenSubject = true;
            }
        } else {
            if (startsUpper(t, "TO:")) {
                v.to = headerValue(queue, n, last, 3);
                v.seenTo = true;
            } else if (startsUpper(t, "FM:") && r.messageKind == MessageForum && !known) {
                v.from = headerValue(queue, n, last, 3);
                v.seenFrom = true;
            }
        }
        if (!ct.isContentType && multipart && boundary.empty() && t.size() > 9)
            boundary = FindBoundary(1, t);
    }
    while (n <= last && isBlankLine(lineAt(queue, n).text())) ++n;
    r.bodyStart = n;
    queue.encoding = std::move(encoding);

    if (known) {
        if (!haveMessageId) {
            std::string id = messageIdentifier(known->identifier);
            if (!id.empty()) NHR.MSGNUMBER = stageIdentifier(ctx, id);
        }
        if (!haveReply) {
            std::string ref = lastReference(known->references);
            if (!ref.empty()) NHR.REFNUMBER = stageIdentifier(ctx, ref);
        }
        if (!haveNewsgroups && !trim(known->newsgroup).empty())
            NHR.FOR_DESCRIPTION = ChooseNewsgroup(known->newsgroup, ctx.targetHolds);
        if (trim(v.subject).empty() && !known->subject.empty())
            v.subject = std::string(std::string_view(known->subject).substr(0, 50));
        if (trim(v.from).empty() && !known->sender.empty()) v.from = known->sender;
    }

    DateTime dt;
    if (v.seenDate) dt = ParseHeaderDate(v.date, DateReading::General);
    NHR.DATE = dt.date;
    NHR.TIME = dt.time;
    NHR.HEADING = StripReplyPrefix(decodeHeaderText(v.subject));

    const bool internetForm = isNewsImportType(ctx.importType);
    // Sender first: for mail its direction decides the receiver.
    std::string_view from = trim(v.from);
    if (r.messageKind == MessageMail && startsUpper(from, "YOU")) {
        NHR.MAILTYPE = 2;
        setSide(NHR, 2, lower(ctx.ownerAddress), ctx.ownerName);
    } else if (!from.empty()) {
        if (internetForm || r.messageKind == MessageNews) SplitInternetAddress(2, from, NHR);
        else SplitNewsAddress(2, r.messageKind, from, NHR, ctx);
    }
    if (r.messageKind == MessageNews) {
        setSide(NHR, 1, {}, NHR.REFNUMBER != 0 ? "Unknown" : "All");
    } else {
        std::string_view to = withoutXMarker(trim(v.to));
        if (to.empty()) setSide(NHR, 1, lower(ctx.ownerAddress), ctx.ownerName);
        else if (internetForm) SplitInternetAddress(1, to, NHR);
        else SplitNewsAddress(1, r.messageKind, to, NHR, ctx);
    }
    if (r.messageKind == MessageMail && NHR.MAILTYPE == 0) {
        // Mail whose addresses were split as Internet addresses: the owner
        // test still decides its direction.
        applyDirection(NHR, ctx);
        if (NHR.MAILTYPE == 2) NHR.S_NAME = ctx.ownerName;
        else if (NHR.MAILTYPE == 1) NHR.R_NAME = ctx.ownerName;
    }

    if (!boundary.empty()) r.contentKind = ChooseMimePart(queue, r.bodyStart, last, boundary);
    return r;
}

// ---------------------------------------------------------------------------

void StripChar(int mode, std::string& text) {
    auto endsWithMarker = [&] {
        std::size_t n = text.size();
        return n >= 2 && text[n - 2] == '@' && (text[n - 1] == 'b' || text[n - 1] == 'l');
    };
    for (;;) {
        if (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
        else if (endsWithMarker()) text.resize(text.size() - 2);
        else break;
    }
    std::size_t start = 0;
    for (;;) {
        if (start < text.size() && (text[start] == '\r' || text[start] == '\n')) ++start;
        else if (start + 1 < text.size() && text[start] == '@' &&
                 (text[start + 1] == 'b' || text[start + 1] == 'l'))
            start += 2;
        else break;
    }
    text.erase(0, start);
    if (mode == 1 || !IsInternetHeaderLine(text)) return;

    // A mail text that begins with its Internet header block: the block is
    // not stored, and the body is chosen and converted like any mail body.
    LineQueue queue = splitLines(text);
    DetectedContent dc = DetectMessageContent(queue, 1, queue.size());
    if (dc.bodyStart <= 1) return;  // no complete header block: keep the text
    text = BuildMessageText(dc.html ? ContentHtml : ContentPlain, queue, dc.bodyStart, queue.size());
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
}

}  // namespace quill

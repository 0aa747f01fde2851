#include "import/readers/CaptureHeaders.h"

#include "import/Dates.h"
#include "import/ImportTypes.h"
#include "people/Address.h"

namespace quill {

namespace {

constexpr std::size_t kSectionWidth = 30;
constexpr std::size_t kParColumns = 40;
constexpr std::size_t kParDigits = 8;

bool isOzType(CaptureType t) {
    return t == CaptureType::OzCis || t == CaptureType::OzWin1 || t == CaptureType::OzWin2;
}

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

bool allDigits(std::string_view v) {
    if (v.empty()) return false;
    for (char ch : v)
        if (!isDigit(ch)) return false;
    return true;
}

std::string_view trimmed(std::string_view v) {
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
}

std::string_view clipped(std::string_view v) {
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
}

// Columns from..to (1-based, inclusive) of a line, as far as the line goes.
std::string_view columns(std::string_view line, std::size_t from, std::size_t to = std::string_view::npos) {
    if (from < 1 || from > line.size()) return {};
    std::size_t n = to == std::string_view::npos || to >= line.size() ? line.size() - (from - 1) : to - from + 1;
    return line.substr(from - 1, n);
}

// The value of leading digits (after blanks); 0 when there are none. Values
// past the range of a ULONG saturate.
uint64_t leadingValue(std::string_view v) {
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    uint64_t n = 0;
    for (char ch : v) {
        if (!isDigit(ch)) break;
        n = n * 10 + uint64_t(ch - '0');
        if (n > 0xFFFFFFFFull) return 0xFFFFFFFFull;
    }
    return n;
}

bool startsWith(std::string_view line, std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; }

// TAPCIS 5.x lines may end with the marker "@b".
std::string_view withoutFinalMarker(CaptureType t, std::string_view v) {
    v = clipped(v);
    if ((t == CaptureType::Tapcis5 || t == CaptureType::GoldenCompass) && v.size() >= 2 &&
        v.substr(v.size() - 2) == "@b")
        v.remove_suffix(2);
    return clipped(v);
}

// A "Fm:" or "To:" value of a forum message, without the "(X)" that marks a
// message its receiver has read.
std::string_view forumPartyValue(CaptureType t, std::string_view v) {
    v = withoutFinalMarker(t, v);
    if (v.size() > 3 && v.substr(v.size() - 3) == "(X)") v = clipped(v.substr(0, v.size() - 3));
    return trimmed(v);
}

// The date of line 2: columns 5-13 for TAPCIS 5.x, else from column 6 when
// column 5 is blank, else from column 5. Sets dateEnd to the column after it.
DayNumber lineTwoDate(CaptureType t, std::string_view line, std::size_t& dateEnd) {
    std::size_t start = 5;
    if (t != CaptureType::Tapcis5 && line.size() >= 5 && line[4] == ' ') start = 6;
    std::string_view text = columns(line, start, start + 8);
    std::size_t len = text.size() >= 2 && text[1] == '-' ? 8 : 9;
    dateEnd = start + len;
    return captureDate(text);
}

// "h:mm", "hh:mm", "h:mm:ss" or "hh:mm:ss" at the start of text; 0 else.
TimeValue clockTime(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && n < 8 && (isDigit(text[n]) || text[n] == ':')) ++n;
    std::string t(text.substr(0, n));
    if (t.empty()) return 0;
    if (t.size() >= 2 && t[1] == ':') t = "0" + t;
    if (t.size() == 5) t += ":00";
    return t.size() == 8 ? timeFromT4(t) : 0;
}

// The value of a header line that must begin with prefix (from column
// valueColumn), or nothing.
std::optional<std::string_view> headerValue(const LineQueue& q, std::size_t n, std::size_t last,
                                            std::string_view prefix, std::size_t valueColumn) {
    if (n > last || n > lineCount(q)) return std::nullopt;
    std::string_view line = lineAt(q, n).text();
    if (!startsWith(line, prefix)) return std::nullopt;
    return columns(line, valueColumn);
}

}  // namespace

CaptureType captureTypeOf(std::string_view typeName) {
    const ImportType* t = importTypeByName(typeName);
    if (!t) return CaptureType::None;
    switch (t->number) {
        case 1: return CaptureType::Autosig;
        case 7: return CaptureType::GoldenCompass;
        case 12: return CaptureType::OzCis;
        case 13: return CaptureType::OzWin1;
        case 14: return CaptureType::OzWin2;
        case 15: return CaptureType::Tapcis5;
        case 19: return CaptureType::Tapcis6;
        case 25: return CaptureType::NavCisSave;
        default: return CaptureType::None;
    }
}

bool capturesInCodePage850(CaptureType t) {
    return t == CaptureType::OzCis || t == CaptureType::Tapcis5 || t == CaptureType::Tapcis6 ||
           t == CaptureType::Autosig;
}

bool isCaptureStart(CaptureType t, std::uint8_t format, std::string_view line) {
    if (format == CaptureMail && isOzType(t)) return startsWith(line, "Date:  ");
    return startsWith(line, "#:");
}

DayNumber captureDate(std::string_view text) {
    std::string d(text.substr(0, 9));
    if (d.size() >= 2 && d[1] == '-') d = "0" + d;
    if (d.size() < 9) return 0;
    std::string_view day = std::string_view(d).substr(0, 2), month = std::string_view(d).substr(3, 3),
                     year = std::string_view(d).substr(7, 2);
    if (!allDigits(day) || !allDigits(year)) return 0;
    return MonthNameDate(int(leadingValue(day)), int(leadingValue(year)), upper1252(month));
}

std::optional<ForumHeader> parseForumHeader(CaptureType t, const LineQueue& q, std::size_t first, std::size_t last) {
    if (first < 1 || last > lineCount(q) || first + 4 > last) return std::nullopt;
    ForumHeader h;
    std::string_view l1 = lineAt(q, first).text();
    if (!startsWith(l1, "#:")) return std::nullopt;
    if (t == CaptureType::Tapcis5 || t == CaptureType::GoldenCompass) l1 = withoutFinalMarker(t, l1);

    // 1. The number: column 4 up to the first blank, at most column 15.
    std::size_t blank = l1.find(' ', 3);
    std::size_t numberEnd = blank == std::string_view::npos ? l1.size() : blank;
    std::string_view numberText = columns(l1, 4, std::min<std::size_t>(numberEnd, 15));
    if (!allDigits(numberText)) return std::nullopt;
    uint64_t number = leadingValue(numberText);
    if (number == 0 || number >= MessageNumberLimit) return std::nullopt;
    h.msgNumber = uint32_t(number);

    // 3. The section starts after the number's blank; a leading "(c) " is
    // passed over. 2. For OzCIS and OzWin the forum is named in the last
    // parentheses of the line, after the section's start.
    std::size_t sectionStart = blank == std::string_view::npos ? l1.size() : blank + 1;
    if (l1.size() >= sectionStart + 4 && l1[sectionStart] == '(' && l1[sectionStart + 2] == ')' &&
        l1[sectionStart + 3] == ' ')
        sectionStart += 4;
    std::size_t sectionEnd = l1.size();
    if (isOzType(t)) {
        std::size_t open = l1.rfind('(');
        if (open != std::string_view::npos && open >= std::max<std::size_t>(2, sectionStart)) {
            std::size_t close = l1.find(')', open);
            if (close != std::string_view::npos) {
                std::string_view forum = trimmed(l1.substr(open + 1, close - open - 1));
                if (upper1252(forum.substr(0, 4)) == "CIS:") forum = trimmed(forum.substr(4));
                h.forum = std::string(forum);
                sectionEnd = open;
            }
        }
    }
    std::string_view section = sectionStart < sectionEnd ? l1.substr(sectionStart, sectionEnd - sectionStart)
                                                         : std::string_view{};
    section = section.substr(0, kSectionWidth);
    std::size_t slash = section.find('/');
    if (slash != std::string_view::npos) {
        h.sectionNumber = slash >= 2 ? uint32_t(leadingValue(section.substr(1, slash - 1))) : 0;
        h.section = std::string(trimmed(section.substr(slash + 1)));
    } else {
        h.sectionNumber = section.size() > 1 ? uint32_t(leadingValue(section.substr(1))) : 0;
        h.section = std::string(trimmed(section));
    }

    // 4. OzWin II names the answered message on line 6: "Par:" and 8 digits.
    bool parReference = false;
    if (t == CaptureType::OzWin2 && first + 5 <= last) {
        std::string_view l6 = lineAt(q, first + 5).text();
        std::size_t par = l6.substr(0, kParColumns).find("Par:");
        if (par != std::string_view::npos) {
            parReference = true;
            uint64_t ref = leadingValue(l6.substr(par + 4, kParDigits));
            h.refNumber = ref < MessageNumberLimit ? uint32_t(ref) : 0;
        }
    }

    // 5. The date; forum captures carry no time.
    std::size_t dateEnd = 0;
    h.date = lineTwoDate(t, lineAt(q, first + 1).text(), dateEnd);

    // 6. The subject, with the answered message in front: "#12340-Re: x" or
    // "12340-Re: x". A number without "#" must end in "-", so that a
    // subject that merely begins with a number keeps it.
    auto sb = headerValue(q, first + 2, last, "Sb:", 5);
    if (!sb) return std::nullopt;
    std::string_view subject = trimmed(withoutFinalMarker(t, *sb));
    if (!parReference && !subject.empty() && (subject[0] == '#' || isDigit(subject[0]))) {
        bool hash = subject[0] == '#';
        std::size_t start = hash ? 1 : 0, end = start;
        std::size_t maxLen = numberText.size() + 1;
        while (end < subject.size() && end - start < maxLen && subject[end] != ' ' && subject[end] != '-') ++end;
        bool terminated = end < subject.size() && (subject[end] == '-' || (hash && subject[end] == ' '));
        std::string_view refText = subject.substr(start, end - start);
        uint64_t ref = allDigits(refText) ? leadingValue(refText) : 0;
        if (terminated && ref != 0 && ref <= number && number - ref <= ReferenceWindow) {
            h.refNumber = uint32_t(ref);
            subject = trimmed(subject.substr(end + 1));
        }
    }
    if (!subject.empty() && subject[0] == '#') subject.remove_prefix(1);
    h.subject = std::string(subject);

    // 7, 8. Sender and receiver.
    auto fm = headerValue(q, first + 3, last, "Fm:", 5);
    auto to = headerValue(q, first + 4, last, "To:", 5);
    if (!fm || !to) return std::nullopt;
    FindCISAdress(1, forumPartyValue(t, *fm), h.from.name, h.from.address);
    FindCISAdress(1, forumPartyValue(t, *to), h.to.name, h.to.address);
    h.bodyStart = first + 6;
    return h;
}

CaptureParty splitMailParty(std::string_view value) {
    value = trimmed(value);
    CaptureParty p;
    std::size_t at = upper1252(value).find("INTERNET");
    if (at == std::string::npos) {
        FindCISAdress(2, value, p.name, p.address);
        return p;
    }
    std::string_view address = value.substr(at + 8);
    if (!address.empty() && address.front() == ':') address.remove_prefix(1);
    std::string_view name = value.substr(0, at);
    while (!name.empty() && (name.back() == '>' || name.back() == ' ' || name.back() == addressSeparator))
        name.remove_suffix(1);
    name = trimmed(name);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = trimmed(name.substr(1, name.size() - 2));
    p.address = std::string(trimmed(address));
    p.name = std::string(name);
    if (p.name.empty()) FindCISAdress(2, std::string(p.address), p.name, p.address);
    return p;
}

std::optional<MailHeader> parseMailHeader(CaptureType t, const LineQueue& q, std::size_t first, std::size_t last) {
    if (first < 1 || last > lineCount(q) || first + 2 > last) return std::nullopt;
    MailHeader h;
    std::string_view l1 = lineAt(q, first).text();

    if (isOzType(t)) {
        if (!startsWith(l1, "Date:  ")) return std::nullopt;
        h.date = captureDate(columns(l1, 8, 16));
        std::size_t timeColumn = columns(l1, 9, 9) == "-" ? 17 : 18;  // a one-digit day moves it
        h.time = clockTime(trimmed(columns(l1, timeColumn)));
        std::string_view l2 = lineAt(q, first + 1).text();
        if (startsWith(l2, "MgTo:")) {
            h.direction = MailSent;
            h.to = splitMailParty(columns(l2, 8));
        } else if (startsWith(l2, "From:")) {
            h.direction = MailReceived;
            h.from = splitMailParty(columns(l2, 8));
        } else {
            return std::nullopt;
        }
        auto subj = headerValue(q, first + 2, last, "Subj:", 8);
        if (!subj) return std::nullopt;
        h.subject = std::string(trimmed(*subj));
        h.bodyStart = first + 4;
        return h;
    }

    if (!startsWith(l1, "#:") || first + 3 > last) return std::nullopt;
    std::string_view l2 = lineAt(q, first + 1).text();
    auto sb = headerValue(q, first + 2, last, "Sb:", 5);
    if (!sb) return std::nullopt;
    h.subject = std::string(trimmed(withoutFinalMarker(t, *sb)));

    if (t == CaptureType::Tapcis5 || t == CaptureType::GoldenCompass) {
        std::size_t dateEnd = 0;
        h.date = lineTwoDate(t == CaptureType::GoldenCompass ? CaptureType::OzCis : t, l2, dateEnd);
        std::string_view rest = columns(l2, dateEnd);
        std::size_t blanks = 0;
        while (blanks < rest.size() && blanks < 5 && rest[blanks] == ' ') ++blanks;
        h.time = clockTime(rest.substr(blanks));
        // Sent mail names its receiver on line 5, received mail its sender
        // on line 4.
        bool sent = l1.find("/Outbox") != std::string_view::npos;
        auto value = sent ? headerValue(q, first + 4, last, "To:", 5) : headerValue(q, first + 3, last, "Fm:", 5);
        if (!value) return std::nullopt;
        h.direction = sent ? MailSent : MailReceived;
        (sent ? h.to : h.from) = splitMailParty(withoutFinalMarker(t, *value));
        h.bodyStart = sent ? first + 6 : first + 5;
        return h;
    }

    // TAPCIS 6.x and AUTOSIG: "dd-Mon-yy" in columns 5-13, the time in
    // columns 16-23 (or 16-20 without seconds).
    h.date = captureDate(columns(l2, 5, 13));
    h.time = columns(l2, 21, 21) == " " || columns(l2, 21, 21).empty()
                 ? clockTime(std::string(columns(l2, 16, 20)))
                 : clockTime(columns(l2, 16, 23));
    auto fm = headerValue(q, first + 3, last, "Fm:", 5);
    auto to = headerValue(q, first + 4, last, "To:", 5);
    if (!fm || !to) return std::nullopt;
    h.from = splitMailParty(*fm);
    h.to = splitMailParty(*to);
    h.bodyStart = first + 6;
    return h;
}

}  // namespace quill

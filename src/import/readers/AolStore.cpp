// Tagged-record store ("AOL", "CompuServe 2000").
//
//   "AOLH" x x x x 1 x 2 x x 2 x 2 ...     message record head: the bytes 8, 10, 13 and 15 after
//   (16 bytes)                              the marker's start are 1, 2, 2, 2
//   fields from head+16, each:  +0 tag | +1 . | +2 5 | +3 length (one byte) | +4..+6 . | text
//     tag 5 date, 6 sender, 7 receiver, 8 (passed over), 9 receiver again,
//     [CR], 10 subject, 11 receiver when none yet, 10 bytes passed over,
//     16 (passed over), 17 receiver again
//   "AOLFAOLH" LONG length | data           body blocks, one after another; the body is
//   "AOLFAOLH" LONG length | data           their joined data, up to the first position
//                                           that does not begin with "AOLFAOLH"
//
// The layout of the body block head (the marker, then the data length as a
// LONG at offset 8, the data at offset 12), where the fields start (16 bytes
// after the record marker) and the field length (one byte) are our reading
// of files of this kind; every length is checked against the end of the file.
// A field whose tag is not where it is expected ends the record, which is
// then not staged.
//
// The reader writes a header block of its own (Date, From, To, Subject) in
// front of the body, so the header parser reads these records like any mail.
// The body is HTML with its own line marks: it is split at CR LF, at the byte
// 127 and at "<BR>", each line keeping its mark for the HTML converter;
// "&nbsp;" becomes a blank.
#include <clocale>
#include <cstdio>
#include <langinfo.h>

#include "database/Calendar.h"
#include "import/readers/MailReaders.h"

namespace quill {

namespace {
constexpr std::string_view RecordMarker = "AOLH";
constexpr std::string_view BodyMarker = "AOLFAOLH";
constexpr std::size_t RecordHead = 16;
constexpr std::size_t FieldHead = 7;
constexpr std::size_t BodyHead = 12;
constexpr std::size_t BodyMax = 64000;

const char* const MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The order of the system's short date: true when it begins with the day.
bool systemDayFirst() {
    static const bool dayFirst = [] {
        locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
        if (!loc) return false;
        std::string fmt = nl_langinfo_l(D_FMT, loc);
        freelocale(loc);
        std::size_t d = fmt.find("%d"), m = fmt.find("%m");
        if (d == std::string::npos) d = fmt.find("%e");
        return d != std::string::npos && (m == std::string::npos || d < m);
    }();
    return dayFirst;
}

bool digitsOnly(std::string_view s) {
    if (s.empty() || s.size() > 4) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int toInt(std::string_view s) {
    int n = 0;
    for (char c : s) n = n * 10 + (c - '0');
    return n;
}

void replaceAll(std::string& s, std::string_view what, std::string_view with) {
    for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + with.size()))
        s.replace(p, what.size(), with);
}
}  // namespace

std::string AolStore::internetDate(std::string_view field, bool dayFirst) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    // The time, when there is one, is the last word and holds a colon.
    std::size_t blank = field.rfind(' ');
    std::string_view date = field, timePart;
    if (blank != std::string_view::npos && field.find(':', blank) != std::string_view::npos) {
        date = field.substr(0, blank);
        timePart = field.substr(blank + 1);
        while (!date.empty() && date.back() == ' ') date.remove_suffix(1);
    }
    int h = 0, mi = 0, se = 0;
    if (!timePart.empty()) {
        std::string t(timePart.substr(0, 20));
        if (std::sscanf(t.c_str(), "%d:%d:%d", &h, &mi, &se) < 2) h = mi = se = 0;
        if (h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59) h = mi = se = 0;
    }
    char timeText[16];
    std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d", h, mi, se);
    std::size_t s1 = date.find_first_of("/-.");
    std::size_t s2 = s1 == std::string_view::npos ? s1 : date.find_first_of("/-.", s1 + 1);
    if (s2 == std::string_view::npos || date.find(' ') != std::string_view::npos) {
        // Day, month name, year: the header parser reads it as it stands.
        std::string d(date);
        if (d.empty()) return {};
        for (char& ch : d)
            if (ch == '-' || ch == '/' || ch == '.') ch = ' ';
        return d + " " + timeText;
    }
    std::string_view a = date.substr(0, s1), b = date.substr(s1 + 1, s2 - s1 - 1), y = date.substr(s2 + 1);
    if (!digitsOnly(a) || !digitsOnly(b) || !digitsOnly(y) || (a.size() > 2 && y.size() == 4)) return {};
    int first = toInt(a), second = toInt(b), last = toInt(y);
    int year = 0, month = 0, day = 0;
    if (y.size() <= 2) {
        if (first > 31) year = first, month = second, day = last;          // year, month, day
        else if (first > 12) day = first, month = second, year = last;     // day, month, year
        else if (second > 12) month = first, day = second, year = last;    // month, day, year
        else if (dayFirst) day = first, month = second, year = last;
        else month = first, day = second, year = last;
        if (year < 100) year += year < 70 ? 2000 : 1900;
    } else {
        year = last;
        if (first > 12) day = first, month = second;
        else if (second > 12) month = first, day = second;
        else if (dayFirst) day = first, month = second;
        else month = first, day = second;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31) return {};
    char out[48];
    std::snprintf(out, sizeof out, "%d %s %d %s", day, MonthNames[month - 1], year, timeText);
    return out;
}

bool AolStore::stageRecord(ReaderContext& c, uint64_t marker) {
    uint64_t at = marker + RecordHead;
    const uint64_t end = w_.end();
    auto field = [&](uint8_t tag, std::string& text, std::size_t max) -> bool {
        if (at + FieldHead > end) return false;
        w_.seek(at);
        std::string_view h = w_.look(FieldHead);
        if (h.size() < FieldHead || uint8_t(h[0]) != tag || uint8_t(h[2]) != 5) return false;
        std::size_t len = uint8_t(h[3]);
        if (at + FieldHead + len > end) return false;
        w_.seek(at + FieldHead);
        text.assign(w_.look(len));
        if (text.size() > max) text.resize(max);
        at += FieldHead + len;
        return true;
    };
    std::string date, sender, receiver, other, subject;
    if (!field(5, date, 50) || !field(6, sender, 100) || !field(7, receiver, 100) || !field(8, other, 255) ||
        !field(9, other, 100))
        return false;
    if (!other.empty()) receiver = other;
    w_.seek(at);
    if (w_.peek() == '\r') ++at;
    if (!field(10, subject, 100) || !field(11, other, 100)) return false;
    if (receiver.empty()) receiver = other;
    at += 10;
    if (!field(16, other, 255) || !field(17, other, 100)) return false;
    if (!other.empty()) receiver = other;

    // The body: the blocks after the next body marker.
    w_.seek(at);
    for (;;) {
        std::string_view v = w_.look(FileWindow::RecordSize - 1);
        if (v.size() < BodyMarker.size()) {
            w_.seek(end);
            break;
        }
        std::size_t p = v.find(BodyMarker);
        std::size_t r = v.find(RecordMarker);
        // Another record before any body: this one has no text.
        if (r != std::string_view::npos && (p == std::string_view::npos || r + 4 < p)) {
            w_.advance(r);
            break;
        }
        if (p != std::string_view::npos) {
            w_.advance(p);
            break;
        }
        w_.advance(v.size() - (BodyMarker.size() - 1));
    }
    std::string body;
    while (w_.startsWith(BodyMarker)) {
        uint64_t b = w_.position();
        uint32_t len = 0;
        if (!w_.readLong(b + 8, len)) {
            w_.seek(end);
            break;
        }
        uint64_t dataEnd = std::min<uint64_t>(b + BodyHead + uint64_t(len), end);
        w_.seek(b + BodyHead);
        while (w_.position() < dataEnd) {
            std::string_view d = w_.look(std::size_t(std::min<uint64_t>(dataEnd - w_.position(), 8000)));
            if (d.empty()) break;
            if (body.size() < BodyMax) body.append(d.substr(0, BodyMax - body.size()));
            w_.advance(d.size());
        }
        w_.seek(dataEnd);
    }

    // Header block of our own, then the body lines.
    addLine(queue_, "Date: " + internetDate(date, systemDayFirst()));
    addLine(queue_, "From: " + sender);
    addLine(queue_, "To: " + receiver);
    addLine(queue_, "Subject: " + subject);
    addLine(queue_, "");
    // The text builder joins these lines without line ends and hands them to
    // the service HTML converter, so each line keeps the mark that ended it
    // (CR LF, 127 or "<BR>"): the converter makes them line breaks. "&lt;"
    // and "&gt;" are left to the converter too, which reads them as text;
    // turned into "<" and ">" here they would read as a tag and be dropped.
    replaceAll(body, "&nbsp;", " ");
    std::string_view rest = body;
    while (!rest.empty()) {
        std::size_t cut = rest.size(), mark = 0;
        std::size_t crlf = rest.find("\r\n"), del = rest.find('\x7f');
        std::size_t br = std::string_view::npos;
        for (std::size_t q = rest.find('<'); q != std::string_view::npos; q = rest.find('<', q + 1)) {
            if (q + 4 <= rest.size() && (rest[q + 1] == 'B' || rest[q + 1] == 'b') &&
                (rest[q + 2] == 'R' || rest[q + 2] == 'r') && rest[q + 3] == '>') {
                br = q;
                break;
            }
        }
        if (crlf < cut) cut = crlf, mark = 2;
        if (del < cut) cut = del, mark = 1;
        if (br < cut) cut = br, mark = 4;
        addLine(queue_, rest.substr(0, std::min(rest.size(), cut + mark)));
        rest.remove_prefix(std::min(rest.size(), cut + mark));
    }
    stageQueuedMail(c, queue_, 1, HeaderStyle::Mail);
    return true;
}

MailboxReader::Step AolStore::next(ReaderContext& c) {
    const uint64_t from = w_.position();
    for (;;) {
        std::string_view v = w_.look(FileWindow::RecordSize - 1);
        if (v.size() < RecordHead) return Step::End;
        std::size_t p = v.find(RecordMarker);
        if (p == std::string_view::npos || p + RecordHead > v.size()) {
            // No marker whose head lies wholly in view: move up to it, or to
            // the last bytes that could begin one.
            w_.advance(p == std::string_view::npos ? v.size() - (RecordMarker.size() - 1) : p);
            if (w_.position() - from > ScanSlice) return Step::Scanned;
            continue;
        }
        uint64_t marker = w_.position() + p;
        bool body = p >= 4 ? v.substr(p - 4, 4) == "AOLF" : false;
        std::string_view h = v.substr(p);
        bool record = !body && h.size() >= RecordHead && h[8] == 1 && h[10] == 2 && h[13] == 2 && h[15] == 2;
        if (!record) {
            w_.advance(p + 1);
            if (w_.position() - from > ScanSlice) return Step::Scanned;
            continue;
        }
        uint64_t after = marker + 1;
        if (!stageRecord(c, marker)) {
            clearQueue();
            w_.seek(after);
            continue;
        }
        if (w_.position() < after) w_.seek(after);
        return Step::Message;
    }
}

}  // namespace quill

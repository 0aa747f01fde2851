#include "import/Dates.h"

#include <array>
#include <cstdio>

#include "database/Calendar.h"

namespace quill {

namespace {

struct MonthName {
    std::string_view name;
    int month;
};

// Every three-character month name the readers meet: English and, where they
// differ, German, each in capitals and with a capital initial. The umlauts are
// Windows-1252 bytes (0xC4 capital A diaeresis, 0xE4 small a diaeresis).
constexpr std::array<MonthName, 32> kMonthNames{{
    {"JAN", 1},  {"Jan", 1},
    {"FEB", 2},  {"Feb", 2},
    {"MAR", 3},  {"M\xC4R", 3}, {"Mar", 3}, {"M\xE4r", 3},
    {"APR", 4},  {"Apr", 4},
    {"MAY", 5},  {"MAI", 5},    {"May", 5}, {"Mai", 5},
    {"JUN", 6},  {"Jun", 6},
    {"JUL", 7},  {"Jul", 7},
    {"AUG", 8},  {"Aug", 8},
    {"SEP", 9},  {"Sep", 9},
    {"OCT", 10}, {"OKT", 10},   {"Oct", 10}, {"Okt", 10},
    {"NOV", 11}, {"Nov", 11},
    {"DEC", 12}, {"DEZ", 12},   {"Dec", 12}, {"Dez", 12},
}};

constexpr std::array<std::string_view, 12> kEnglishNames{
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Reads the run of digits at s[pos] into out; false unless the run has
// between minDigits and maxDigits digits. digits receives the run's length.
bool readNumber(std::string_view s, std::size_t& pos, std::size_t minDigits,
                std::size_t maxDigits, int& out, std::size_t* digits = nullptr) {
    const std::size_t start = pos;
    int v = 0;
    while (pos < s.size() && isDigit(s[pos])) {
        if (pos - start == maxDigits) return false;
        v = v * 10 + (s[pos] - '0');
        ++pos;
    }
    if (pos - start < minDigits) return false;
    out = v;
    if (digits) *digits = pos - start;
    return true;
}

bool expectChar(std::string_view s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

// v written in decimal with at least width digits ("%0*d").
std::string padded(int v, int width) {
    char buf[24];
    int n = std::snprintf(buf, sizeof buf, "%0*d", width, v);
    return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
}

// Last year that a two-digit year text gives back through centuryYear.
constexpr int kLastTwoDigitYear = 2069;

}  // namespace

int centuryYear(int yy) {
    if (yy >= 0 && yy <= 69) return 2000 + yy;
    if (yy >= 70 && yy <= 99) return 1900 + yy;
    return yy;
}

int monthFromName(std::string_view name) {
    if (name.size() != 3) return 0;
    for (const MonthName& m : kMonthNames)
        if (m.name == name) return m.month;
    return 0;
}

int englishMonthFromName(std::string_view name) {
    for (std::size_t i = 0; i < kEnglishNames.size(); ++i)
        if (kEnglishNames[i] == name) return int(i) + 1;
    return 0;
}

std::string_view englishMonthName(int month) {
    if (month < 1 || month > 12) return {};
    return kEnglishNames[std::size_t(month - 1)];
}

DayNumber MonthNameDate(int day, int year, std::string_view monthName) {
    const int month = monthFromName(monthName);
    if (month == 0) return 0;
    return dateFromYmd(centuryYear(year), month, day);
}

TimeValue timeFromT4(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::size_t pos = 0;
    int h, m, sec;
    if (!readNumber(s, pos, 1, 2, h) || !expectChar(s, pos, ':') ||
        !readNumber(s, pos, 2, 2, m) || !expectChar(s, pos, ':') ||
        !readNumber(s, pos, 2, 2, sec) || pos != s.size())
        return 0;
    return timeFromHms(h, m, sec);
}

TimeValue timeFromT1(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::size_t pos = 0;
    int h, m;
    if (!readNumber(s, pos, 1, 2, h) || !expectChar(s, pos, ':') ||
        !readNumber(s, pos, 2, 2, m) || pos != s.size())
        return 0;
    return timeFromHms(h, m, 0);
}

DayNumber dateFromD5Dash(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::size_t pos = 0, yearDigits = 0;
    int d, m, y;
    if (!readNumber(s, pos, 1, 2, d) || !expectChar(s, pos, '-') ||
        !readNumber(s, pos, 1, 2, m) || !expectChar(s, pos, '-') ||
        !readNumber(s, pos, 2, 4, y, &yearDigits) || pos != s.size())
        return 0;
    if (yearDigits == 2)
        y = centuryYear(y);
    else if (yearDigits != 4)
        return 0;
    return dateFromYmd(y, m, d);
}

DayNumber dateFromD12(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    if (s.size() != 8) return 0;
    for (char c : s)
        if (!isDigit(c)) return 0;
    auto num = [&](std::size_t from, std::size_t len) {
        int v = 0;
        for (std::size_t i = from; i < from + len; ++i) v = v * 10 + (s[i] - '0');
        return v;
    };
    return dateFromYmd(num(0, 4), num(4, 2), num(6, 2));
}

std::string timeTextT4(int hours, int minutes, int seconds) {
    return padded(hours, 2) + ':' + padded(minutes, 2) + ':' + padded(seconds, 2);
}

std::string dateTextD12(int year, int month, int day) {
    return padded(year, 4) + padded(month, 2) + padded(day, 2);
}

DateTime DayMonYearDate(std::string_view dateText, std::string_view timeText) {
    DateTime r;
    r.time = timeFromT4(timeText);

    // Positions count from the text's start, so only trailing blanks go.
    std::string_view s = dateText;
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    if (s.size() != 9 && s.size() != 11) return r;
    const int month = englishMonthFromName(s.substr(3, 3));
    if (month == 0) return r;  // the month characters stay unreadable
    std::string numeric;
    numeric.reserve(s.size());
    numeric.append(s.substr(0, 3));
    numeric.push_back(char('0' + month / 10));
    numeric.push_back(char('0' + month % 10));
    numeric.append(s.substr(6));
    r.date = dateFromD5Dash(numeric);
    return r;
}

std::string byteDateText(unsigned char day, unsigned char month, unsigned char yearFrom1970) {
    const int year = 1970 + yearFrom1970;
    std::string text = padded(day, 2);
    text.push_back('-');
    text.append(englishMonthName(month));
    text.push_back('-');
    // Two digits cover 1970 to 2069 exactly under centuryYear; later years
    // keep all four so that they are not read back a century early.
    if (year <= kLastTwoDigitYear)
        text.append(padded(year % 100, 2));
    else
        text.append(padded(year, 4));
    return text;
}

std::string byteDateAfterFourText(unsigned char day, unsigned char month,
                                  unsigned char yearFrom1970) {
    return dateTextD12(1970 + yearFrom1970, month, day);
}

std::string byteTimeText(unsigned char seconds, unsigned char minutes, unsigned char hours) {
    return timeTextT4(hours, minutes, seconds);
}

DayNumber PackedDate(uint16_t word) {
    const int day = word & 31;
    const int month = (word >> 5) & 15;
    const int year = (word >> 9) + 1970;
    return dateFromYmd(year, month, day);
}

TimeValue PackedTime(uint16_t word) {
    const int seconds = (word & 31) * 2;
    const int minutes = (word >> 5) & 63;
    const int hours = word >> 11;
    return timeFromHms(hours, minutes, seconds);
}

}  // namespace quill

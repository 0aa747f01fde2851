#include "database/Calendar.h"

#include <cstdio>
#include <ctime>

namespace quill {

namespace {
// Days from 1970-01-01 of a civil date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
void civilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yy + (m <= 2));
}
// Day number 0 is 28 December 1800.
const long long kBase = daysFromCivil(1800, 12, 28);
}  // namespace

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12) return 0;
    return m == 2 && isLeapYear(y) ? 29 : len[m - 1];
}

DayNumber dateFromYmd(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return 0;
    long long n = daysFromCivil(year, unsigned(month), unsigned(day)) - kBase;
    if (n < 1 || n > 0x7FFFFFFF) return 0;
    return DayNumber(n);
}

Ymd ymdFromDate(DayNumber date) {
    Ymd r;
    if (date <= 0) return r;
    civilFromDays(kBase + date, r.year, r.month, r.day);
    return r;
}

TimeValue timeFromHms(int hour, int minute, int second, int hundredths) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        hundredths < 0 || hundredths > 99)
        return 0;
    return ((hour * 60 + minute) * 60 + second) * 100 + hundredths + 1;
}

Hms hmsFromTime(TimeValue t) {
    Hms r;
    if (t <= 0) return r;
    int v = t - 1;
    r.hundredths = v % 100;
    v /= 100;
    r.second = v % 60;
    v /= 60;
    r.minute = v % 60;
    r.hour = (v / 60) % 24;
    return r;
}

DayNumber today() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return dateFromYmd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

TimeValue clockNow() {
    std::timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    return timeFromHms(tm.tm_hour, tm.tm_min, tm.tm_sec, int(ts.tv_nsec / 10000000));
}

std::string isoDate(DayNumber date) {
    if (date <= 0) return {};
    Ymd d = ymdFromDate(date);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string isoTime(TimeValue time) {
    if (time <= 0) return {};
    Hms h = hmsFromTime(time);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h.hour, h.minute, h.second);
    return buf;
}

}  // namespace quill

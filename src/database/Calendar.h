// Conversions between day numbers / time values and calendar fields, and the
// current date and time in those units.
#pragma once

#include "database/Types.h"

namespace quill {

struct Ymd {
    int year = 0, month = 0, day = 0;
};
struct Hms {
    int hour = 0, minute = 0, second = 0, hundredths = 0;
};

// Day number of a calendar date (proleptic Gregorian), or 0 when the date does
// not exist (month 13, 30 February, a day before 28 December 1800).
DayNumber dateFromYmd(int year, int month, int day);
// Calendar date of a day number; {0,0,0} for 0 or a negative number.
Ymd ymdFromDate(DayNumber date);
// Time value (hundredths since midnight plus one), or 0 when out of range.
TimeValue timeFromHms(int hour, int minute, int second, int hundredths = 0);
Hms hmsFromTime(TimeValue time);
bool isLeapYear(int year);
int daysInMonth(int year, int month);

DayNumber today();
TimeValue clockNow();

// "YYYY-MM-DD" and "HH:MM:SS", or empty for 0.
std::string isoDate(DayNumber date);
std::string isoTime(TimeValue time);

}  // namespace quill

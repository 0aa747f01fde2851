// The calendar rules beneath every stored date: which years are leap years,
// and the day numbers on either side of 29 February.
#include <gtest/gtest.h>

#include "database/Calendar.h"

using namespace quill;

namespace {

TEST(LeapYear, EveryFourthYearExceptCenturiesNotDivisibleBy400) {
    const struct {
        int year;
        bool leap;
    } cases[] = {{2000, true}, {1900, false}, {2100, false}, {2400, true}, {2024, true},
                 {2023, false}, {1804, true}, {2200, false}, {2300, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.year);
        EXPECT_EQ(isLeapYear(c.year), c.leap);
        EXPECT_EQ(daysInMonth(c.year, 2), c.leap ? 29 : 28);
        EXPECT_EQ(dateFromYmd(c.year, 2, 29) != 0, c.leap) << "29 February";
        EXPECT_NE(dateFromYmd(c.year, 2, 28), 0);
        // 1 March follows the last day of February.
        DayNumber last = dateFromYmd(c.year, 2, c.leap ? 29 : 28);
        EXPECT_EQ(dateFromYmd(c.year, 3, 1), last + 1);
    }
}

// Day 4 is 1 January 1801; the day numbers of the archive's dates never
// move, whatever the calendar code beneath them.
TEST(DayNumber, DatesAroundTheCenturyFebruariesHaveFixedNumbers) {
    const struct {
        int year, month, day;
        DayNumber number;
    } cases[] = {
        {1801, 1, 1, 4},          {1900, 2, 28, 36221},     {1900, 3, 1, 36222},     {2000, 1, 1, 72687},
        {2000, 2, 29, 72746},     {2000, 3, 1, 72747},      {2100, 2, 28, 109270},   {2100, 3, 1, 109271},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        EXPECT_EQ(dateFromYmd(c.year, c.month, c.day), c.number);
        Ymd back = ymdFromDate(c.number);
        EXPECT_EQ(back.year, c.year);
        EXPECT_EQ(back.month, c.month);
        EXPECT_EQ(back.day, c.day);
    }
}

}  // namespace

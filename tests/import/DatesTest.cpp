#include "import/Dates.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "database/Calendar.h"

namespace quill {
namespace {

// Names by month as the readers meet them, Windows-1252 bytes for the umlauts.
const std::vector<std::vector<std::string>> kNamesByMonth = {
    {"JAN", "Jan"},
    {"FEB", "Feb"},
    {"MAR", "M\xC4R", "Mar", "M\xE4r"},
    {"APR", "Apr"},
    {"MAY", "MAI", "May", "Mai"},
    {"JUN", "Jun"},
    {"JUL", "Jul"},
    {"AUG", "Aug"},
    {"SEP", "Sep"},
    {"OCT", "OKT", "Oct", "Okt"},
    {"NOV", "Nov"},
    {"DEC", "DEZ", "Dec", "Dez"},
};

// ---------------------------------------------------------------------------

TEST(CenturyYear, TwoDigitYearsSplitAtSeventyOthersPassUnchanged) {
    struct Case { int in, out; };
    for (Case c : {Case{0, 2000}, {69, 2069}, {70, 1970}, {99, 1999}, {100, 100}, {1801, 1801},
                   {2024, 2024}, {-1, -1}})
        EXPECT_EQ(centuryYear(c.in), c.out) << c.in;
}

// ---------------------------------------------------------------------------

TEST(MonthFromName, EveryEnglishAndGermanNameGivesItsMonth) {
    for (int m = 1; m <= 12; ++m)
        for (const std::string& name : kNamesByMonth[m - 1])
            EXPECT_EQ(monthFromName(name), m) << name;
}

TEST(MonthFromName, ComparesExactlyAndRejectsOtherSpellings) {
    for (const char* name : {"mar", "mAR", "MAr", "m\xE4r", "M\xE4R", "okt", "dez", "Mrz", "JANUARY",
                             "Ja", "", "Jan ", " Jan", "Sept", "XYZ", "\xC4\xC4\xC4"})
        EXPECT_EQ(monthFromName(name), 0) << name;
}

TEST(EnglishMonthFromName, TakesOnlyCapitalInitialEnglishNames) {
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(englishMonthFromName(englishMonthName(m)), m);
    }
    for (const char* name : {"MAR", "M\xE4r", "Mai", "Okt", "Dez", "jan", ""})
        EXPECT_EQ(englishMonthFromName(name), 0) << name;
    EXPECT_EQ(englishMonthName(0), "");
    EXPECT_EQ(englishMonthName(13), "");
}

// ---------------------------------------------------------------------------

TEST(MonthNameDate, GermanNamesGiveTheirDates) {
    EXPECT_EQ(MonthNameDate(5, 96, "M\xE4r"), dateFromYmd(1996, 3, 5));
    EXPECT_EQ(MonthNameDate(5, 96, "M\xC4R"), dateFromYmd(1996, 3, 5));
    EXPECT_EQ(MonthNameDate(1, 2, "Mai"), dateFromYmd(2002, 5, 1));
    EXPECT_EQ(MonthNameDate(3, 89, "Okt"), dateFromYmd(1989, 10, 3));
    EXPECT_EQ(MonthNameDate(24, 99, "Dez"), dateFromYmd(1999, 12, 24));
}

TEST(MonthNameDate, UnknownNameGivesNoDate) {
    EXPECT_EQ(MonthNameDate(5, 96, "mar"), 0);
    EXPECT_EQ(MonthNameDate(5, 96, "   "), 0);
    EXPECT_EQ(MonthNameDate(5, 96, ""), 0);
}

TEST(MonthNameDate, DateThatDoesNotExistGivesNoDate) {
    EXPECT_EQ(MonthNameDate(29, 1900, "FEB"), 0);  // 1900 is no leap year
    EXPECT_EQ(MonthNameDate(29, 0, "FEB"), dateFromYmd(2000, 2, 29));
    EXPECT_EQ(MonthNameDate(31, 96, "APR"), 0);
    EXPECT_EQ(MonthNameDate(0, 96, "APR"), 0);
    EXPECT_EQ(MonthNameDate(-3, 96, "APR"), 0);
    EXPECT_EQ(MonthNameDate(1, -5, "APR"), 0);
}

TEST(MonthNameDate, CountsFromTheEighteenHundredsBase) {
    EXPECT_EQ(MonthNameDate(28, 1800, "Dec"), 0);  // day number 0 means no date
    EXPECT_EQ(MonthNameDate(29, 1800, "Dec"), 1);
    EXPECT_EQ(MonthNameDate(1, 1801, "JAN"), 4);
}

// ---------------------------------------------------------------------------

struct TimeCase {
    const char* text;
    int h, m, s;
};

TEST(TimeFromT4, ReadsHoursMinutesSeconds) {
    for (TimeCase c : {TimeCase{"14:30:07", 14, 30, 7}, {"00:00:00", 0, 0, 0},
                       {"23:59:59", 23, 59, 59}, {"9:05:00", 9, 5, 0}, {"  09:05:00  ", 9, 5, 0}})
        EXPECT_EQ(timeFromT4(c.text), timeFromHms(c.h, c.m, c.s)) << c.text;
    for (const char* bad : {"24:00:00", "12:60:00", "12:00:60", "12:30", "12:3:00", "123:00:00",
                            "12:30:07 GMT", "12-30-07", "ab:cd:ef", ""})
        EXPECT_EQ(timeFromT4(bad), 0) << bad;
}

TEST(TimeFromT1, ReadsHoursAndMinutesOnly) {
    for (TimeCase c : {TimeCase{"14:30", 14, 30, 0}, {"00:00", 0, 0, 0}, {"7:45 ", 7, 45, 0}})
        EXPECT_EQ(timeFromT1(c.text), timeFromHms(c.h, c.m, c.s)) << c.text;
    for (const char* bad : {"14:30:07", "24:00", "14:5", "1430", ""})
        EXPECT_EQ(timeFromT1(bad), 0) << bad;
}

struct DateCase {
    const char* text;
    int y, m, d;
};

TEST(DateFromD5Dash, ReadsDayMonthYearWithHyphens) {
    for (DateCase c : {DateCase{"05-03-96", 1996, 3, 5}, {"31-12-69", 2069, 12, 31},
                       {"01-01-70", 1970, 1, 1}, {"29-02-00", 2000, 2, 29}, {"5-3-96", 1996, 3, 5},
                       {" 05-03-96 ", 1996, 3, 5}, {"05-03-2100", 2100, 3, 5}})
        EXPECT_EQ(dateFromD5Dash(c.text), dateFromYmd(c.y, c.m, c.d)) << c.text;
    for (const char* bad : {"29-02-2100", "05-13-96", "00-03-96", "05-  -96", "05-03-6", "05-03-196",
                            "05/03/96", "05-03-96x", ""})
        EXPECT_EQ(dateFromD5Dash(bad), 0) << bad;
}

TEST(DateFromD12, ReadsEightDigitsYearMonthDay) {
    for (DateCase c : {DateCase{"19960305", 1996, 3, 5}, {"18010101", 1801, 1, 1},
                       {"20000229", 2000, 2, 29}})
        EXPECT_EQ(dateFromD12(c.text), dateFromYmd(c.y, c.m, c.d)) << c.text;
    for (const char* bad : {"19000229", "1996035", "199603050", "1996-3-5", "19961305", ""})
        EXPECT_EQ(dateFromD12(bad), 0) << bad;
}

// ---------------------------------------------------------------------------

TEST(DayMonYearDate, ReadsDayEnglishMonthNameTwoDigitYearAndTime) {
    DateTime dt = DayMonYearDate("05-Mar-96", "14:30:07");
    EXPECT_EQ(dt.date, dateFromYmd(1996, 3, 5));
    EXPECT_EQ(dt.time, timeFromHms(14, 30, 7));
    EXPECT_EQ(DayMonYearDate("31-Dec-69", "").date, dateFromYmd(2069, 12, 31));
    EXPECT_EQ(DayMonYearDate("05-Mar-2100", "").date, dateFromYmd(2100, 3, 5));
    EXPECT_EQ(DayMonYearDate(" 5-Mar-96  ", "").date, dateFromYmd(1996, 3, 5));
}

TEST(DayMonYearDate, GermanOrCapitalNameLeavesDateUnreadableButTimeRead) {
    for (const char* text : {"05-M\xE4r-96", "05-MAR-96", "05-Okt-96", "05-mar-96", "05--96"}) {
        DateTime dt = DayMonYearDate(text, "14:30:07");
        EXPECT_EQ(dt.date, 0) << text;
        EXPECT_EQ(dt.time, timeFromHms(14, 30, 7)) << text;
    }
}

TEST(DayMonYearDate, MalformedTextsGiveNoDate) {
    for (const char* text : {"", "05-Mar-9", "5-Mar-96", "123-Mar-96", "05-Mar-96x", "05 Mar 96",
                             "xx-Mar-96", "30-Feb-96"})
        EXPECT_EQ(DayMonYearDate(text, "").date, 0) << text;
    EXPECT_EQ(DayMonYearDate("05-Mar-96", "nonsense").time, 0);
}

// ---------------------------------------------------------------------------

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(char(v));
    return s;
}

TEST(ByteDate, DayMonthYearBytesGiveDayMonYearText) {
    const std::string rec = bytes({5, 3, 26});
    ByteCursor cur(rec);
    auto text = ByteDate(cur);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "05-Mar-96");
    EXPECT_EQ(DayMonYearDate(*text, "").date, dateFromYmd(1996, 3, 5));
    EXPECT_EQ(cur.position(), 3u);
}

TEST(ByteDate, InvalidMonthHasNoNameAndYearsPast2069KeepFourDigits) {
    EXPECT_EQ(byteDateText(5, 13, 26), "05--96");  // an invalid month has no name
    EXPECT_EQ(byteDateText(31, 12, 99), "31-Dec-69");
    EXPECT_EQ(byteDateText(1, 1, 100), "01-Jan-2070");
    EXPECT_EQ(DayMonYearDate(byteDateText(1, 1, 100), "").date, dateFromYmd(2070, 1, 1));
}

TEST(ByteTime, SecondsMinutesHoursBytesGiveT4Text) {
    const std::string rec = bytes({7, 30, 14});
    ByteCursor cur(rec);
    auto text = ByteTime(cur);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "14:30:07");
    EXPECT_EQ(timeFromT4(*text), timeFromHms(14, 30, 7));
}

TEST(ByteTime, OutOfRangeBytesGiveNoTime) {
    EXPECT_EQ(timeFromT4(byteTimeText(60, 0, 0)), 0);
    EXPECT_EQ(timeFromT4(byteTimeText(0, 60, 0)), 0);
    EXPECT_EQ(timeFromT4(byteTimeText(0, 0, 24)), 0);
    EXPECT_EQ(timeFromT4(byteTimeText(255, 255, 255)), 0);
}

TEST(ByteDateAfterFour, SkipsFourBytesThenGivesD12Text) {
    const std::string rec = bytes({0xAA, 0xBB, 0xCC, 0xDD, 5, 3, 26, 0x77});
    ByteCursor cur(rec);
    auto text = ByteDateAfterFour(cur);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "19960305");
    EXPECT_EQ(dateFromD12(*text), dateFromYmd(1996, 3, 5));
    EXPECT_EQ(cur.position(), 7u);
    EXPECT_EQ(dateFromD12(byteDateAfterFourText(31, 4, 26)), 0);
}

TEST(ByteCursor, ReadingPastTheRecordEndsIt) {
    const std::string rec = bytes({1, 2, 3, 4, 5, 3});
    ByteCursor cur(rec, 4);
    EXPECT_FALSE(ByteDate(cur).has_value());
    EXPECT_TRUE(cur.ended());
    ByteCursor whole(rec);
    EXPECT_FALSE(ByteDateAfterFour(whole).has_value());
    unsigned char b;
    EXPECT_FALSE(whole.readByte(b));  // once ended, the record stays ended
    ByteCursor skipping(rec);
    EXPECT_FALSE(skipping.skip(7));
    EXPECT_EQ(skipping.remaining(), 0u);
    ByteCursor beyond(rec, 99);
    EXPECT_FALSE(ByteTime(beyond).has_value());
}

// ---------------------------------------------------------------------------

uint16_t packDate(int year, int month, int day) {
    return static_cast<uint16_t>(((year - 1970) << 9) | (month << 5) | day);
}

TEST(PackedDate, TopSevenBitsCountYearsFrom1970) {
    EXPECT_EQ(ymdFromDate(PackedDate(packDate(1996, 3, 5))).year, 1996);
    EXPECT_EQ(PackedDate(static_cast<uint16_t>((26 << 9) | (3 << 5) | 5)), dateFromYmd(1996, 3, 5));
    EXPECT_EQ(PackedDate(packDate(2097, 12, 31)), dateFromYmd(2097, 12, 31));
}

TEST(PackedDate, ZeroOrInvalidFieldsGiveNoDate) {
    EXPECT_EQ(PackedDate(0), 0);                       // day 0, month 0
    EXPECT_EQ(PackedDate(packDate(1996, 0, 5)), 0);    // month 0
    EXPECT_EQ(PackedDate(packDate(1996, 13, 5)), 0);   // month 13
    EXPECT_EQ(PackedDate(packDate(1996, 3, 0)), 0);    // day 0
    EXPECT_EQ(PackedDate(packDate(1997, 2, 29)), 0);   // no leap year
}

TEST(PackedTime, FieldsGiveHoursMinutesAndDoubledSeconds) {
    EXPECT_EQ(PackedTime(static_cast<uint16_t>((14 << 11) | (30 << 5) | 3)), timeFromHms(14, 30, 6));
    EXPECT_EQ(PackedTime(0), timeFromHms(0, 0, 0));
    EXPECT_EQ(PackedTime(static_cast<uint16_t>((24 << 11))), 0);
    EXPECT_EQ(PackedTime(static_cast<uint16_t>((10 << 11) | (60 << 5))), 0);
    EXPECT_EQ(PackedTime(static_cast<uint16_t>((10 << 11) | 30)), 0);  // 60 seconds
    EXPECT_EQ(PackedTime(0xFFFF), 0);
}

// ---------------------------------------------------------------------------
// Round trips: every date each form can express comes back as the date it
// names, day by day over the whole range of the form.

TEST(DateRoundTrip, MonthNameRuleGivesBackEveryDayFromTheBase) {
    const DayNumber last = dateFromYmd(2300, 12, 31);
    ASSERT_GT(last, 0);
    for (DayNumber n = 1; n <= last; ++n) {
        const Ymd d = ymdFromDate(n);
        for (const std::string& name : kNamesByMonth[d.month - 1]) {
            ASSERT_EQ(MonthNameDate(d.day, d.year, name), n) << d.year << '-' << name << '-' << d.day;
            if (d.year >= 1970 && d.year <= 2069) {
                ASSERT_EQ(MonthNameDate(d.day, d.year % 100, name), n) << d.year << name << d.day;
            }
        }
    }
}

TEST(DateRoundTrip, ByteDateGivesBackEveryDayOfItsRange) {
    const DayNumber first = dateFromYmd(1970, 1, 1);
    const DayNumber last = dateFromYmd(1970 + 255, 12, 31);
    for (DayNumber n = first; n <= last; ++n) {
        const Ymd d = ymdFromDate(n);
        const std::string rec = bytes({d.day, d.month, d.year - 1970, 0, 0, 0, 0});
        ByteCursor cur(rec);
        auto text = ByteDate(cur);
        ASSERT_TRUE(text.has_value());
        ASSERT_EQ(DayMonYearDate(*text, "").date, n) << *text;

        const std::string rec7 = bytes({9, 9, 9, 9, d.day, d.month, d.year - 1970});
        ByteCursor cur7(rec7);
        auto text7 = ByteDateAfterFour(cur7);
        ASSERT_TRUE(text7.has_value());
        ASSERT_EQ(dateFromD12(*text7), n) << *text7;
    }
}

TEST(DateRoundTrip, ByteDateNeverMakesUpADateFromImpossibleFields) {
    for (int y = 0; y <= 255; ++y)
        for (int m = 0; m <= 15; ++m)
            for (int day = 0; day <= 40; ++day) {
                const auto ub = [](int v) { return static_cast<unsigned char>(v); };
                const DayNumber want = dateFromYmd(1970 + y, m, day);
                ASSERT_EQ(DayMonYearDate(byteDateText(ub(day), ub(m), ub(y)), "").date, want)
                    << y << ' ' << m << ' ' << day;
                ASSERT_EQ(dateFromD12(byteDateAfterFourText(ub(day), ub(m), ub(y))), want);
            }
}

TEST(DateRoundTrip, PackedDateGivesBackEveryWord) {
    for (int w = 0; w <= 0xFFFF; ++w) {
        const int day = w & 31, month = (w >> 5) & 15, year = 1970 + (w >> 9);
        const DayNumber n = PackedDate(static_cast<uint16_t>(w));
        ASSERT_EQ(n, dateFromYmd(year, month, day)) << w;
        if (n != 0) {
            const Ymd d = ymdFromDate(n);
            ASSERT_EQ(packDate(d.year, d.month, d.day), w);
        }
    }
}

TEST(TimeRoundTrip, ByteTimeAndPackedTimeGiveBackEverySecond) {
    for (int h = 0; h < 24; ++h)
        for (int m = 0; m < 60; ++m)
            for (int s = 0; s < 60; ++s) {
                const TimeValue want = timeFromHms(h, m, s);
                const std::string rec = bytes({s, m, h});
                ByteCursor cur(rec);
                auto text = ByteTime(cur);
                ASSERT_TRUE(text.has_value());
                ASSERT_EQ(timeFromT4(*text), want) << *text;
                if (s % 2 == 0) {
                    ASSERT_EQ(PackedTime(static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2))), want);
                }
                char t1[6] = {char('0' + h / 10), char('0' + h % 10), ':', char('0' + m / 10),
                              char('0' + m % 10), 0};
                ASSERT_EQ(timeFromT1(t1), timeFromHms(h, m, 0));
            }
}

// ---------------------------------------------------------------------------

TEST(DateParsers, ArbitraryTextNeverCrashesNorGivesNegativeValues) {
    std::mt19937 rng(1996);
    const std::string alphabet = "0123456789-: aMrJnDecz\xE4\xC4\t";
    for (int i = 0; i < 20000; ++i) {
        std::string s(rng() % 14, ' ');
        for (char& c : s) c = alphabet[rng() % alphabet.size()];
        const TimeValue t4 = timeFromT4(s), t1 = timeFromT1(s);
        const DayNumber d5 = dateFromD5Dash(s), d12 = dateFromD12(s);
        const DateTime dmy = DayMonYearDate(s, s);
        const DayNumber mn = MonthNameDate(int(rng() % 40), int(rng() % 3000), s.substr(0, 3));
        for (int32_t v : {t4, t1, d5, d12, dmy.date, dmy.time, mn}) ASSERT_GE(v, 0) << s;
    }
}

}  // namespace
}  // namespace quill

// Dates and times of imported messages: every reader turns the date and time
// its source writes (month-name texts, numeric date texts, byte-coded and
// packed fields) into the day number and time value of the staging record.
//
// Day numbers count days since 28 December 1800 (0 = no date); time values are
// hundredths of a second since midnight plus one (0 = no time). Every function
// here gives 0 for input it cannot read; none of them ever guesses a date.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "database/Types.h"

namespace quill {

// ---------------------------------------------------------------------------
// Two-digit years

// The one century rule for two-digit years: 70 to 99 are 1970 to 1999, 00 to
// 69 are 2000 to 2069. Any other value (a four-digit year, a negative number)
// is returned unchanged.
int centuryYear(int yy);

// ---------------------------------------------------------------------------
// Month names

// Month number (1-12) of a three-character month name, compared exactly
// (case-sensitive) with the English and German names in capitals or with a
// capital initial ("MAR", "Mär", "OKT", "Dez" ...); 0 for any other text.
int monthFromName(std::string_view name);
// Month number of an English capital-initial name ("Jan" .. "Dec"); 0 else.
int englishMonthFromName(std::string_view name);
// "Jan" .. "Dec" for 1 .. 12; empty for any other month.
std::string_view englishMonthName(int month);

// Day number from a day, a year (two digits go through centuryYear) and a
// three-character month name (monthFromName). An unknown name or a date that
// does not exist gives 0.
DayNumber MonthNameDate(int day, int year, std::string_view monthName);

// ---------------------------------------------------------------------------
// Time and date pictures. Surrounding blanks are ignored; anything else that
// does not fit the picture gives 0.

// T4: "hh:mm:ss" (a one-digit hour is accepted too).
TimeValue timeFromT4(std::string_view text);
// T1: "hh:mm" (a one-digit hour is accepted too); seconds are 0.
TimeValue timeFromT1(std::string_view text);
// "D5-": "dd-mm-yy", day, month and year separated by hyphens. Day and month
// may have one digit; a two-digit year goes through centuryYear, a four-digit
// year is taken as it stands.
DayNumber dateFromD5Dash(std::string_view text);
// D12: "yyyymmdd", exactly eight digits.
DayNumber dateFromD12(std::string_view text);

// The T4 text of hours, minutes and seconds ("14:30:07"); each field as at
// least two digits, so out-of-range fields give a text T4 does not read.
std::string timeTextT4(int hours, int minutes, int seconds);
// The D12 text of a year, month and day ("19960305"), with the same rule.
std::string dateTextD12(int year, int month, int day);

// ---------------------------------------------------------------------------
// Day-month-name-year texts

struct DateTime {
    DayNumber date = 0;
    TimeValue time = 0;
};

// Date from "dd-Mon-yy" (nine characters: the day and its separator, an
// English capital-initial month name, the separator and a two-digit year),
// read as "D5-" once the name is replaced by its number; "dd-Mon-yyyy" is
// read likewise. The time text is read with T4. Date and time are read
// independently: either may be 0 alone.
DateTime DayMonYearDate(std::string_view dateText, std::string_view timeText);

// ---------------------------------------------------------------------------
// Byte-coded fields of records in byte files

// Anything that hands out the bytes of a record one at a time; readByte
// returns false once the record is exhausted.
template <class S>
concept ByteSource = requires(S& s, unsigned char& b) {
    { s.readByte(b) } -> std::convertible_to<bool>;
};

// A ByteSource over one record held in memory. A read past the end fails and
// leaves the cursor ended: every later read fails too, so that the reading of
// that record stops.
class ByteCursor {
public:
    explicit ByteCursor(std::string_view record, std::size_t pos = 0)
        : bytes_(record), pos_(pos <= record.size() ? pos : record.size()) {}
    bool readByte(unsigned char& out) {
        if (ended_ || pos_ >= bytes_.size()) {
            ended_ = true;
            return false;
        }
        out = static_cast<unsigned char>(bytes_[pos_++]);
        return true;
    }
    // Passes over n bytes; false (and ended) when fewer remain.
    bool skip(std::size_t n) {
        if (ended_ || n > bytes_.size() - pos_) {
            ended_ = true;
            pos_ = bytes_.size();
            return false;
        }
        pos_ += n;
        return true;
    }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    bool ended() const { return ended_; }

private:
    std::string_view bytes_;
    std::size_t pos_;
    bool ended_ = false;
};

// Texts of the byte forms, from the bytes as read.
// Day, month, year - 1970 -> "dd-Mon-yy" (an invalid month gives an empty
// name). A year the two digits and centuryYear cannot give back (2070 and
// later) is written with four digits, so that it never reads as another date.
std::string byteDateText(unsigned char day, unsigned char month, unsigned char yearFrom1970);
// Day, month, year - 1970 -> D12 text "yyyymmdd".
std::string byteDateAfterFourText(unsigned char day, unsigned char month,
                                  unsigned char yearFrom1970);
// Seconds, minutes, hours -> T4 text "hh:mm:ss".
std::string byteTimeText(unsigned char seconds, unsigned char minutes, unsigned char hours);

// Three bytes day, month, year - 1970, as a text for DayMonYearDate; nothing
// when the record ends first.
template <ByteSource S>
std::optional<std::string> ByteDate(S& source) {
    unsigned char d, m, y;
    if (!source.readByte(d) || !source.readByte(m) || !source.readByte(y)) return std::nullopt;
    return byteDateText(d, m, y);
}

// Four bytes passed over, then day, month, year - 1970, as a D12 text for
// dateFromD12; nothing when the record ends first.
template <ByteSource S>
std::optional<std::string> ByteDateAfterFour(S& source) {
    unsigned char b;
    for (int i = 0; i < 4; ++i)
        if (!source.readByte(b)) return std::nullopt;
    unsigned char d, m, y;
    if (!source.readByte(d) || !source.readByte(m) || !source.readByte(y)) return std::nullopt;
    return byteDateAfterFourText(d, m, y);
}

// Three bytes seconds, minutes, hours, as a T4 text; nothing when the record
// ends first.
template <ByteSource S>
std::optional<std::string> ByteTime(S& source) {
    unsigned char s, m, h;
    if (!source.readByte(s) || !source.readByte(m) || !source.readByte(h)) return std::nullopt;
    return byteTimeText(s, m, h);
}

// ---------------------------------------------------------------------------
// Packed 16-bit words (little-endian in the file; pass the word's value)

// Day = bits 0-4, month = bits 5-8, year = bits 9-15 + 1970.
DayNumber PackedDate(uint16_t word);
// Seconds / 2 = bits 0-4, minutes = bits 5-10, hours = bits 11-15.
TimeValue PackedTime(uint16_t word);

}  // namespace quill

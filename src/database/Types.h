// Field types of the record layouts: fixed-width, little-endian, byte-aligned
// values, so that a record struct is exactly its stored image (no padding) and
// can be copied to and from the store as one block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "database/Charset.h"

namespace quill {

// Unsigned 32-bit, stored little-endian, alignment 1.
struct ULong {
    unsigned char b[4];
    constexpr operator uint32_t() const {
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    constexpr ULong& operator=(uint32_t v) {
        b[0] = uint8_t(v); b[1] = uint8_t(v >> 8); b[2] = uint8_t(v >> 16); b[3] = uint8_t(v >> 24);
        return *this;
    }
    ULong& operator+=(uint32_t v) { return *this = uint32_t(*this) + v; }
    ULong& operator-=(uint32_t v) { return *this = uint32_t(*this) - v; }
    ULong& operator++() { return *this = uint32_t(*this) + 1; }
    ULong& operator--() { return *this = uint32_t(*this) - 1; }
};

// Signed 32-bit, stored little-endian, alignment 1.
struct Long {
    unsigned char b[4];
    constexpr operator int32_t() const {
        return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    }
    constexpr Long& operator=(int32_t sv) {
        uint32_t v = uint32_t(sv);
        b[0] = uint8_t(v); b[1] = uint8_t(v >> 8); b[2] = uint8_t(v >> 16); b[3] = uint8_t(v >> 24);
        return *this;
    }
    Long& operator+=(int32_t v) { return *this = int32_t(*this) + v; }
    Long& operator-=(int32_t v) { return *this = int32_t(*this) - v; }
    Long& operator++() { return *this = int32_t(*this) + 1; }
};

// Unsigned 8-bit.
struct Byte {
    unsigned char b;
    constexpr operator uint8_t() const { return b; }
    constexpr Byte& operator=(uint8_t v) { b = v; return *this; }
};

// Fixed-length text of N bytes, blank-padded on the right. The bytes are
// Windows-1252 and kept exactly as given; an all-blank value is empty and
// trailing blanks never count in comparisons.
template <std::size_t N>
struct FStr {
    char c[N];
    static constexpr std::size_t size() { return N; }

    // The value without its trailing blanks (and without trailing NULs, which
    // a record that was never cleared may hold).
    std::string str() const {
        std::size_t n = N;
        while (n > 0 && (c[n - 1] == ' ' || c[n - 1] == '\0')) --n;
        return std::string(c, n);
    }
    std::string_view view() const {
        std::size_t n = N;
        while (n > 0 && (c[n - 1] == ' ' || c[n - 1] == '\0')) --n;
        return std::string_view(c, n);
    }
    bool empty() const { return view().empty(); }
    // Assigning clips to N bytes and pads with blanks. The cut never falls
    // inside a character reference "&#NNNN;": the reference is left out whole.
    FStr& operator=(std::string_view s) {
        std::size_t n = referenceSafeLength(s, N);
        if (n) std::memcpy(c, s.data(), n);
        std::memset(c + n, ' ', N - n);
        return *this;
    }
    FStr& operator=(const char* s) { return *this = std::string_view(s); }
    FStr& operator=(const std::string& s) { return *this = std::string_view(s); }
    void clear() { std::memset(c, ' ', N); }
    bool operator==(std::string_view s) const {
        std::string_view v = view();
        while (!s.empty() && (s.back() == ' ')) s.remove_suffix(1);
        return v == s;
    }
    template <std::size_t M>
    bool operator==(const FStr<M>& o) const { return view() == o.view(); }
};

// A run of bytes that a layout addresses both as one string and as members.
template <std::size_t N>
using Group = FStr<N>;

// Windows-1252 upper case of one byte: ASCII letters, the accented letters of
// 0xE0..0xFE (but the division sign 0xF7), and the three letters that the
// code page places in 0x9A, 0x9C, 0x9E plus 0xFF (y diaeresis).
inline unsigned char upper1252(unsigned char ch) {
    if (ch >= 'a' && ch <= 'z') return ch - 32;
    if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7) return ch - 32;
    switch (ch) {
        case 0x9A: return 0x8A;
        case 0x9C: return 0x8C;
        case 0x9E: return 0x8E;
        case 0xFF: return 0x9F;
        default: return ch;
    }
}
inline unsigned char lower1252(unsigned char ch) {
    if (ch >= 'A' && ch <= 'Z') return ch + 32;
    if (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7) return ch + 32;
    switch (ch) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: return ch;
    }
}
inline std::string upper1252(std::string_view s) {
    std::string r(s);
    for (auto& ch : r) ch = char(upper1252(static_cast<unsigned char>(ch)));
    return r;
}
inline std::string lower1252(std::string_view s) {
    std::string r(s);
    for (auto& ch : r) ch = char(lower1252(static_cast<unsigned char>(ch)));
    return r;
}

// Dates are day numbers: days since 28 December 1800 (4 = 1 January 1801),
// 0 = no date. Times are hundredths of a second since midnight plus one
// (1 = 00:00:00.00), 0 = no time.
using DayNumber = int32_t;
using TimeValue = int32_t;

}  // namespace quill

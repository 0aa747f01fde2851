#include "database/Charset.h"

namespace quill {

namespace {
// Code points of 0x80..0x9F; 0 marks the five undefined bytes, which are
// passed through as the C1 control of the same number.
const uint16_t kHigh[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
                            0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

void putUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Reads one UTF-8 sequence at s[i]; gives its length (0 when the bytes there
// are not a well-formed sequence) and the character.
std::size_t readUtf8(std::string_view s, std::size_t i, uint32_t& cp) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len;
    uint32_t min;
    if (c < 0x80) { cp = c; return 1; }
    if (c >= 0xC2 && c <= 0xDF) { cp = c & 0x1F; len = 2; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { cp = c & 0x07; len = 4; min = 0x10000; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// A reference "&#NNNN;" or "&#xHHHH;" at s[i] ("&" there): its length and
// the character it names; 0 when there is none.
std::size_t readReference(std::string_view s, std::size_t i, uint32_t& cp) {
    std::size_t p = i + 1;
    if (p >= s.size() || s[p] != '#') return 0;
    ++p;
    const bool hex = p < s.size() && (s[p] == 'x' || s[p] == 'X');
    if (hex) ++p;
    const std::size_t digitsStart = p;
    uint32_t v = 0;
    while (p < s.size() && p - digitsStart < 8) {
        const char c = s[p];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) break;
        v = v * (hex ? 16 : 10) + uint32_t(d);
        ++p;
    }
    if (p == digitsStart || p >= s.size() || s[p] != ';') return 0;
    cp = v;
    return p + 1 - i;
}

bool showable(uint32_t cp) {
    if (cp == 9 || cp == 10 || cp == 13) return true;
    if (cp < 32 || cp == 127 || (cp >= 0x80 && cp < 0xA0)) return false;
    return cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}
}  // namespace

std::uint32_t cp1252CodePoint(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHigh[c - 0x80] ? kHigh[c - 0x80] : c;
    return c;
}

int cp1252ByteOf(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return int(cp);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] == cp) return 0x80 + k;
    return -1;
}

void appendArchiveChar(std::string& out, std::uint32_t cp) {
    if (cp == 0) return;
    // C1 controls come from bytes 0x80-0x9F mislabelled as ISO 8859-1: they
    // are Windows-1252 bytes.
    if (cp >= 0x80 && cp < 0xA0) {
        out.push_back(char(cp));
        return;
    }
    const int b = cp1252ByteOf(cp);
    if (b >= 0) {
        out.push_back(char(b));
        return;
    }
    out += "&#";
    out += std::to_string(cp);
    out += ';';
}

std::string cp1252ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '&') {
            uint32_t cp = 0;
            const std::size_t len = readReference(s, i, cp);
            if (len && showable(cp)) {
                putUtf8(out, cp);
                i += len - 1;
                continue;
            }
        }
        if (c < 0x80) out.push_back(char(c));
        else putUtf8(out, cp1252CodePoint(c));
    }
    return out;
}

std::string utf8ToCp1252(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        uint32_t cp = 0;
        const std::size_t len = readUtf8(s, i, cp);
        if (len == 0) {
            out.push_back(s[i]);
            ++i;
            continue;
        }
        appendArchiveChar(out, cp);
        i += len;
    }
    return out;
}

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        uint32_t cp;
        const std::size_t len = readUtf8(s, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::size_t referenceSafeLength(std::string_view s, std::size_t max) {
    if (s.size() <= max) return s.size();
    // A reference is at most "&#1114111;" (10 bytes) or "&#x10FFFF;".
    const std::size_t from = max >= 10 ? max - 10 : 0;
    for (std::size_t i = max; i-- > from;) {
        if (s[i] == ';') break;  // a reference that ends before the cut
        if (s[i] == '&') {
            uint32_t cp;
            const std::size_t len = readReference(s, i, cp);
            if (len && i + len > max) return i;
            break;
        }
    }
    return max;
}

}  // namespace quill

// RFC 2047 encoded words ("=?charset?encoding?text?=") in header fields and
// quoted-printable escapes ("=" and two hex digits) in bodies, decoded to
// Windows-1252.

#include "import/EncodedWords.h"

#include <array>
#include <string_view>

#include "import/Charsets.h"

namespace quill {

namespace {

// ISO 8859-2 bytes 160-255 in Windows-1252: the same byte where ISO 8859-1
// has the same character there, the Windows codes of S and s with caron,
// the base letter for every other letter, "?" for the lone marks (breve,
// ogonek, caron, double acute, dot above).
constexpr std::array<unsigned char, 96> Iso88592High = {
    160, 65,  63,  76,  164, 76,  83,  167, 168, 138, 83,  84,  90,  173, 90,  90,
    176, 97,  63,  108, 180, 108, 115, 63,  184, 154, 115, 116, 122, 63,  122, 122,
    82,  193, 194, 65,  196, 76,  67,  199, 67,  201, 69,  203, 69,  205, 206, 68,
    68,  78,  78,  211, 212, 79,  214, 215, 82,  85,  218, 85,  220, 221, 84,  223,
    114, 225, 226, 97,  228, 108, 99,  231, 99,  233, 101, 235, 101, 237, 238, 100,
    100, 110, 110, 243, 244, 111, 246, 247, 114, 117, 250, 117, 252, 253, 116, 63,
};

// Value of one hex digit in either case, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Value of one base64 digit (RFC 2045 alphabet), or -1.
int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

void clipTrailingBlanks(std::string& s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    s.resize(n);
}

void decodeBase64(std::string_view in, std::string& out) {
    unsigned bits = 0;
    int count = 0;
    for (char c : in) {
        if (c == '=') break;  // padding: the last group is complete
        int v = base64Value(c);
        if (v < 0) continue;  // white space and stray characters carry nothing
        bits = ((bits << 6) | unsigned(v)) & 0xFFFFFFu;
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += char((bits >> count) & 0xFF);
        }
    }
}

void decodeQ(std::string_view in, std::string& out) {
    for (std::size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '_') {
            out += ' ';
            continue;
        }
        if (c == '=' && i + 2 < in.size()) {
            // Inside an encoded word every "=" starts an escape, so any hex
            // pair is decoded (either case), not only those a body escape
            // accepts: "=3F" is the question mark the encoding cannot show.
            // This is a superset of DecodeQuotedHex; control characters are
            // blanked by the caller.
            int hi = hexValue(in[i + 1]);
            int lo = hexValue(in[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += c;
    }
}

}  // namespace

unsigned char mapIso88592(unsigned char c) {
    return c >= 160 ? Iso88592High[c - 160] : c;
}

char DecodeQuotedHex(char first, char second) {
    if (first == '3' && second == 'D') return '=';
    if ((first == '2' && second == '0') || (first == '0' && second == '9')) return ' ';
    if (first == '2' && second == 'C') return ',';
    static constexpr std::string_view High = "89ABCDEF";
    static constexpr std::string_view Digits = "0123456789ABCDEF";
    std::size_t hi = High.find(first);
    std::size_t lo = Digits.find(second);
    if (first == '\0' || second == '\0' || hi == std::string_view::npos || lo == std::string_view::npos) return 0;
    return char(0x80 + hi * 16 + lo);
}

namespace {

// One encoded word "=?charset?B|Q?text?=" at s[i] ("=?" there).
struct EncodedWord {
    std::size_t length = 0;  // 0: no encoded word here
    std::string_view charset;
    char encoding = 0;
    std::string_view text;
};

EncodedWord readWord(std::string_view s, std::size_t i) {
    EncodedWord w;
    const std::size_t q1 = s.find('?', i + 2);
    if (q1 == std::string_view::npos || q1 == i + 2 || q1 + 2 >= s.size() || s[q1 + 2] != '?') return w;
    const std::string_view charset = s.substr(i + 2, q1 - i - 2);
    for (char c : charset)
        if (c == ' ' || c == '\t' || c == '=') return w;
    const char encoding = asciiUpper(s[q1 + 1]);
    if (encoding != 'B' && encoding != 'Q') return w;
    // The word ends at the first "?=" after the encoding: an escape right at
    // the start of the text ("?Q?=E9...") must not be taken for the end.
    const std::size_t textStart = q1 + 3;
    const std::size_t end = s.find("?=", textStart);
    if (end == std::string_view::npos) return w;
    w.length = end + 2 - i;
    w.charset = charset;
    w.encoding = encoding;
    w.text = s.substr(textStart, end - textStart);
    return w;
}

bool onlyBlanks(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

// Decodes every encoded word of a header text. The bytes of adjacent words
// in one charset are joined before conversion, so a character split across
// two words stays whole; white space between two words is dropped (RFC
// 2047). Text outside the words is converted as undeclared text when
// convertPlain is set (raw UTF-8 in a header), else kept as it is.
std::string decodeWords(std::string_view s, bool convertPlain) {
    std::string out;
    std::string pending;          // decoded bytes not yet converted
    std::string pendingCharset;
    auto flushPending = [&] {
        if (pending.empty()) return;
        out += toArchiveText(pending, pendingCharset);
        pending.clear();
    };
    auto putPlain = [&](std::string_view t) {
        if (t.empty()) return;
        flushPending();
        out += convertPlain ? toArchiveText(t, {}) : std::string(t);
    };
    std::size_t plainFrom = 0;
    bool afterWord = false;
    std::size_t i = s.find("=?");
    while (i != std::string_view::npos) {
        const EncodedWord w = readWord(s, i);
        if (w.length == 0) {
            i = s.find("=?", i + 2);
            continue;
        }
        const std::string_view between = s.substr(plainFrom, i - plainFrom);
        if (!(afterWord && onlyBlanks(between))) putPlain(between);
        std::string bytes;
        if (w.encoding == 'B') decodeBase64(w.text, bytes);
        else decodeQ(w.text, bytes);
        std::string charset(w.charset);
        if (charset != pendingCharset) flushPending();
        pendingCharset = std::move(charset);
        pending += bytes;
        afterWord = true;
        plainFrom = i + w.length;
        i = s.find("=?", plainFrom);
    }
    putPlain(s.substr(plainFrom));
    flushPending();
    // A header field is one line: control characters become blanks.
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) c = ' ';
    }
    return out;
}

}  // namespace

void DecodeEncodedWord(std::string& field) {
    clipTrailingBlanks(field);
    if (field.find("=?") == std::string::npos) return;
    std::string result = decodeWords(field, false);
    clipTrailingBlanks(result);
    field = std::move(result);
}

std::string decodeHeaderText(std::string_view raw) {
    std::string result = decodeWords(raw, true);
    clipTrailingBlanks(result);
    return result;
}

}  // namespace quill

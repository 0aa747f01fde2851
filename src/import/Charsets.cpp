#include "import/Charsets.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "database/Charset.h"

namespace quill {

namespace {

std::string normalised(std::string_view name) {
    std::string s;
    for (char c : name) {
        if (c == '"' || c == '\'' || c == ' ' || c == '\t') continue;
        s.push_back((c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c);
    }
    // An RFC 2231 language suffix ("utf-8*en") is no part of the name.
    if (std::size_t star = s.find('*'); star != std::string::npos) s.resize(star);
    return s;
}

bool hasHighBytes(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// Undeclared text: UTF-8 when it is valid UTF-8, else Windows-1252.
std::string fromUndeclared(std::string_view bytes) {
    if (!hasHighBytes(bytes) || !isValidUtf8(bytes)) {
        std::string out(bytes);
        // NUL bytes never reach a stored text.
        std::erase(out, '\0');
        return out;
    }
    return utf8ToCp1252(bytes);
}

// Runs iconv from `from` into UTF-32LE and appends each character in archive
// form. False when iconv does not know the name.
bool convertWithIconv(std::string_view bytes, const std::string& from, std::string& out) {
    iconv_t cd = iconv_open("UTF-32LE", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char buffer[4096];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    auto drain = [&](std::size_t produced) {
        for (std::size_t k = 0; k + 4 <= produced; k += 4) {
            const auto* b = reinterpret_cast<const unsigned char*>(buffer + k);
            appendArchiveChar(out, uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                                       uint32_t(b[3]) << 24);
        }
    };
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
        drain(sizeof buffer - oLeft);
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ (a byte the charset does not allow) or EINVAL (a sequence
        // cut at the end): that byte is read as Windows-1252 and the
        // conversion goes on after it.
        appendArchiveChar(out, cp1252CodePoint(static_cast<unsigned char>(*in)));
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush a stateful encoding's pending shift sequence.
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &o, &oLeft);
    drain(sizeof buffer - oLeft);
    iconv_close(cd);
    return true;
}

}  // namespace

std::string iconvCharsetName(std::string_view charset) {
    const std::string n = normalised(charset);
    if (n.empty() || n == "us-ascii" || n == "ascii" || n == "iso-8859-1" || n == "iso8859-1" ||
        n == "latin1" || n == "l1" || n == "windows-1252" || n == "cp1252" || n == "x-unknown" ||
        n == "unknown-8bit" || n == "unknown" || n == "default" || n == "x-user-defined")
        return {};
    if (n == "utf8") return "UTF-8";
    if (n == "gb2312" || n == "gbk" || n == "x-gbk" || n == "euc-cn") return "GB18030";
    if (n == "ks_c_5601-1987" || n == "ks_c_5601" || n == "euc-kr") return "CP949";
    if (n == "iso-8859-8-i") return "ISO-8859-8";
    if (n == "x-mac-roman" || n == "macintosh") return "MACINTOSH";
    if (n == "shift-jis" || n == "x-sjis" || n == "sjis") return "SHIFT_JIS";
    return n;
}

std::string toArchiveText(std::string_view bytes, std::string_view charset) {
    const std::string name = iconvCharsetName(charset);
    if (name.empty() || !hasHighBytes(bytes)) {
        // Stateful 7-bit charsets (ISO-2022-JP, UTF-7) still need iconv.
        const bool sevenBitStateful = name.rfind("iso-2022", 0) == 0 || name == "utf-7";
        if (!sevenBitStateful) {
            const std::string n = normalised(charset);
            // Declared as Windows-1252 (or ISO 8859-1): the bytes as they are.
            if (!name.empty() || n.empty() || n == "us-ascii" || n == "ascii" || n == "x-unknown" ||
                n == "unknown-8bit" || n == "unknown" || n == "default")
                return fromUndeclared(bytes);
            std::string out(bytes);
            std::erase(out, '\0');
            return out;
        }
    }
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    if (!convertWithIconv(bytes, name, out)) return fromUndeclared(bytes);
    return out;
}

}  // namespace quill

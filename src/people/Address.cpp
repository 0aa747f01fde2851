#include "people/Address.h"

#include <array>
#include <cstring>

#include "database/Charset.h"

namespace quill {

namespace {

using Index = std::ptrdiff_t;

bool isBlankOrSeparator(char c) { return c == ' ' || c == addressSeparator; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view clipRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// The part of s that ends at index end (exclusive) and starts at begin;
// empty when the range is empty.
std::string_view slice(std::string_view s, Index begin, Index end) {
    if (begin < 0) begin = 0;
    if (end > Index(s.size())) end = Index(s.size());
    if (begin >= end) return {};
    return s.substr(std::size_t(begin), std::size_t(end - begin));
}

// A name in front of an address loses the ">" of a gateway prefix and the
// blanks and separators that stood between it and the address.
std::string trimNameEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '>' || isBlankOrSeparator(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

// The last index in [from, to] (inclusive, counting down) holding a blank or
// the separator, or -1.
Index lastBlankOrSeparator(std::string_view s, Index from, Index to) {
    if (to >= Index(s.size())) to = Index(s.size()) - 1;
    for (Index i = to; i >= from && i >= 0; --i)
        if (isBlankOrSeparator(s[std::size_t(i)])) return i;
    return -1;
}

// The split used when the text holds no CompuServe user ID: in mail lines
// the last blank or separator after the first character divides name and
// address; in forum lines the whole text is the name.
void defaultSplit(int mode, std::string_view s, std::string& name, std::string& address) {
    if (mode == 2) {
        Index k = lastBlankOrSeparator(s, 1, Index(s.size()) - 1);
        if (k >= 1) {
            name = std::string(slice(s, 0, k));
            address = std::string(slice(s, k + 1, Index(s.size())));
        } else {
            name.clear();
            address = std::string(s);
        }
    } else {
        name = std::string(s);
        address.clear();
    }
}

// "CSINET" lines of mail: the name before the word, the address after it
// (and after a colon that follows it), cut before an "@" that is not its
// first character.
void splitCsinet(std::string_view s, std::size_t p, std::string& name, std::string& address) {
    std::size_t at = p - 1;  // 0-based start of "CSINET"
    std::size_t after = at + 6;
    if (after < s.size() && s[after] == ':') ++after;
    address = after < s.size() ? std::string(s.substr(after)) : std::string();
    name = std::string(s.substr(0, at));
    if (address.size() >= 5) {
        std::size_t mail = address.find('@');
        if (mail != std::string::npos && mail >= 1) address.resize(mail);
    }
}

// Tries to read a CompuServe user ID whose comma or period is at index d of
// s. end is the exclusive end of the ID (before a closing "]" when bracketed
// is set). Returns true and fills name and address when the text is an ID.
bool splitUserId(std::string_view s, Index d, Index end, bool bracketed, std::string& name,
                 std::string& address) {
    if (!isNumericText(slice(s, d + 1, end))) return false;

    std::string work(s.substr(0, std::size_t(end)));
    if (work[std::size_t(d)] == '.') work[std::size_t(d)] = ',';
    if (d + 3 < end && work[std::size_t(d) + 1] == ' ') {
        work.erase(std::size_t(d) + 1, 1);
        --end;
    }

    // The ID starts after the last blank or separator before it, and after
    // its opening bracket when it has one.
    Index k = lastBlankOrSeparator(work, 0, d - 1);
    Index start = k + 1;
    if (bracketed && start < d && work[std::size_t(start)] == '[') ++start;
    if (!isNumericText(slice(work, start, d))) return false;

    address = std::string(slice(work, start, end));
    name = k >= 0 ? trimNameEnd(slice(work, 0, k)) : std::string();
    return true;
}

bool isGenerationSuffix(std::string_view word) {
    char w[3] = {' ', ' ', ' '};
    for (std::size_t i = 0; i < 3 && i < word.size(); ++i) w[i] = word[i];
    static constexpr std::array<std::string_view, 9> suffixes = {
        "I  ", "II ", "III", "IV ", "V  ", "l  ", "ll ", "lll", "lV "};
    for (auto suffix : suffixes)
        if (std::string_view(w, 3) == suffix) return true;
    return false;
}

// A cut never falls inside a character reference "&#NNNN;": a name holding
// characters beyond Windows-1252 would otherwise show a broken "&#10".
std::string clipTo(std::string_view s, std::size_t width) {
    s = s.substr(0, referenceSafeLength(s, width));
    return std::string(clipRight(s));
}

bool isInternet(std::string_view address) { return address.find('@') != std::string_view::npos; }

// First names, a blank and the last name, or the last name alone; empty when
// there is no last name.
std::string namesBeforeAddress(std::string_view last, std::string_view first) {
    if (last.empty()) return {};
    if (first.empty()) return std::string(last);
    std::string r(first);
    r += ' ';
    r += last;
    return r;
}

}  // namespace

bool isNumericText(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    std::size_t digits = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i == digits) return false;
    while (i < s.size() && s[i] == ' ') ++i;
    return i == s.size();
}

bool isWordChar(bool numericPattern, unsigned char ch) {
    if (numericPattern) return ch >= '0' && ch <= '9';
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '1' ||
           (ch >= 128 && ch <= 133);
}

void FindCISAdress(int mode, std::string_view text, std::string& name, std::string& address) {
    std::string_view s = clipRight(text);
    const Index len = Index(s.size());

    if (mode == 2) {
        if (std::size_t p = AISINB(true, "CSINET", s); p != 0) {
            splitCsinet(s, p, name, address);
            return;
        }
    }

    // The last comma or period with at least one character before it and two
    // after it marks a candidate user ID.
    Index d = -1;
    for (Index i = len - 3; i >= 1; --i) {
        if (s[std::size_t(i)] == ',' || s[std::size_t(i)] == '.') {
            d = i;
            break;
        }
    }

    if (d >= 0) {
        const bool bracketed = s.back() == ']';
        const Index end = bracketed ? len - 1 : len;
        if (d + 1 < end && splitUserId(s, d, end, bracketed, name, address)) return;
        // Not an ID: the text is split as it was given (a period stays a
        // period), without a closing bracket.
        defaultSplit(mode, slice(s, 0, end), name, address);
        return;
    }

    if (mode == 2) {
        Index k = lastBlankOrSeparator(s, 0, len - 1);
        if (k < 0) {
            name.clear();
            address = std::string(s);
            return;
        }
        address = k + 1 < len ? std::string(slice(s, k + 1, len)) : std::string(s);
        name = trimNameEnd(slice(s, 0, k));
        // "INTERNET:" and similar gateway prefixes go.
        std::size_t colon = address.find(':');
        if (colon != std::string::npos && colon + 1 < address.size())
            address.erase(0, colon + 1);
        return;
    }

    defaultSplit(mode, s, name, address);
}

NameAndAddress FindCISAdress(int mode, std::string_view text) {
    NameAndAddress r;
    FindCISAdress(mode, text, r.name, r.address);
    return r;
}

void ParseName(std::string_view fullName, std::string& lastName, std::string& firstNames) {
    std::string_view s = clipRight(fullName);
    const Index len = Index(s.size());

    Index k = -1;
    for (Index i = len - 1; i >= 1; --i) {
        if (s[std::size_t(i)] == ' ') {
            k = i;
            break;
        }
    }

    std::string_view last = s;
    std::string_view first;
    if (k >= 1) {
        std::string_view word = slice(s, k + 1, len);
        last = word;
        first = slice(s, 0, k);
        if (isGenerationSuffix(word)) {
            // The suffix stays with the word before it: split at the blank in
            // front of that word instead.
            Index runStart = k;
            while (runStart > 0 && s[std::size_t(runStart) - 1] == ' ') --runStart;
            Index m = -1;
            for (Index i = runStart - 1; i >= 1; --i) {
                if (s[std::size_t(i)] == ' ') {
                    m = i;
                    break;
                }
            }
            if (m >= 1) {
                last = slice(s, m + 1, len);
                first = slice(s, 0, m);
            } else {
                last = s;
                first = {};
            }
        }
    }
    lastName = clipTo(last, lastNameWidth);
    firstNames = clipTo(first, firstNameWidth);
}

ParsedName ParseName(std::string_view fullName) {
    ParsedName r;
    ParseName(fullName, r.lastName, r.firstNames);
    return r;
}

std::size_t AISINB(bool wholeWord, std::string_view pattern, std::string_view text) {
    const std::size_t m = pattern.size();
    const std::size_t n = text.size();
    if (m == 0 || m > n) return 0;

    const bool numeric = isNumericText(pattern);
    std::array<std::size_t, 256> skip;
    skip.fill(m);
    for (std::size_t i = 0; i + 1 < m; ++i) skip[static_cast<unsigned char>(pattern[i])] = m - 1 - i;

    const char lastChar = pattern[m - 1];
    std::size_t pos = 0;
    while (pos + m <= n) {
        const unsigned char under = static_cast<unsigned char>(text[pos + m - 1]);
        if (char(under) == lastChar && std::memcmp(text.data() + pos, pattern.data(), m - 1) == 0) {
            bool whole = true;
            if (wholeWord) {
                if (pos > 0 && isWordChar(numeric, static_cast<unsigned char>(text[pos - 1])))
                    whole = false;
                if (pos + m < n && isWordChar(numeric, static_cast<unsigned char>(text[pos + m])))
                    whole = false;
            }
            if (whole) return pos + 1;
        }
        pos += skip[under];
    }
    return 0;
}

bool dupTextsEqual(std::string_view stored, std::string_view other) {
    std::string_view a = clipRight(stored);
    std::string_view b = clipRight(other);
    if (a.size() > b.size()) std::swap(a, b);
    if (b.size() - a.size() >= 20) return false;
    return b.substr(0, a.size()) == a;
}

std::string personDisplayName(std::string_view lastName, std::string_view firstNames) {
    std::string_view last = clipRight(lastName);
    std::string_view first = clipRight(firstNames);
    if (last.empty()) return std::string(first);
    return namesBeforeAddress(last, first);
}

std::string internetAddress(std::string_view address) {
    std::string_view a = clipRight(address);
    if (a.empty() || isInternet(a)) return std::string(a);
    std::string r(a);
    for (auto& c : r)
        if (c == ',') c = '.';
    r += '@';
    r += onlineMailDomain;
    return r;
}

std::string displayForm1(std::string_view, std::string_view, std::string_view address) {
    return std::string(clipRight(address));
}

std::string displayForm2(std::string_view lastName, std::string_view firstNames,
                         std::string_view address) {
    std::string_view a = clipRight(address);
    std::string r = namesBeforeAddress(clipRight(lastName), clipRight(firstNames));
    if (isInternet(a)) {
        if (!r.empty()) r += ' ';
        r += internetGateway;
    } else if (!r.empty()) {
        r += ' ';
    }
    r += a;
    return r;
}

std::string displayListForm(std::string_view lastName, std::string_view firstNames,
                            std::string_view address) {
    std::string_view a = clipRight(address);
    std::string r = namesBeforeAddress(clipRight(lastName), clipRight(firstNames));
    r += addressSeparator;
    if (isInternet(a)) r += internetGateway;
    r += a;
    return r;
}

std::string displayInternetForm(std::string_view lastName, std::string_view firstNames,
                                std::string_view address) {
    std::string r = namesBeforeAddress(clipRight(lastName), clipRight(firstNames));
    if (!r.empty()) r += ' ';
    r += '<';
    r += internetAddress(address);
    r += '>';
    return r;
}

}  // namespace quill

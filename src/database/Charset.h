// Windows-1252 text, as the archive stores it, to and from UTF-8.
//
// The archive stores every text in Windows-1252. A character that
// Windows-1252 cannot hold (Cyrillic, Greek, CJK, emoji, ...) is stored as a
// decimal character reference "&#NNNN;", so that nothing is lost; every
// place that shows text to a person turns such references back into
// characters, and a fixed-length field is never cut inside one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quill {

// Archive text to UTF-8: Windows-1252 bytes become their characters and
// decimal or hexadecimal references "&#NNNN;" / "&#xHHHH;" become the
// character they name (references to control characters other than tab,
// line feed and carriage return, to surrogates and past U+10FFFF stay as
// written).
std::string cp1252ToUtf8(std::string_view s);
// UTF-8 to archive text: characters that Windows-1252 cannot hold become
// references; a byte that is not part of valid UTF-8 is taken as a
// Windows-1252 byte.
std::string utf8ToCp1252(std::string_view s);

// Appends one Unicode character in archive form: its Windows-1252 byte, or
// its decimal reference. NUL is dropped.
void appendArchiveChar(std::string& out, std::uint32_t codePoint);
// The Windows-1252 byte of a character, or -1 when the code page lacks it.
int cp1252ByteOf(std::uint32_t codePoint);
// The character a Windows-1252 byte stands for.
std::uint32_t cp1252CodePoint(unsigned char byte);

// True when s is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view s);

// The length to cut s to so that it holds at most max bytes and does not
// end inside a character reference "&#...;".
std::size_t referenceSafeLength(std::string_view s, std::size_t max);

}  // namespace quill

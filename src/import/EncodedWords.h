// Decoders for RFC 2047 encoded words in header fields and for the
// quoted-printable escapes met in bodies. Both turn what they decode into
// Windows-1252 bytes, the only character set the archive stores.
#pragma once

#include <cstddef>
#include <string>

#include "database/Types.h"

namespace quill {

// Decodes the two characters that follow "=" in a quoted-printable escape.
// "3D" gives "=", "20" and "09" a blank, "2C" a comma; otherwise the pair must
// be upper-case hex naming a byte 128-255. Anything else gives 0 (not
// decodable): the caller then copies the "=" as an ordinary character and goes
// on with the next one. Escapes of other characters below 128 are deliberately
// left alone, because the callers run this over text that may not be
// quoted-printable at all.
char DecodeQuotedHex(char first, char second);

// The Windows-1252 byte for an ISO 8859-2 byte. Bytes below 160 are returned
// unchanged; letters that Windows-1252 lacks lose their diacritic, lone marks
// become "?".
unsigned char mapIso88592(unsigned char c);

// Most characters one encoded word decodes to.
inline constexpr std::size_t EncodedWordMaxDecoded = 100;

// Decodes the first encoded word ("=?charset?B|Q?text?=") of a header field in
// place, for the character sets ISO-8859-1, ISO-8859-2 and US-ASCII. The field
// becomes the text before the word, the decoded text without trailing blanks,
// then the text after the word; the result has no trailing blanks. A field
// without a complete word, or with another character set, is left unchanged
// (apart from trailing blanks). Later encoded words stay as they stand.
void DecodeEncodedWord(std::string& field);

// The same on a fixed-length record field (a name of 60, a subject of 100):
// the result is clipped to the field's width and blank-padded.
template <std::size_t N>
void DecodeEncodedWord(FStr<N>& field) {
    std::string s = field.str();
    DecodeEncodedWord(s);
    field = s;
}

}  // namespace quill

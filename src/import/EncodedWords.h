// Decoders for RFC 2047 encoded words in header fields and for the
// quoted-printable escapes met in bodies. Both turn what they decode into
// Windows-1252 bytes, the only character set the archive stores.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Decodes every encoded word ("=?charset?B|Q?text?=") of a header field in
// place, in any character set iconv knows (an unknown one is read as
// undeclared text), into archive text: characters Windows-1252 lacks become
// references "&#NNNN;". Adjacent encoded words join without the white space
// between them. The result has no trailing blanks; control characters become
// blanks. A field without an encoded word is left as it is.
void DecodeEncodedWord(std::string& field);

// A raw header value as it stands in the file, to archive text: its encoded
// words are decoded as above and the text around them, when it holds 8-bit
// bytes, is read as UTF-8 when valid, else as Windows-1252.
std::string decodeHeaderText(std::string_view raw);

// The same on a fixed-length record field (a name of 60, a subject of 100):
// the result is clipped to the field's width and blank-padded.
template <std::size_t N>
void DecodeEncodedWord(FStr<N>& field) {
    std::string s = field.str();
    DecodeEncodedWord(s);
    field = s;
}

}  // namespace quill

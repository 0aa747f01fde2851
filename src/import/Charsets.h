// Conversion of text in any declared character set into the archive's form:
// Windows-1252, with every character the code page lacks kept as a decimal
// character reference "&#NNNN;" (see database/Charset.h).
#pragma once

#include <string>
#include <string_view>

namespace quill {

// Converts bytes declared to be in charset (a MIME charset name, any letter
// case; empty when none was declared) into archive text.
// - Undeclared, "us-ascii", or a name that iconv does not know: bytes that
//   are valid UTF-8 are read as UTF-8, any other as Windows-1252.
// - "iso-8859-1", "latin1", "windows-1252": taken as Windows-1252 (the
//   superset that mail labelled ISO 8859-1 is nearly always written in).
// - Any other name: converted with iconv; a byte the charset does not allow
//   is taken as a Windows-1252 byte, so nothing is dropped.
std::string toArchiveText(std::string_view bytes, std::string_view charset);

// The name iconv knows a MIME charset name by ("GB2312" is read as its
// superset "GB18030", "ks_c_5601-1987" as "CP949", ...); empty for the names
// that mean "Windows-1252 as it is" or "not declared".
std::string iconvCharsetName(std::string_view charset);

}  // namespace quill

// IBM code page 850 to Windows code page 1252: the DOS reader programs wrote
// their captures in code page 850, the archive holds Windows-1252 text.
#pragma once

#include <string>

namespace quill {

// The Windows-1252 byte of a code page 850 byte. Codes below 128 are the
// same in both. A character that Windows-1252 cannot hold (the box-drawing
// and shading characters, the dotless i at 213, the square at 254) and the
// codes 247, 248 and 255 become a blank; the double low line at 242 becomes
// "=".
unsigned char cp850To1252(unsigned char ch);

// Converts every byte of text in place.
void convertCp850To1252(std::string& text);

}  // namespace quill

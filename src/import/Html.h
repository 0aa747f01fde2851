// Conversion of HTML message bodies to the plain text the archive stores.
// Two converters share one tag vocabulary and one set of text rules: the
// general one for HTML mail and news, and the service one for the stored
// messages of the online services ("AOL", "CompuServe 2000"), whose bodies are
// HTML fragments with their own line marks (CR LF or the byte 127).
#pragma once

#include <cstddef>
#include <string>

namespace quill {

// Longest text either converter produces, like every message text.
inline constexpr std::size_t HtmlTextMax = 64000;
// Longest part of a tag that is examined, and longest link target kept.
inline constexpr std::size_t HtmlTagMax = 1000;

// Replaces an HTML mail or news body (archive text) by its plain form:
// tags become blanks, line breaks and empty lines, list items get "* ",
// links are followed by their target in square brackets, character
// references are decoded (a character Windows-1252 lacks stays a reference
// "&#NNNN;"), and, with decodeEscapes, quoted-printable escapes too (a
// caller that decoded the transfer encoding already passes false). Text
// before the first tag is kept; the contents of STYLE and SCRIPT elements
// and everything from the closing HTML tag on are dropped. The result holds
// at most HtmlTextMax characters and ends without blanks or line ends.
void ConvertHtml(std::string& text, bool decodeEscapes = true);

// The same for the bodies of the online services: text before the first tag
// is kept, CR LF and the byte 127 are line breaks, "<<" is literal text.
// A text shorter than 5 characters (trailing blanks aside) is left as it is.
void ConvertServiceHtml(std::string& text);

}  // namespace quill

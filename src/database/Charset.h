// Windows-1252 text, as the archive stores it, to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace quill {

std::string cp1252ToUtf8(std::string_view s);
// Characters that Windows-1252 cannot hold become "?".
std::string utf8ToCp1252(std::string_view s);

}  // namespace quill

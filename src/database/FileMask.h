// File name masks as the reader programs' users write them: "*" and "?"
// wildcards matched without regard to case, "*.*" matching every name and
// "*." the names without an extension; several masks separated by ";".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quill {

bool maskMatch(std::string_view mask, std::string_view name);
bool anyMaskMatches(std::string_view masks, std::string_view name);
std::vector<std::string> splitMasks(std::string_view masks, char separator = ';');

// Joins a directory and a name with the platform separator.
std::string joinPath(std::string_view dir, std::string_view name);
// The directory part of a path (up to its last separator, without it).
std::string dirName(std::string_view path);
std::string baseName(std::string_view path);
// The names of the regular files in dir that match the mask, sorted.
std::vector<std::string> listMatching(const std::string& dir, std::string_view masks);

}  // namespace quill

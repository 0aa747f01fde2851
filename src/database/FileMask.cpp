#include "database/FileMask.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "database/Types.h"

namespace quill {

namespace {
// Iterative wildcard match with one back-tracking point: linear in practice
// and never recursive.
bool globMatch(std::string_view p, std::string_view s) {
    std::size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == '?' || upper1252(static_cast<unsigned char>(p[pi])) ==
                                                   upper1252(static_cast<unsigned char>(s[si])))) {
            ++pi;
            ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}
}  // namespace

bool maskMatch(std::string_view mask, std::string_view name) {
    while (!mask.empty() && mask.front() == ' ') mask.remove_prefix(1);
    while (!mask.empty() && mask.back() == ' ') mask.remove_suffix(1);
    if (mask.empty()) return false;
    bool hasDot = name.find('.') != std::string_view::npos;
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*") {
        // "x*.*" also matches names without any extension.
        if (globMatch(mask, name)) return true;
        return !hasDot && globMatch(mask.substr(0, mask.size() - 2), name);
    }
    if (mask.back() == '.') {
        // "x*." matches only names without an extension.
        return !hasDot && globMatch(mask.substr(0, mask.size() - 1), name);
    }
    return globMatch(mask, name);
}

std::vector<std::string> splitMasks(std::string_view masks, char separator) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= masks.size()) {
        std::size_t end = masks.find(separator, start);
        if (end == std::string_view::npos) end = masks.size();
        std::string_view m = masks.substr(start, end - start);
        while (!m.empty() && m.front() == ' ') m.remove_prefix(1);
        while (!m.empty() && m.back() == ' ') m.remove_suffix(1);
        if (!m.empty()) out.emplace_back(m);
        start = end + 1;
    }
    return out;
}

bool anyMaskMatches(std::string_view masks, std::string_view name) {
    for (auto& m : splitMasks(masks))
        if (maskMatch(m, name)) return true;
    return false;
}

std::string joinPath(std::string_view dir, std::string_view name) {
    if (dir.empty()) return std::string(name);
    std::string r(dir);
    if (r.back() != '/') r.push_back('/');
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    r.append(name);
    return r;
}

std::string dirName(std::string_view path) {
    auto p = path.find_last_of('/');
    if (p == std::string_view::npos) return {};
    if (p == 0) return "/";
    return std::string(path.substr(0, p));
}

std::string baseName(std::string_view path) {
    auto p = path.find_last_of('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::vector<std::string> listMatching(const std::string& dir, std::string_view masks) {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        struct stat st {};
        if (::stat(joinPath(dir, n).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (anyMaskMatches(masks, n)) out.push_back(n);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace quill

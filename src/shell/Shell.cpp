#include "shell/Shell.h"

#include <map>

#include "database/Charset.h"

namespace quill::shell {

QString shown(std::string_view archiveText) { return QString::fromStdString(cp1252ToUtf8(archiveText)); }

std::string stored(const QString& text) { return utf8ToCp1252(text.toStdString()); }

const char* groupName(WindowGroup g) {
    switch (g) {
        case WindowGroup::Find: return "FindGroup";
        case WindowGroup::Import: return "ImportGroup";
        default: return "NotToolsGroup";
    }
}

namespace {
// Built on first use: registrars run during static initialisation in an
// order across files that nobody controls.
std::map<std::string, WindowSpec, std::less<>>& table() {
    static std::map<std::string, WindowSpec, std::less<>> t;
    return t;
}
}  // namespace

void registerWindow(WindowSpec spec) {
    std::string name = spec.name;
    table()[name] = std::move(spec);
}

const WindowSpec* findWindowSpec(std::string_view name) {
    auto it = table().find(name);
    return it == table().end() ? nullptr : &it->second;
}

std::vector<std::string> registeredWindows() {
    std::vector<std::string> out;
    for (auto& [name, spec] : table()) out.push_back(name);
    return out;
}

}  // namespace quill::shell

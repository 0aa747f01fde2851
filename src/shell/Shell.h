// The desktop program's shared pieces: text conversion between the archive's
// Windows-1252 and Qt, and the table of windows the frame can start.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace quill::shell {

class Frame;

// Archive text (Windows-1252 with "&#NNNN;" references) as the characters it
// stands for, and back.
QString shown(std::string_view archiveText);
std::string stored(const QString& text);

// Windows are closed group by group when the program ends: the tools that
// act on a browse first, then the import windows, then all others.
enum class WindowGroup { NotTools, Find, Import };
const char* groupName(WindowGroup g);  // "NotToolsGroup", "FindGroup", "ImportGroup"

// A window the frame can start by name. The factory builds the widget (its
// window title is the caption); the frame puts it into a child window,
// registers it under its name and group and restores its placement.
struct WindowSpec {
    std::string name;            // "BrowseMsgNmbr", "UserPanel", ...
    WindowGroup group = WindowGroup::NotTools;
    bool needsDatabase = false;  // only while a database is active
    int placement = -1;          // WindowPos slot (0 .. 24), -1: none
    std::function<QWidget*(Frame&)> make;
};

// Each window's source file registers it with a static WindowRegistrar, so
// the frame and the tests know every window that is built in.
void registerWindow(WindowSpec spec);
const WindowSpec* findWindowSpec(std::string_view name);
std::vector<std::string> registeredWindows();

struct WindowRegistrar {
    explicit WindowRegistrar(WindowSpec spec) { registerWindow(std::move(spec)); }
};

}  // namespace quill::shell

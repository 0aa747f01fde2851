// The preference groups, window positions and list column widths held in
// memory while the program runs, and the saved directory setting.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace quill {

constexpr int kWindowCount = 25;
constexpr int kListCount = 20;
constexpr int kListColumns = 5;

struct WindowRect {
    int16_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const WindowRect&) const = default;
};

struct PreferenceState {
    std::map<int, int32_t> numbers;       // numeric preferences by number
    std::map<int, std::string> texts;     // text preferences (and font names) by number
    // Directory setting (Control kind 4).
    std::string savedTempDir, savedFileDir;
    // Window positions: sets 1 (kinds 2/3) and 2 (kinds 7/8), defaults and current.
    std::array<std::array<WindowRect, kWindowCount>, 2> windowDefaults{}, windowCurrent{};
    // List column widths (kinds 5/6).
    std::array<std::array<int16_t, kListColumns>, kListCount> columnDefaults{}, columnCurrent{};
};

}  // namespace quill

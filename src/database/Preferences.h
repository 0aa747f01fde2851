// User preferences, window positions and list column widths, each group one
// Control record, held in memory while the program runs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "database/Session.h"

namespace quill {

// Preferences without a fixed meaning elsewhere that the desktop program
// uses: the version of the program that last ran on the installation
// (kind 1), the plain frame background, restoring the frame's own placement
// and the tabbed view of the windows (kind 9, 0 off / 1 on).
constexpr int kPrefProgramVersion = 11;
constexpr int kPrefPlainBackground = 46;
constexpr int kPrefFramePlacement = 47;
constexpr int kPrefTabbedView = 48;
// The version stored by this program, and the oldest whose window layouts
// are still taken.
constexpr int32_t kProgramVersion = 462;
constexpr int32_t kLayoutVersion = 430;
// The window position slot (WindowPos, window number) of the frame itself.
constexpr int kFramePlacementSlot = 25;

// Operations on kind 1: 1 load, 2 set, 3 read, 4 save; kind 9: 6, 7, 8, 9;
// kind 20: 23, 24, 25, 26. Numbers travel in value, texts in text (cut to
// length when length > 0). Fonts 33 to 36 carry their name in text and
// their size in value.
bool Konfig(Session& s, int operation, int preference, int32_t& value, int length, std::string& text);
// Convenience forms for reading and setting a number.
int32_t konfigNumber(Session& s, int preference);
void setKonfigNumber(Session& s, int preference, int32_t value);

// Writes the preferences the user changed into their groups' records as
// they stand now, one short transaction per group, so that what another
// program saved meanwhile in the other preferences of a group is kept.
// numbers and texts are keyed by preference number (a font carries its size
// in numbers and its name in texts); a number no group holds is ignored.
// Afterwards the session holds the stored groups. False (and the user told)
// when a group could not be written.
[[nodiscard]] bool savePreferenceChanges(Session& s, const std::map<int, int32_t>& numbers,
                                         const std::map<int, std::string>& texts);

// Preference 10 (13) and the label and picture of the chosen format.
int32_t SetDate(Session& s, std::string& label, std::string& picture);
int32_t SetTime(Session& s, std::string& label, std::string& picture);
// A date or time shown in a picture that SetDate / SetTime return.
std::string formatDate(int32_t date, const std::string& picture);
std::string formatTime(int32_t time, const std::string& picture);

// set 1 (WindowPos) or 2 (WindowPos2). 1 load, 2 store, 3 return, 4 save,
// 5 reset to the defaults.
bool WindowPos(Session& s, int operation, int window, WindowRect& rect);
bool WindowPos2(Session& s, int operation, int window, WindowRect& rect);
// 1 load, 2 take the widths (list numbers from 1), 3 return them, 4 save,
// 5 reset to the defaults.
bool ListCol(Session& s, int operation, int list, std::vector<int>& widths);

// The version check of a starting program. Below kLayoutVersion the window
// positions (both sets) and list column widths are reset to their defaults
// and saved, and the version is stored; upgraded = an earlier installation
// (its configuration file existed) whose layouts were reset, firstStart = no
// program has run on it before (a new installation or no stored version).
struct VersionCheck {
    bool upgraded = false;
    bool firstStart = false;
};
VersionCheck checkProgramVersion(Session& s, bool configExisted);

// Loads every group of a running program: preferences (with the identifier
// floor), directories, window positions and list columns; creates the
// records that are missing.
bool loadAllPreferences(Session& s);

}  // namespace quill

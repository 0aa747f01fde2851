// What the numbered preferences mean, with the values they take. The
// numbers are those of the stored groups (Preferences.cpp); a preference
// read before it was ever set has its default there.
#pragma once

namespace quill::pref {

// Date display formats: 2 "mm-dd-yyyy", 6 "dd-mm-yyyy", 10 "yyyy-mm-dd",
// 17 the system's short date ("Windows setting"). See SetDate.
inline constexpr int DateFormat = 10;
// A second date format with the same values, for lists.
inline constexpr int ListDateFormat = 12;
// Time display formats: 1 "hh:mm", 3 "hh:mmXM", 7 the system's ("Windows
// setting"). See SetTime.
inline constexpr int TimeFormat = 13;
// The identifier of the mail database created last from a form that asked
// for it.
inline constexpr int LastMailDatabase = 19;

// Colours, as Windows RGB values (red in the low byte, blue in the third).
inline constexpr int DeleteColour = 22;      // rows marked for deletion (red)
inline constexpr int ReadOnlyColour = 23;    // background of fields that cannot be edited (light grey)
inline constexpr int KeepColour = 24;        // rows marked Keep (navy)
inline constexpr int HitColour = 25;         // search hits in a message text (red)

// Speeds: a choice 1 (slowest, smallest batches) to 7, default 4; SpeedVal
// turns a choice into a batch size.
inline constexpr int MergeSpeed = 26;         // duplicate person merging
inline constexpr int MaintenanceSpeed = 27;   // purging and counting
inline constexpr int IndexingSpeed = 28;      // word indexing
inline constexpr int ClassifySpeed = 29;      // key word classification
inline constexpr int ImportSpeed = 30;        // the import run (and its readers)

// 1: beep and show the time a long run took when it finishes.
inline constexpr int CompletionNotice = 32;

// Fonts: a name (text) and a size in points (number).
inline constexpr int WindowFont = 33;
inline constexpr int ListFont = 34;
inline constexpr int FormFont = 35;          // the database forms
inline constexpr int MessageTextFont = 36;   // the text pane of the browses

// How the browses show a sender or receiver: 1 name, 2 name and address.
inline constexpr int MessageBrowsePersonFormat = 38;
inline constexpr int MailBrowsePersonFormat = 39;
inline constexpr int PersonName = 1;
inline constexpr int PersonNameAndAddress = 2;

// The line width of exported text ("Text wrap" column).
inline constexpr int ExportLineWidth = 58;
inline constexpr int MinExportLineWidth = 20;
inline constexpr int MaxExportLineWidth = 400;  // the longest line a reader keeps

// The row text of the thread tree: 1 sender; 2 sender, number; 3 sender,
// date; 4 sender, number, date; 5 sender, date, number.
inline constexpr int ThreadTreeDisplay = 59;

// The last export format used, per database type (the numbers of the
// "Output message format" list).
inline constexpr int MailExportFormat = 61;
inline constexpr int ForumExportFormat = 62;
inline constexpr int NewsExportFormat = 63;

}  // namespace quill::pref

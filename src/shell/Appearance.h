// The fonts and colours of the preferences, applied to the windows: the
// window font to every window, the list font to its lists, the form font to
// the database forms, the message text font to the text panes (which show
// their selected search hits in the hit colour), the read-only colour behind
// fields that cannot be edited, and the kept and deleted colours to the rows
// of the browse lists.
#pragma once

#include <QColor>
#include <QFont>
#include <optional>

#include "database/PreferenceState.h"

class QWidget;

namespace quill::shell {

struct Appearance {
    // A font preference still at its built-in font and size leaves the
    // platform's font alone.
    std::optional<QFont> window, list, form, text;
    QColor deleted, readOnly, kept, hit;

    static Appearance fromPreferences(const PreferenceState& prefs);
    bool operator==(const Appearance&) const = default;
    // Applies everything to a window and its children; form says whether it
    // is one of the database forms.
    void applyTo(QWidget* window, bool form) const;
};

// A Windows RGB value (red in the low byte) as a colour, and back.
QColor colourOf(int32_t rgb);
int32_t rgbOf(const QColor& c);

}  // namespace quill::shell

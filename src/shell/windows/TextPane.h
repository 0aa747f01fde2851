// The message text panes of the browse and search windows: a page of
// archive text shown in a QPlainTextEdit, and positions in that page mapped
// to places in the pane and back.
#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

class QPlainTextEdit;

namespace quill::shell {

// Archive text as the pane holds it: the characters it stands for, lines
// ended by line feeds alone (the pane's document counts a "\r\n" as one
// place, so keeping both would shift every place after a line end).
QString paneText(std::string_view archive);

// The place in the pane of position pos of the archive page it shows.
int panePlace(std::string_view page, std::size_t pos);
// The page position shown at a place in the pane: the first position whose
// prefix shows at least that many characters.
std::size_t pagePosition(std::string_view page, int place);

// Selects page positions [from, to) in the pane showing the page (a bare
// cursor when they are equal) and scrolls it into view.
void selectInPane(QPlainTextEdit* pane, std::string_view page, std::size_t from, std::size_t to);

}  // namespace quill::shell

// The message text panes of the browse and search windows: a page of
// archive text shown in a QPlainTextEdit, and positions in that page mapped
// to places in the pane and back.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <cstddef>
#include <string_view>
#include <vector>

#include "search/Search.h"

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

// The read-only message text pane of the browse and search windows: it shows
// the page its hit navigation is on, with the selected hit selected where it
// shows, and takes a selection the user makes as the place the next move to
// a hit starts from.
class HitTextEdit : public QPlainTextEdit {
public:
    explicit HitTextEdit(QWidget* parent);

    const HitPane& hits() const { return pane_; }
    const TextPages& pages() const { return pane_.pages; }
    // A text with its hits, from its first page (see HitPane::show).
    void showText(TextPages text, std::vector<Hit> hits, bool hitView);
    void clearText() { showText(TextPages(), {}, false); }
    // The moves of the hit and page buttons; false when there is none.
    bool nextHit();
    bool previousHit();
    bool nextPage();
    bool previousPage();

private:
    void showCurrentPage();
    void takeUserSelection();

    HitPane pane_;
    int shownStart_ = 0, shownEnd_ = 0;  // the selection the pane last made
};

}  // namespace quill::shell

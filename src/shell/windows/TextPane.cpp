#include "shell/windows/TextPane.h"

#include <QFontDatabase>
#include <QTextCursor>
#include <algorithm>

#include "shell/Shell.h"

namespace quill::shell {

QString paneText(std::string_view archive) {
    QString t = shown(archive);
    t.replace("\r\n", "\n");
    return t;
}

int panePlace(std::string_view page, std::size_t pos) {
    return int(paneText(page.substr(0, std::min(pos, page.size()))).size());
}

std::size_t pagePosition(std::string_view page, int place) {
    std::size_t lo = 0, hi = page.size();
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        if (panePlace(page, mid) < place)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void selectInPane(QPlainTextEdit* pane, std::string_view page, std::size_t from, std::size_t to) {
    int end = pane->document()->characterCount() - 1;
    QTextCursor c(pane->document());
    c.setPosition(std::min(panePlace(page, from), end));
    c.setPosition(std::min(panePlace(page, std::max(from, to)), end), QTextCursor::KeepAnchor);
    pane->setTextCursor(c);
    pane->ensureCursorVisible();
}

HitTextEdit::HitTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void HitTextEdit::showText(TextPages text, std::vector<Hit> hits, bool hitView) {
    pane_.show(std::move(text), std::move(hits), hitView);
    showCurrentPage();
}

void HitTextEdit::showCurrentPage() {
    // The selection is the hit where it shows on this page; nothing when it
    // lies on another page.
    std::string page = pane_.pages.shownPage(pane_.pages.current());
    setPlainText(paneText(page));
    PageSpan sel = pane_.shownSelection();
    selectInPane(this, page, sel.from, sel.to);
    QTextCursor c = textCursor();
    shownStart_ = c.selectionStart();
    shownEnd_ = c.selectionEnd();
}

void HitTextEdit::takeUserSelection() {
    QTextCursor c = textCursor();
    if (c.selectionStart() == shownStart_ && c.selectionEnd() == shownEnd_) return;
    std::string page = pane_.pages.shownPage(pane_.pages.current());
    pane_.takeSelection(pagePosition(page, c.selectionStart()), pagePosition(page, c.selectionEnd()));
    shownStart_ = c.selectionStart();
    shownEnd_ = c.selectionEnd();
}

bool HitTextEdit::nextHit() {
    takeUserSelection();
    if (!pane_.nextHit()) return false;
    showCurrentPage();
    return true;
}

bool HitTextEdit::previousHit() {
    takeUserSelection();
    if (!pane_.previousHit()) return false;
    showCurrentPage();
    return true;
}

bool HitTextEdit::nextPage() {
    if (!pane_.pages.next()) return false;
    showCurrentPage();
    return true;
}

bool HitTextEdit::previousPage() {
    if (!pane_.pages.previous()) return false;
    showCurrentPage();
    return true;
}

}  // namespace quill::shell

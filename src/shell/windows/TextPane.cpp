#include "shell/windows/TextPane.h"

#include <QPlainTextEdit>
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

}  // namespace quill::shell

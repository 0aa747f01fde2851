#include "shell/windows/WindowSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

namespace quill::shell {

namespace {
QMdiSubWindow* childWindowOf(QWidget* w) {
    for (QWidget* p = w; p; p = p->parentWidget())
        if (auto* sub = qobject_cast<QMdiSubWindow*>(p)) return sub;
    return nullptr;
}
}  // namespace

void closeWindowOf(QWidget* w) {
    if (QMdiSubWindow* sub = childWindowOf(w)) sub->close();
    else w->close();
}

void whenActivated(QWidget* w, std::function<void()> fn) {
    QMdiSubWindow* sub = childWindowOf(w);
    if (!sub || !sub->mdiArea()) return;
    QObject::connect(sub->mdiArea(), &QMdiArea::subWindowActivated, w, [sub, fn](QMdiSubWindow* active) {
        if (active == sub) fn();
    });
}

QSize PlainWindow::sizeHint() const {
    return preferred_.isValid() ? preferred_.expandedTo(QWidget::sizeHint()) : QWidget::sizeHint();
}

void PlainWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (watching_) return;
    watching_ = true;
    whenActivated(this, [this] { reread(); });
}

CatalogueNotice& CatalogueNotice::instance() {
    static CatalogueNotice notice;
    return notice;
}

}  // namespace quill::shell

// Small helpers the plain windows share: closing a window from inside it,
// re-reading a list when its window comes to the front, and the notice that
// the catalogue of databases changed.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>

namespace quill::shell {

// Closes the child window that holds w (or w itself when it stands alone).
void closeWindowOf(QWidget* w);

// Calls fn whenever the child window holding w becomes the active one (the
// user comes back to it: what it lists may have changed meanwhile). Call it
// once w is inside its child window.
void whenActivated(QWidget* w, std::function<void()> fn);

// A window over lists another program may change while it is open: it reads
// them again whenever the user comes back to it.
class PlainWindow : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Reads what the window shows again.
    virtual void reread() {}
    // The size a new child window gets (before a stored placement applies).
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* e) override;
    void setPreferredSize(QSize size) { preferred_ = size; }

private:
    bool watching_ = false;
    QSize preferred_;
};

// Told when a window of this program added or changed a catalogue entry, so
// that the lists of databases read the catalogue again.
class CatalogueNotice : public QObject {
    Q_OBJECT
public:
    static CatalogueNotice& instance();
signals:
    void changed();
};

}  // namespace quill::shell

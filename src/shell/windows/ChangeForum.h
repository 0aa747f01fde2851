// "Change Active Database": the databases of the catalogue by name with
// their type and message count, a typed lookup by name, and the choice that
// makes one the active database.
#pragma once

#include <memory>

#include "database/Session.h"
#include "shell/windows/WindowSupport.h"

class QLineEdit;
class QTreeWidget;
class QPushButton;

namespace quill::shell {

class Frame;

class ChangeForumWindow : public PlainWindow {
    Q_OBJECT
public:
    explicit ChangeForumWindow(Frame& frame);
    ~ChangeForumWindow() override;

    QLineEdit* nameField() const { return name_; }
    QTreeWidget* list() const { return list_; }
    void reread() override;
    // The typed lookup: a unique match is chosen at once; otherwise the list
    // opens on the first match or the nearest name before the text.
    void lookup();
    // Makes the database of the highlighted row the active one and closes
    // the window; false when it cannot be activated.
    bool choose();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void positionOn(const QString& text);
    bool activate(uint32_t id);

    Frame& frame_;
    std::unique_ptr<Session> session_;
    QLineEdit* name_ = nullptr;
    QTreeWidget* list_ = nullptr;
};

}  // namespace quill::shell

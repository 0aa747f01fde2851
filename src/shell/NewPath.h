// The dialog that asks for the data top directory when the saved one no
// longer exists. OK ("Save changes") is enabled only for a path that exists.
#pragma once

#include <QDialog>

#include "database/Session.h"

class QLineEdit;
class QPushButton;

namespace quill::shell {

class NewPathDialog : public QDialog {
    Q_OBJECT
public:
    NewPathDialog(Session& s, QWidget* parent = nullptr);

    QLineEdit* pathEdit() const { return edit_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* checkButton() const { return check_; }
    QPushButton* exitButton() const { return exit_; }
    // Checks the entered path as leaving the entry does: true when it
    // exists; otherwise the user is told and the entry takes the focus.
    bool checkPath();

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Session& s_;
    QLineEdit* edit_;
    QPushButton* check_;
    QPushButton* save_;
    QPushButton* exit_;
    QPushButton* browse_;
    bool checking_ = false;
};

// Shows "Path not found!" and the dialog; true once a new data top directory
// is in s.Mem.FileDir and saved, false when the user chose to exit.
bool askNewDataPath(Session& s, QWidget* parent = nullptr);

}  // namespace quill::shell

#include "shell/NewPath.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "database/Catalogue.h"
#include "shell/Shell.h"

namespace quill::shell {

NewPathDialog::NewPathDialog(Session& s, QWidget* parent) : QDialog(parent), s_(s) {
    setWindowTitle(QString(" Path to database files").trimmed());
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(
        "The previously saved path to your data files is no longer valid. Please enter the appropriate top "
        "directory below which your database files reside and press TAB to enable the OK button. ");
    text->setWordWrap(true);
    layout->addWidget(text);

    auto* prompt = new QLabel(QString(" Top directory for database files ").trimmed());
    edit_ = new QLineEdit(shown(s.Mem.FileDir));
    edit_->setToolTip("Directory under which to place database directory tree");
    edit_->setMinimumWidth(360);
    prompt->setBuddy(edit_);
    browse_ = new QPushButton("&Browse...");
    auto* browse = browse_;
    browse->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(edit_, 1);
    row->addWidget(browse);
    layout->addWidget(prompt);
    layout->addLayout(row);

    check_ = new QPushButton("&Update file path");
    save_ = new QPushButton("&Save changes");
    exit_ = new QPushButton("E&xit Quillmer");
    for (QPushButton* b : {check_, save_, exit_}) b->setAutoDefault(false);
    save_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(check_);
    buttons->addWidget(save_);
    buttons->addWidget(exit_);
    layout->addLayout(buttons);

    connect(check_, &QPushButton::clicked, this, [this] { checkPath(); });
    connect(save_, &QPushButton::clicked, this, &QDialog::accept);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(edit_, &QLineEdit::textEdited, this, [this] { save_->setEnabled(false); });
    connect(browse, &QPushButton::clicked, this, [this] {
        QString d = QFileDialog::getExistingDirectory(this, windowTitle(), edit_->text());
        if (d.isEmpty()) return;
        edit_->setText(d);
        checkPath();
    });
    // Tab from the entry goes to the check; Browse comes last.
    setTabOrder(edit_, check_);
    setTabOrder(check_, save_);
    setTabOrder(save_, exit_);
    setTabOrder(exit_, browse_);
    // Leaving the entry checks the path, as Return does.
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::returnPressed, this, [this] { checkPath(); });
}

bool NewPathDialog::eventFilter(QObject* watched, QEvent* e) {
    if (watched == edit_ && e->type() == QEvent::FocusOut && !checking_ && isVisible()) {
        // Cancelling or browsing needs no valid path, and focus that leaves
        // for another program checks nothing either.
        QWidget* next = QApplication::focusWidget();
        if (next && isAncestorOf(next) && next != exit_ && next != browse_) checkPath();
    }
    return QDialog::eventFilter(watched, e);
}

bool NewPathDialog::checkPath() {
    if (checking_) return false;
    checking_ = true;
    std::string path = stored(edit_->text().trimmed());
    bool ok = ExistPath(s_, 1, 0, path, "", true) == 1;
    if (!ok) {
        save_->setEnabled(false);
        s_.tell("This path does not exist!\r\nPlease enter a valid path\r\n", path);
        edit_->setFocus();
    } else {
        save_->setEnabled(true);
        save_->setFocus();
    }
    checking_ = false;
    return ok;
}

void NewPathDialog::accept() {
    if (!save_->isEnabled() && !checkPath()) return;
    std::string path = stored(edit_->text().trimmed());
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (QString::fromStdString(path).compare(QString::fromStdString(s_.Mem.FileDir), Qt::CaseInsensitive) != 0)
        (void)ExistPath(s_, 3, 0, path, "", true);
    std::string saved = path;
    (void)AutoPath(s_, 2, 18, saved);
    if (!AutoPath(s_, 4, 18, saved)) return;
    s_.Mem.FileDir = path;
    QDialog::accept();
}

bool askNewDataPath(Session& s, QWidget* parent) {
    s.tell("The path to your data files cannot be found!\r\nUpdate file path on next screen\r\n", "Path not found!");
    NewPathDialog d(s, parent);
    return d.exec() == QDialog::Accepted;
}

}  // namespace quill::shell

#include "shell/windows/AddForum.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "people/Databases.h"
#include "shell/Frame.h"

namespace quill::shell {

AddForumWindow::AddForumWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle(" Add New Forum");
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel("Type the name of the CompuServe Forum the new database will hold.", this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    name_ = new QLineEdit(this);
    name_->setMaxLength(int(databaseNameWidth));
    name_->setToolTip("The name of the forum, as its messages give it");
    form->addRow("&Forum name:", name_);
    layout->addLayout(form);
    layout->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (complete()) closeWindowOf(this);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { closeWindowOf(this); });
    connect(name_, &QLineEdit::returnPressed, this, [this] {
        if (complete()) closeWindowOf(this);
    });
    setFocusProxy(name_);
    setPreferredSize(QSize(420, 150));
}

AddForumWindow::~AddForumWindow() = default;

bool AddForumWindow::complete() {
    // The directory setting may have changed since the window opened.
    session_->Mem.FileDir = frame_.session().Mem.FileDir;
    DbResult r = addForumDatabase(*session_, stored(name_->text()));
    if (!r.ok()) {
        // The core has beeped or told the user why; the window stays on the name.
        name_->setFocus();
        name_->selectAll();
        return false;
    }
    emit databaseAdded(r.id);
    emit CatalogueNotice::instance().changed();
    // With no database active the new one becomes the active database, so a
    // first start ends with a database to import into.
    if (frame_.session().Mem.ForumNumber == 0) frame_.activateDatabase(r.id);
    return true;
}

namespace {
WindowRegistrar registrar({"AddForum", WindowGroup::NotTools, false, 11,
                           [](Frame& f) -> QWidget* { return new AddForumWindow(f); }});
}  // namespace

}  // namespace quill::shell

#include "shell/windows/MailBoxForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "database/PreferenceNumbers.h"
#include "shell/Frame.h"
#include "shell/windows/WindowSupport.h"

namespace quill::shell {

MailBoxForm::MailBoxForm(Frame& frame, Request request, uint32_t forumId, bool rememberId, QWidget* parent)
    : QDialog(parent ? parent : &frame),
      frame_(frame),
      session_(frame.newSession()),
      request_(request),
      forumId_(forumId),
      rememberId_(rememberId) {
    setWindowTitle(request == Request::Insert ? "Add New Mail Database" : "Update alternative addresses");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    name_ = new QLineEdit(this);
    name_->setMaxLength(int(databaseNameWidth));
    name_->setMinimumWidth(320);
    name_->setToolTip("The mailbox owner's name; it also names the database");
    form->addRow("Mail database &name", name_);
    address_ = new QLineEdit(this);
    address_->setMaxLength(int(mailAddressWidth));
    address_->setToolTip("The address the owner's mail is stored under");
    form->addRow("Default mail &address", address_);
    layout->addLayout(form);

    auto* group = new QGroupBox("Alternative addresses", this);
    group->setToolTip("Other addresses of the owner, to recognise the owner's mail when importing");
    auto* altForm = new QFormLayout(group);
    for (std::size_t i = 0; i < altAddressCount; ++i) {
        alternatives_[i] = new QLineEdit(group);
        alternatives_[i]->setMaxLength(int(mailAddressWidth));
        alternatives_[i]->setMinimumWidth(320);
        altForm->addRow(i < 9 ? QString("Address &%1").arg(i + 1) : QString("Address 1&0"), alternatives_[i]);
    }
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &MailBoxForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MailBoxForm::reject);

    if (request_ == Request::Change) {
        ForumsRecord entry;
        if (readDatabaseEntry(*session_, forumId_, entry)) {
            name_->setText(shown(entry.DESCRIPTION.view()));
            address_->setText(shown(entry.MAILADDRESS.view()));
            std::vector<std::string> alts = altAddressesOf(entry);
            for (std::size_t i = 0; i < alts.size() && i < altAddressCount; ++i)
                alternatives_[i]->setText(shown(alts[i]));
        }
        // Only the alternative addresses change: the name and the default
        // address are those the database's mail is stored under.
        name_->setReadOnly(true);
        address_->setReadOnly(true);
        name_->setFocusPolicy(Qt::ClickFocus);
        address_->setFocusPolicy(Qt::ClickFocus);
        alternatives_[0]->setFocus();
    } else {
        name_->setFocus();
    }
}

MailBoxForm::~MailBoxForm() = default;

bool MailBoxForm::complete() {
    std::vector<std::string> alts;
    for (QLineEdit* e : alternatives_) alts.push_back(stored(e->text()));
    DbResult r;
    if (request_ == Request::Insert) {
        session_->Mem.FileDir = frame_.session().Mem.FileDir;
        r = addMailDatabase(*session_, stored(name_->text()), stored(address_->text()), alts, rememberId_);
    } else {
        r = setAltAddresses(*session_, forumId_, alts);
    }
    if (!r.ok()) {
        // A blank name or address has beeped, a write failure was reported:
        // the form stays open on the name.
        if (request_ == Request::Insert) {
            name_->setFocus();
            name_->selectAll();
        }
        return false;
    }
    forumId_ = r.id;
    if (rememberId_) frame_.session().prefs.numbers[pref::LastMailDatabase] = int32_t(r.id);
    emit saved(r.id);
    emit CatalogueNotice::instance().changed();
    return true;
}

void MailBoxForm::accept() {
    if (complete()) QDialog::accept();
}

}  // namespace quill::shell

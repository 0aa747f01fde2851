#include "shell/windows/TopicForm.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QVBoxLayout>

namespace quill::shell {

std::function<bool(TopicForm&)> TopicForm::runner = [](TopicForm& f) { return f.exec() == QDialog::Accepted; };

void closeChildWindow(QWidget* w) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
        sub->close();
    else
        w->close();
}

void codesChanged(Frame& frame) {
    for (const char* name : {"BrowseTopics", "TopicProc", "Lkup1", "ClassifyProc"})
        if (auto* l = dynamic_cast<CodeListener*>(frame.window(name))) l->reloadCodes();
}

TopicForm::TopicForm(Session& s, int request, const CodeEntry& code, QWidget* parent)
    : QDialog(parent), s_(s), request_(request), code_(code) {
    const bool keyWord = code.type == CodeKeyWord;
    const QString what = keyWord ? "Key Word" : "Topic";
    QString title, acceptText;
    switch (request) {
        case InsertRecord: title = " Add New " + what; acceptText = " Accept new " + what; break;
        case ChangeRecord: title = " Update " + what; acceptText = " Accept updated " + what; break;
        default: title = " Delete " + what; acceptText = " Confirm deletion of " + what; break;
    }
    setWindowTitle(title);
    name_ = new QLineEdit(shown(code.name), this);
    name_->setMaxLength(40);
    name_->setReadOnly(request == DeleteRecord);
    auto* form = new QFormLayout;
    form->addRow(keyWord ? "Search string:" : "Topic:", name_);
    matchCase_ = new QCheckBox("Match case", this);
    matchWord_ = new QCheckBox("Match word", this);
    matchCase_->setChecked(code.charCase);
    matchWord_->setChecked(code.wordOnly);
    matchCase_->setEnabled(request != DeleteRecord);
    matchWord_->setEnabled(request != DeleteRecord);
    if (keyWord) {
        form->addRow(QString(), matchCase_);
        form->addRow(QString(), matchWord_);
    } else {
        matchCase_->hide();
        matchWord_->hide();
    }
    auto* buttons = new QDialogButtonBox(this);
    accept_ = buttons->addButton(acceptText, QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(accept_, &QPushButton::clicked, this, [this] { save(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

bool TopicForm::save() {
    const std::string name = stored(name_->text().trimmed());
    const bool keyWord = code_.type == CodeKeyWord;
    const bool charCase = keyWord && matchCase_->isChecked();
    const bool wordOnly = keyWord && matchWord_->isChecked();
    CodeResult r;
    switch (request_) {
        case InsertRecord: r = addCode(s_, code_.type, name, charCase, wordOnly); break;
        case ChangeRecord: r = changeCode(s_, code_.id, name, charCase, wordOnly); break;
        default: r = deleteCode(s_, code_.id); break;
    }
    if (!r.ok()) {
        name_->setFocus();
        name_->selectAll();
        return false;
    }
    if (request_ == InsertRecord) code_.id = r.id;
    code_.name = name;
    code_.charCase = charCase;
    code_.wordOnly = wordOnly;
    accept();
    return true;
}

bool runCodeForm(Frame& frame, Session& s, int request, const CodeEntry& code, QWidget* parent) {
    s.GlobalRequest = request;
    TopicForm form(s, request, code, parent);
    bool done = TopicForm::runner(form) && form.result() == QDialog::Accepted;
    s.GlobalResponse = done ? 1 : 2;
    if (done) codesChanged(frame);
    return done;
}

}  // namespace quill::shell

// The topic form (also the key word form): insert, change or delete one code
// of the Codes file, and the notice that tells the open code windows to
// reload after a change.
#pragma once

#include <QDialog>
#include <functional>

#include "search/Codes.h"
#include "shell/Frame.h"

class QLineEdit;
class QCheckBox;
class QPushButton;

namespace quill::shell {

// A window that shows codes and reloads them when they change.
class CodeListener {
public:
    virtual ~CodeListener() = default;
    virtual void reloadCodes() = 0;
};
// Closes the child window that holds w (or w itself when it stands alone):
// closing only the widget would leave an empty frame in the window area.
void closeChildWindow(QWidget* w);

// Tells every open code window (the topic list, the per-message topics, the
// key word list, set classification) to reload.
void codesChanged(Frame& frame);

enum FormRequest { InsertRecord = 1, ChangeRecord = 2, DeleteRecord = 3 };

class TopicForm : public QDialog {
    Q_OBJECT
public:
    // request: InsertRecord, ChangeRecord or DeleteRecord; code: the record
    // to change or delete (its type is taken for an insert).
    TopicForm(Session& s, int request, const CodeEntry& code, QWidget* parent = nullptr);

    QLineEdit* nameEdit() const { return name_; }
    QCheckBox* matchCase() const { return matchCase_; }
    QCheckBox* matchWord() const { return matchWord_; }
    QPushButton* acceptButton() const { return accept_; }
    // The code written (its identifier after an insert).
    const CodeEntry& code() const { return code_; }

    // Writes the request; on success the form is accepted, on failure it
    // stays open with the focus on the name.
    bool save();

    // How the windows run the form; tests replace it to fill and save the
    // form instead of a person. Returns true when the form completed.
    static std::function<bool(TopicForm&)> runner;

private:
    Session& s_;
    int request_;
    CodeEntry code_;
    QLineEdit* name_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QCheckBox* matchWord_ = nullptr;
    QPushButton* accept_ = nullptr;
};

// Runs the form over the window's session; sets GlobalRequest and
// GlobalResponse (1 completed, 2 cancelled) and, when it completed, tells the
// code windows. Returns true when completed.
bool runCodeForm(Frame& frame, Session& s, int request, const CodeEntry& code, QWidget* parent);

}  // namespace quill::shell

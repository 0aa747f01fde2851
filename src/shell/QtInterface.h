// The user interface of the desktop program: message boxes and questions as
// dialogs over the frame, notices on its status bar.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "database/UserInterface.h"

namespace quill::shell {

class QtInterface : public UserInterface {
public:
    // Dialogs open over this window (the frame once it exists).
    void setParent(QWidget* w) { parent_ = w; }
    // Where notices go (the frame's status bar).
    std::function<void(const QString&)> onNotice;
    // Tests answer questions instead of a person: when set, it is called
    // instead of showing a dialog and its answer is taken.
    std::function<Button(const std::string& text, const std::string& caption)> answerer;
    std::vector<std::string> shownTexts;  // every message and question text, for tests

    void message(const std::string& text, const std::string& caption, Icon icon) override;
    Button ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
               Button defaultButton, Icon icon) override;
    void beep() override;
    void notice(const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace quill::shell

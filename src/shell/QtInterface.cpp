#include "shell/QtInterface.h"

#include <QApplication>
#include <QMessageBox>

#include "shell/Shell.h"

namespace quill::shell {

namespace {
QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
        case Icon::Information: return QMessageBox::Information;
        case Icon::Exclamation: return QMessageBox::Warning;
        case Icon::Question: return QMessageBox::Question;
        case Icon::Hand: return QMessageBox::Critical;
        default: return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButton standard(Button b) {
    switch (b) {
        case Button::Ok: return QMessageBox::Ok;
        case Button::Cancel: return QMessageBox::Cancel;
        case Button::Yes: return QMessageBox::Yes;
        case Button::No: return QMessageBox::No;
        case Button::Abort: return QMessageBox::Abort;
        case Button::Retry: return QMessageBox::Retry;
        case Button::Ignore: return QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

// Message texts use "|" and CR LF for line breaks.
QString boxText(const std::string& text) {
    QString t = shown(text);
    t.replace("\r\n", "\n");
    t.replace('|', '\n');
    return t;
}
}  // namespace

void QtInterface::message(const std::string& text, const std::string& caption, Icon icon) {
    shownTexts.push_back(text);
    if (answerer) {
        answerer(text, caption);
        return;
    }
    QMessageBox box(boxIcon(icon), shown(caption).trimmed(), boxText(text), QMessageBox::Ok, parent_);
    box.exec();
}

Button QtInterface::ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
                        Button defaultButton, Icon icon) {
    shownTexts.push_back(text);
    if (answerer) return answerer(text, caption);
    QMessageBox box(boxIcon(icon), shown(caption).trimmed(), boxText(text), QMessageBox::NoButton, parent_);
    for (Button b : buttons) box.addButton(standard(b));
    box.setDefaultButton(standard(defaultButton));
    int r = box.exec();
    for (Button b : buttons)
        if (r == standard(b)) return b;
    return defaultButton;
}

void QtInterface::beep() { QApplication::beep(); }

void QtInterface::notice(const std::string& text) {
    if (onNotice) onNotice(shown(text));
}

}  // namespace quill::shell

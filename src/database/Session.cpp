#include "database/Session.h"

namespace quill {

Session::Session(UserInterface& userInterface) : ui(&userInterface) {
    // A damaged file, or one that another program keeps locked beyond the
    // wait, ends the program with the file's name: a listing never stops
    // short as if the file ended there.
    store.onReadFault = [this](const std::string& name, int code, const std::string& text) {
        std::string cause = code == IsLockedErr ? "The file is locked by another program (file locked)." : text;
        stop("The file " + name + " cannot be read.\r\n" + cause + "\r\nQuillmer will terminate.", "File Read Error");
    };
}

Session::~Session() {
    // An open transaction is never committed by an ending program.
    if (store.inTransaction()) (void)store.rollback();
}

RecordFile* Session::file(int number) {
    switch (number) {
#define QUILL_FILE_CASE(Label, Prefix) \
    case Label##File::Number:          \
        return &Label;
        QUILL_FOR_EACH_FILE(QUILL_FILE_CASE)
#undef QUILL_FILE_CASE
        default:
            return nullptr;
    }
}

void Session::tell(const std::string& text, const std::string& caption, Icon icon) {
    if (!unattended()) ui->message(text, caption, icon);
}

Button Session::ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
                    Button defaultButton, Icon icon) {
    if (unattended()) return defaultButton;
    return ui->ask(text, caption, buttons, defaultButton, icon);
}

void Session::beep() {
    if (!unattended()) ui->beep();
}

void Session::stop(const std::string& text, const std::string& caption, const std::string& notice) {
    if (!unattended()) {
        ui->message(text, caption, Icon::Hand);
        if (!notice.empty()) ui->notice(notice);
    }
    if (store.inTransaction()) (void)store.rollback();
    throw ProgramStop(text, caption, notice);
}

}  // namespace quill

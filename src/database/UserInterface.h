// Everything the core tells or asks the user goes through this interface:
// the desktop program shows dialogs, the command-line tool writes to stderr,
// the tests record the exact texts.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace quill {

enum class Button { Ok = 1, Cancel, Yes, No, Abort, Retry, Ignore };
enum class Icon { None, Information, Exclamation, Question, Hand };

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // A message box with an OK button.
    virtual void message(const std::string& text, const std::string& caption, Icon icon) = 0;
    // A question; the answer is one of the buttons.
    virtual Button ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
                       Button defaultButton, Icon icon) = 0;
    virtual void beep() = 0;
    // A line of status text (progress of a long run, a closing notice).
    virtual void notice(const std::string& text) = 0;
};

// The program stops after a fatal error: the stack unwinds to the program's
// top, open transactions are rolled back, and the program ends with the text.
class ProgramStop : public std::runtime_error {
public:
    ProgramStop(std::string text, std::string caption, std::string notice)
        : std::runtime_error(text), text_(std::move(text)), caption_(std::move(caption)), notice_(std::move(notice)) {}
    const std::string& text() const { return text_; }
    const std::string& caption() const { return caption_; }
    const std::string& notice() const { return notice_; }

private:
    std::string text_, caption_, notice_;
};

// Answers every question with its default and keeps nothing: for unattended
// work and for tools that must not talk.
class SilentInterface : public UserInterface {
public:
    void message(const std::string&, const std::string&, Icon) override {}
    Button ask(const std::string&, const std::string&, const std::vector<Button>&, Button d, Icon) override {
        return d;
    }
    void beep() override {}
    void notice(const std::string&) override {}
};

}  // namespace quill

// Test helpers: a user interface that records what the core says, and a
// fresh installation in its own temporary directory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "database/Session.h"
#include "database/UserInterface.h"

namespace quill::test {

struct Shown {
    std::string text;
    std::string caption;
};

class RecordingInterface : public UserInterface {
public:
    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::vector<std::string> notices;
    int beeps = 0;
    // The answer every question gets; Default takes the question's default.
    enum class Answer { Default, Yes, No } answer = Answer::Default;

    void message(const std::string& text, const std::string& caption, Icon) override;
    Button ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
               Button defaultButton, Icon) override;
    void beep() override { ++beeps; }
    void notice(const std::string& text) override { notices.push_back(text); }
    void clear();
};

// A new temporary directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A fresh installation: home directory, session and recording interface.
struct Installation {
    TempDir dir;
    RecordingInterface ui;
    std::unique_ptr<Session> session;
    Installation();
    Session& s() { return *session; }
    // A second session on the same installation (another program instance).
    std::unique_ptr<Session> another(UserInterface& ui);
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// Runs the command-line tool; returns its exit status and fills out/err.
int runCli(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr);

}  // namespace quill::test

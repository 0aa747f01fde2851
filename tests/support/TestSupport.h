// Test helpers: a user interface that records what the core says, and a
// fresh installation in its own temporary directory.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
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

// A forked child process, killed and reaped when the guard goes: a test that
// stops half-way on a failed ASSERT never leaves its child behind (an orphan
// would keep its locks and the test's output pipe, and ctest would wait).
// The child is also killed when the test process itself dies (or ends at
// once with 98 when that process is gone before the child has started).
class ChildProcess {
public:
    // Forks; the child runs body and ends with _exit(body()), or _exit(99)
    // when body throws. It never returns into the test framework.
    explicit ChildProcess(const std::function<int()>& body);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // The child's process id; -1 when the fork failed or it has been reaped.
    pid_t pid() const { return pid_; }
    // Kills the child with SIGKILL and reaps it; returns its wait status,
    // or -1 when there is no child.
    int kill();
    // Waits until the child ends by itself; returns its wait status, or -1.
    int wait();

private:
    pid_t pid_ = -1;
};

// A pipe that closes its ends when it goes. A parent that closes its write
// end right after forking reads end-of-file when the child dies, instead of
// waiting for ever on a byte that never comes.
class Pipe {
public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool ok() const { return fds_[0] >= 0; }
    int readFd() const { return fds_[0]; }
    int writeFd() const { return fds_[1]; }
    void closeRead();
    void closeWrite();
    // Writes one byte; false on failure.
    bool send(char byte);
    // Reads one byte; -1 at end-of-file or on failure.
    int receive();

private:
    int fds_[2] = {-1, -1};
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// Runs the command-line tool; returns its exit status and fills out/err.
int runCli(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr);

// A test of the command-line tool over an installation in its own home
// directory, with a second directory for the files it imports.
class CliTest : public ::testing::Test {
protected:
    TempDir home;
    TempDir files;
    std::string out, err;
    // Runs the tool on home; out and err hold what it printed.
    int cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", home.path()});
        return runCli(args, &out, &err);
    }
};

}  // namespace quill::test

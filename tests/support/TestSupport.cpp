#include "support/TestSupport.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "database/Installation.h"

namespace quill::test {

void RecordingInterface::message(const std::string& text, const std::string& caption, Icon) {
    messages.push_back({text, caption});
}

Button RecordingInterface::ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
                               Button defaultButton, Icon) {
    questions.push_back({text, caption});
    auto has = [&](Button b) {
        for (auto x : buttons)
            if (x == b) return true;
        return false;
    };
    if (answer == Answer::Yes && has(Button::Yes)) return Button::Yes;
    if (answer == Answer::No && has(Button::No)) return Button::No;
    return defaultButton;
}

void RecordingInterface::clear() {
    messages.clear();
    questions.clear();
    notices.clear();
    beeps = 0;
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillmer-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    char* p = ::mkdtemp(buf.data());
    path_ = p ? p : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

Installation::Installation() {
    session = std::make_unique<Session>(ui);
    openInstallation(*session, dir.path());
    ui.clear();
}

std::unique_ptr<Session> Installation::another(UserInterface& otherUi) {
    auto s = std::make_unique<Session>(otherUi);
    openInstallation(*s, dir.path());
    return s;
}

ChildProcess::ChildProcess(const std::function<int()>& body) {
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ != 0) return;
    // The child dies with the test process too, so that a test killed by
    // its timeout leaves no orphan behind; a parent already gone by now
    // would never send the signal.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(98);
    int code = 99;
    try {
        code = body();
    } catch (...) {
    }
    ::_exit(code);
}

ChildProcess::~ChildProcess() { (void)kill(); }

int ChildProcess::kill() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGKILL);
    return wait();
}

int ChildProcess::wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    return r < 0 ? -1 : status;
}

Pipe::Pipe() {
    if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
}

Pipe::~Pipe() {
    closeRead();
    closeWrite();
}

void Pipe::closeRead() {
    if (fds_[0] >= 0) ::close(fds_[0]);
    fds_[0] = -1;
}

void Pipe::closeWrite() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
}

bool Pipe::send(char byte) { return fds_[1] >= 0 && ::write(fds_[1], &byte, 1) == 1; }

int Pipe::receive() {
    if (fds_[0] < 0) return -1;
    unsigned char b = 0;
    ssize_t n;
    do {
        n = ::read(fds_[0], &b, 1);
    } while (n < 0 && errno == EINTR);
    return n == 1 ? b : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

int runCli(const std::vector<std::string>& args, std::string* out, std::string* err) {
    TempDir io;
    std::string cmd = QUILL_CLI_PATH;
    for (auto& a : args) {
        std::string q = "'";
        for (char ch : a) {
            if (ch == '\'') q += "'\\''";
            else q.push_back(ch);
        }
        cmd += " " + q + "'";
    }
    cmd += " >" + (io / "out") + " 2>" + (io / "err") + " </dev/null";
    int rc = std::system(cmd.c_str());
    if (out) *out = readFile(io / "out");
    if (err) *err = readFile(io / "err");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace quill::test

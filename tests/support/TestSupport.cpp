#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

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

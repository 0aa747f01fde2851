// The command-line tool's shared pieces: the terminal user interface, the
// verb table and small output helpers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/Installation.h"
#include "database/Session.h"
#include "database/UserInterface.h"

namespace quill::cli {

// Messages go to stderr (converted to UTF-8); a question takes its default
// unless --yes or --no was given.
class TerminalInterface : public UserInterface {
public:
    enum class Answer { Default, Yes, No };
    Answer answer = Answer::Default;
    void message(const std::string& text, const std::string& caption, Icon icon) override;
    Button ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
               Button defaultButton, Icon icon) override;
    void beep() override;
    void notice(const std::string& text) override;
};

struct Context {
    std::string home;
    TerminalInterface ui;
    std::unique_ptr<Session> session;
    // Opens the installation at home (creating what is missing).
    Session& open();
};

struct Verb {
    const char* name;
    const char* usage;     // the arguments after the verb
    const char* summary;
    std::function<int(Context&, std::vector<std::string>&)> run;
};

// The verbs, in the order --help lists them.
const std::vector<Verb>& verbs();

// Output helpers.
std::string jsonString(const std::string& utf8);
std::string toTerminal(const std::string& cp1252);
// Takes "--name" from args; true when it was there.
bool takeFlag(std::vector<std::string>& args, const std::string& name);
// Takes "--name VALUE" (or --name=VALUE); empty optional when absent.
bool takeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
// Exit statuses of the tool.
enum ExitStatus : int {
    ExitOk = 0,
    ExitRefused = 1,  // the request was refused, a run ended early, verify found a fault
    ExitUsage = 2,    // the command line was wrong
    ExitFatal = 3,    // a fatal error stopped the program (a file that cannot be opened or read ...)
};
// A one-line cause on stderr and the exit status for a usage error.
int fail(const std::string& cause);
bool wantsHelp(const std::vector<std::string>& args);
// A database by its identifier or its name (letter case aside).
bool findDatabase(Session& s, const std::string& given, CatalogueEntry& out);
int printVerbHelp(const Verb& v);

// Verb entry points, one file each.
int verbInit(Context& c, std::vector<std::string>& args);
int verbDb(Context& c, std::vector<std::string>& args);
int verbParse(Context& c, std::vector<std::string>& args);
int verbImport(Context& c, std::vector<std::string>& args);
int verbBatch(Context& c, std::vector<std::string>& args);
int verbMessages(Context& c, std::vector<std::string>& args);
int verbShow(Context& c, std::vector<std::string>& args);
int verbIndex(Context& c, std::vector<std::string>& args);
int verbSearch(Context& c, std::vector<std::string>& args);
int verbTopics(Context& c, std::vector<std::string>& args);
int verbKeywords(Context& c, std::vector<std::string>& args);
int verbVerify(Context& c, std::vector<std::string>& args);

}  // namespace quill::cli

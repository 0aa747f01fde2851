// quillmer-cli: the command-line tool over an installation.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "database/UserInterface.h"

using namespace quill;
using namespace quill::cli;

namespace {
int usage(std::ostream& os) {
    os << "usage: quillmer-cli [--home DIR] [--yes|--no] VERB [ARGS]\n\n"
          "Quillmer's command-line tool. Without --home the installation is the current directory.\n"
          "Questions take their default answer unless --yes or --no is given.\n\nVerbs:\n";
    for (auto& v : verbs()) os << "  " << v.name << " " << v.usage << "\n";
    os << "\n'quillmer-cli VERB --help' describes a verb.\n";
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    Context c;
    c.home = ".";
    std::vector<std::string> args(argv + 1, argv + argc);
    std::size_t i = 0;
    // Global options stand before the verb.
    while (i < args.size() && args[i].rfind("--", 0) == 0) {
        if (args[i] == "--help" || args[i] == "-h") return usage(std::cout);
        if (args[i] == "--home" && i + 1 < args.size()) {
            c.home = args[i + 1];
            i += 2;
        } else if (args[i].rfind("--home=", 0) == 0) {
            c.home = args[i].substr(7);
            ++i;
        } else if (args[i] == "--yes") {
            c.ui.answer = TerminalInterface::Answer::Yes;
            ++i;
        } else if (args[i] == "--no") {
            c.ui.answer = TerminalInterface::Answer::No;
            ++i;
        } else {
            return fail("unknown option " + args[i] + " (see --help)");
        }
    }
    if (i >= args.size()) {
        usage(std::cerr);
        return 2;
    }
    std::string name = args[i];
    std::vector<std::string> rest(args.begin() + long(i) + 1, args.end());
    for (auto& v : verbs()) {
        if (name != v.name) continue;
        if (wantsHelp(rest)) return printVerbHelp(v);
        try {
            return v.run(c, rest);
        } catch (const ProgramStop& stop) {
            std::string t = stop.text();
            for (auto& ch : t)
                if (ch == '\r' || ch == '\n') ch = ' ';
            std::cerr << "quillmer-cli: " << toTerminal(t) << "\n";
            return ExitFatal;
        }
    }
    return fail("unknown verb '" + name + "' (see --help)");
}

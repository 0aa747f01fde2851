#include "cli/Cli.h"

#include <cstdio>
#include <iostream>

#include "database/Charset.h"
#include "database/Installation.h"

namespace quill::cli {

namespace {
std::string oneLine(std::string t) {
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
        if (t[i] == '\r' && t[i + 1] == '\n') t.erase(i, 1);
    return t;
}
}  // namespace

void TerminalInterface::message(const std::string& text, const std::string& caption, Icon) {
    std::cerr << toTerminal(oneLine(caption)) << ": " << toTerminal(oneLine(text)) << "\n";
}

Button TerminalInterface::ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
                              Button defaultButton, Icon) {
    Button b = defaultButton;
    auto has = [&](Button x) {
        for (auto y : buttons)
            if (y == x) return true;
        return false;
    };
    if (answer == Answer::Yes) b = has(Button::Yes) ? Button::Yes : has(Button::Ok) ? Button::Ok : defaultButton;
    if (answer == Answer::No) b = has(Button::No) ? Button::No : has(Button::Cancel) ? Button::Cancel : defaultButton;
    const char* name = b == Button::Yes ? "Yes" : b == Button::No ? "No" : b == Button::Ok ? "OK" : b == Button::Cancel ? "Cancel" : "answer";
    std::cerr << toTerminal(oneLine(caption)) << ": " << toTerminal(oneLine(text)) << " [" << name << "]\n";
    return b;
}

void TerminalInterface::beep() {}

void TerminalInterface::notice(const std::string& text) { std::cerr << toTerminal(oneLine(text)) << "\n"; }

Session& Context::open() {
    if (!session) {
        session = std::make_unique<Session>(ui);
        openInstallation(*session, home);
    }
    return *session;
}

std::string toTerminal(const std::string& cp1252) { return cp1252ToUtf8(cp1252); }

std::string jsonString(const std::string& utf8) {
    std::string o = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"': o += "\\\""; break;
            case '\\': o += "\\\\"; break;
            case '\n': o += "\\n"; break;
            case '\r': o += "\\r"; break;
            case '\t': o += "\\t"; break;
            default:
                if (c < 0x20) {
                    char b[8];
                    std::snprintf(b, sizeof b, "\\u%04x", c);
                    o += b;
                } else {
                    o.push_back(char(c));
                }
        }
    }
    return o + "\"";
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == name) {
            args.erase(it);
            return true;
        }
    }
    return false;
}

bool takeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name && i + 1 < args.size()) {
            value = args[i + 1];
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            return true;
        }
        if (args[i].rfind(name + "=", 0) == 0) {
            value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + long(i));
            return true;
        }
    }
    return false;
}

int fail(const std::string& cause) {
    std::cerr << "quillmer-cli: " << cause << "\n";
    return 2;
}

bool wantsHelp(const std::vector<std::string>& args) {
    for (auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

int printVerbHelp(const Verb& v) {
    std::cout << "usage: quillmer-cli [--home DIR] [--yes|--no] " << v.name << " " << v.usage << "\n\n"
              << v.summary << "\n";
    return 0;
}

const std::vector<Verb>& verbs() {
    static const std::vector<Verb> v = {
        {"init", "", "Creates an installation (CFG, TEMP and the configuration files) in the home directory.",
         verbInit},
        {"db", "list|add-forum|add-mail|set-alt|select ...",
         "Works with the catalogue of archive databases.\n\n"
         "  db list [--json]\n"
         "      lists every database: identifier, kind, description, directory and\n"
         "      message count; the active database is marked with \"*\" (\"active\" in --json).\n"
         "  db add-forum NAME\n"
         "      creates a forum database and its directory.\n"
         "  db add-mail NAME ADDRESS [--alt ADDRESS]...\n"
         "      creates a mail database whose owner is NAME at the default ADDRESS, with up\n"
         "      to ten alternative addresses of the owner.\n"
         "  db set-alt NAME [ADDRESS]...\n"
         "      replaces the alternative addresses of a mail database (none: removes them).\n"
         "  db select TEXT [--type forum|mail|news]\n"
         "      makes the one database whose name starts with TEXT (any letter case) the\n"
         "      active one; with several or no matches it lists the candidates and exits 1.\n\n"
         "A duplicate name is refused with the catalogue's message and exit status 1.",
         verbDb},
        {"parse", "FILE [--owner ADDRESS] [--json]",
         "Reads one Internet message file (RFC 822 headers and body, as a mail or news reader\n"
         "stages it) and prints what the parsers find: sender and receiver name and address,\n"
         "subject, date and time, newsgroup, message kind, content kind, the line where the\n"
         "body starts, and the text that would be stored. With --json one object with the\n"
         "keys of 'messages --json' plus message_kind, content_kind and body_start.\n"
         "Mail is read as a mailbox reader reads it: the owner of the mailbox is the\n"
         "receiver of mail that others sent. --owner ADDRESS names that owner.",
         verbParse},
    };
    return v;
}

}  // namespace quill::cli

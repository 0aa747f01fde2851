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
    return ExitUsage;
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
        {"parse", "FILE [--owner ADDRESS] [--type NAME] [--json]",
         "Reads one Internet message file (RFC 822 headers and body, as a mail or news reader\n"
         "stages it) and prints what the parsers find: sender and receiver name and address,\n"
         "subject, date and time, newsgroup, message kind, content kind, the line where the\n"
         "body starts, and the text that would be stored. With --json one object with the\n"
         "keys of 'messages --json' plus message_kind, content_kind and body_start.\n"
         "Mail is read as a mailbox reader reads it: the owner of the mailbox is the\n"
         "receiver of mail that others sent. --owner ADDRESS names that owner.\n"
         "--type NAME reads the message exactly as that mail or news import type's reader\n"
         "does (see import --list-types); without it a message with a Newsgroups line is\n"
         "read as news (\"Unix News\"), any other as mail (\"Generic Mail Type 2\").",
         verbParse},
        {"import",
         "--type NAME [--into FORUM] [--mailbox MAILDB] [--recursive DIR | --dir DIR | FILE...] [options]",
         "Imports message files into the archive and prints every message of the run.\n\n"
         "  --type NAME          the file type (see import --list-types; a name or its number)\n"
         "  --into FORUM         the forum database (created by the run when it does not exist)\n"
         "  --mailbox MAILDB     the mail database that receives mail\n"
         "  --recursive DIR      every matching file in DIR and all its subdirectories\n"
         "  --dir DIR            every matching file in DIR\n"
         "  FILE...              the files given\n"
         "  --masks \"*.MBX;*.TXT\" file masks for --recursive and --dir (default: the type's masks)\n"
         "  --forum-msgs|--no-forum-msgs, --mail|--no-mail, --news|--no-news\n"
         "                       which kinds of message to take (default: all)\n"
         "  --allow-reimport     store messages that are already in the archive again\n"
         "  --topic ID           give every imported mail the key-word topic ID\n"
         "  --save DESCRIPTION   also save the definition as a predefined import procedure\n"
         "  import --list-types  prints the file type table\n\n"
         "Diagnostic: --type \"Test Fixture\" reads the plain fixture format of the tests\n"
         "(see src/import/readers/FixtureReader.h). Exit status 0 after the normal end of\n"
         "the run, 1 when it ended early, 2 for a usage error.",
         verbImport},
        {"batch", "list [--json] | run ID",
         "Works with the predefined import procedures.\n\n"
         "  batch list [--json]  lists every saved import procedure\n"
         "  batch run ID         runs a saved procedure (exit status as for import)",
         verbBatch},
        {"messages", "DATABASE [--json] [--text]",
         "Lists the stored messages of a database (its name or identifier), newest first.\n"
         "Forum and news: number, date, thread subject, sender, receiver, section, reference;\n"
         "mail: identifier, date, time, subject, sender, receiver, partner (tab-separated).\n"
         "--json prints one object per line; --text adds each message's text.",
         verbMessages},
        {"show", "ID [--db DATABASE] [--json]",
         "Prints the message (forum or news number, or mail identifier) with its text;\n"
         "without --db every database is searched and every match is printed.",
         verbShow},
        {"index", "DATABASE [--full|--partial|--recount]",
         "Builds the word index of a database (its name or identifier).\n\n"
         "  --partial  indexes the messages not indexed before (the default)\n"
         "  --full     indexes every message again, replacing the index\n"
         "  --recount  recounts the indexed words and recommends --full or --partial\n\n"
         "A progress bar runs on a terminal; the summary goes to stdout.",
         verbIndex},
        {"search", "DATABASE QUERY... [--json] [--pause-after N]",
         "Searches the word index of a database, stores the result set and prints one hit\n"
         "per line, newest message number first: number, date, sender, subject (tab-separated; --json: one\n"
         "object per line). QUERY: words (all must occur), \"quoted phrases\", a OR b,\n"
         "-word (must not occur), from:TEXT, to:TEXT, subject:TEXT and\n"
         "date:YYYY[-MM[-DD]][..YYYY[-MM[-DD]]]. --pause-after N asks after every N scanned\n"
         "index entries whether to go on (--no stops there). Exit status 1 when nothing is found.",
         verbSearch},
        {"topics", "DATABASE [list [TOPIC] | add NAME | rename NAME NEW | delete NAME | attach|detach NAME (MSG... | --result)]",
         "Works with the topics of a database.\n\n"
         "  topics DB [list]           every topic with its number of messages (recounted)\n"
         "  topics DB list TOPIC       the messages linked to the topic, newest number first\n"
         "  topics DB add NAME         a new topic (names are unique, letter case aside)\n"
         "  topics DB rename NAME NEW  renames a topic\n"
         "  topics DB delete NAME      deletes a topic with all its links\n"
         "  topics DB attach NAME MSG...   links the topic to the messages (--result: to\n"
         "                                 every message of the last search)\n"
         "  topics DB detach NAME MSG...   removes those links",
         verbTopics},
        {"keywords", "DATABASE [list | add TEXT [--case] [--word] | delete TEXT | run]",
         "Works with the key words of a database.\n\n"
         "  keywords DB [list]                 search string, links, match case, match word, updated\n"
         "  keywords DB add TEXT [--case] [--word]\n"
         "                                     a new key word; --case: letter case must agree;\n"
         "                                     --word: only whole words match\n"
         "  keywords DB delete TEXT            deletes a key word with its links\n"
         "  keywords DB run                    links every message that contains a key word",
         verbKeywords},
        {"verify", "[DATABASE...] [--repair]",
         "Checks the archive: SQLite's integrity check of every record file (run with the\n"
         "key function the indexes use), every message header with its text and every text\n"
         "with its header, the stored counts of messages, persons, threads and sections,\n"
         "the identifier generator above every identifier, every catalogue entry with its\n"
         "directory and ForumRef copy, and no journal left by a program that died.\n"
         "DATABASE (name or identifier) limits the database checks; the configuration\n"
         "files are always checked. Prints each fault with its file; exit status 1 when\n"
         "there is one.\n"
         "  --repair  recounts, rebuilds keys, raises the identifier generator, rewrites\n"
         "            missing ForumRef copies and rolls stale journals back, then checks\n"
         "            again. It never deletes a message.",
         verbVerify},
    };
    return v;
}

}  // namespace quill::cli

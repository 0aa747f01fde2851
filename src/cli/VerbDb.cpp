// quillmer-cli db: the catalogue of archive databases. Lists it, creates
// forum and mail databases, changes a mail database's alternative addresses
// and selects the active database by the typed lookup.
#include <iostream>

#include "cli/Cli.h"
#include "database/Catalogue.h"
#include "database/Charset.h"
#include "database/Installation.h"
#include "people/Databases.h"

namespace quill::cli {

namespace {

// Exit status when the catalogue refused the request (its message is on
// stderr) or the lookup chose nothing.
constexpr int kRefused = 1;

bool takeUnexpected(const std::vector<std::string>& args, const std::string& verb, int& status) {
    for (auto& a : args) {
        if (a.rfind("--", 0) == 0) {
            status = fail(verb + ": unknown option " + a);
            return true;
        }
    }
    return false;
}

void printEntry(uint32_t id, uint8_t type, const std::string& description, uint32_t dirNumber, bool marked) {
    std::cout << (marked ? "* " : "  ") << id << "  " << databaseTypeName(type) << "  " << toTerminal(description)
              << "  " << directoryName(dirNumber) << "\n";
}

int dbList(Context& c, std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    if (!args.empty()) return fail("db list: unexpected argument " + args[0]);
    Session& s = c.open();
    auto entries = listCatalogue(s);
    for (auto& e : entries) {
        bool active = e.id == s.Mem.ForumNumber && e.id != 0;
        if (json) {
            std::cout << "{\"id\":" << e.id << ",\"type\":" << jsonString(databaseTypeName(e.type))
                      << ",\"description\":" << jsonString(toTerminal(e.description)) << ",\"dirnumber\":" << e.dirNumber
                      << ",\"msgcount\":" << e.msgCount << ",\"status\":" << int(e.status)
                      << ",\"active\":" << (active ? "true" : "false") << "}\n";
        } else {
            std::cout << (active ? "* " : "  ") << e.id << "  " << databaseTypeName(e.type) << "  "
                      << toTerminal(e.description) << "  " << directoryName(e.dirNumber) << "  " << e.msgCount << "\n";
        }
    }
    if (!json && entries.empty()) std::cout << "No databases.\n";
    return 0;
}

// A database name from the command line, in the archive's character set.
bool takeName(const std::string& verb, const std::string& utf8, std::string& name, int& status) {
    name = utf8ToCp1252(utf8);
    if (name.size() > databaseNameWidth) {
        status = fail(verb + ": the name is longer than " + std::to_string(databaseNameWidth) + " characters");
        return false;
    }
    return true;
}

bool takeAddress(const std::string& verb, const std::string& utf8, std::string& address, int& status) {
    address = utf8ToCp1252(utf8);
    if (address.size() > mailAddressWidth) {
        status = fail(verb + ": the address " + utf8 + " is longer than " + std::to_string(mailAddressWidth) +
                      " characters");
        return false;
    }
    return true;
}

// The outcome of a create or change that did not succeed.
int refused(const std::string& verb, const DbResult& r) {
    switch (r.status) {
        case DbStatus::EmptyName: return fail(verb + ": the database name is empty");
        case DbStatus::MissingAddress: return fail(verb + ": a mail database needs a default address");
        case DbStatus::TooManyAddresses:
            return fail(verb + ": at most " + std::to_string(altAddressCount) + " alternative addresses");
        case DbStatus::NotFound: return fail(verb + ": no such database");
        case DbStatus::NotMail: return fail(verb + ": not a mail database");
        default:
            // The catalogue has told why on stderr.
            return kRefused;
    }
}

int dbAddForum(Context& c, std::vector<std::string>& args) {
    int status = 0;
    if (takeUnexpected(args, "db add-forum", status)) return status;
    if (args.size() != 1) return fail("db add-forum: expected one NAME");
    std::string name;
    if (!takeName("db add-forum", args[0], name, status)) return status;
    Session& s = c.open();
    DbResult r = addForumDatabase(s, name);
    if (!r.ok()) return refused("db add-forum", r);
    printEntry(r.id, TypeForum, name, r.dirNumber, false);
    return 0;
}

int dbAddMail(Context& c, std::vector<std::string>& args) {
    const std::string verb = "db add-mail";
    int status = 0;
    std::vector<std::string> alternatives;
    std::string value;
    while (takeOption(args, "--alt", value)) {
        std::string a;
        if (!takeAddress(verb, value, a, status)) return status;
        alternatives.push_back(a);
    }
    if (takeUnexpected(args, verb, status)) return status;
    if (args.size() != 2) return fail(verb + ": expected NAME and ADDRESS");
    std::string name, address;
    if (!takeName(verb, args[0], name, status) || !takeAddress(verb, args[1], address, status)) return status;
    Session& s = c.open();
    DbResult r = addMailDatabase(s, name, address, alternatives, true);
    if (!r.ok()) return refused(verb, r);
    printEntry(r.id, TypeMail, name, r.dirNumber, false);
    return 0;
}

void printCandidates(const ForumLookup& l, bool onlyMatches) {
    std::size_t from = onlyMatches ? l.position : 0;
    std::size_t to = onlyMatches ? l.position + l.matchCount : l.list.size();
    for (std::size_t i = from; i < to && i < l.list.size(); ++i) {
        const ForumCandidate& e = l.list[i];
        printEntry(e.id, e.type, e.description, e.dirNumber, false);
    }
}

int dbSetAlt(Context& c, std::vector<std::string>& args) {
    const std::string verb = "db set-alt";
    int status = 0;
    if (takeUnexpected(args, verb, status)) return status;
    if (args.empty()) return fail(verb + ": expected NAME [ADDRESS...]");
    std::string name;
    if (!takeName(verb, args[0], name, status)) return status;
    std::vector<std::string> alternatives;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string a;
        if (!takeAddress(verb, args[i], a, status)) return status;
        alternatives.push_back(a);
    }
    Session& s = c.open();
    uint32_t id = findDatabaseByName(s, name);
    if (id == 0) {
        // Not the whole name: the typed lookup among the mail databases.
        ForumLookup l = ForumLup(s, name, false, TypeMail);
        if (!l.chosen()) {
            printCandidates(l, l.outcome == LookupOutcome::Several);
            std::cerr << "quillmer-cli: " << verb << ": "
                      << (l.outcome == LookupOutcome::Several ? "several mail databases match '"
                                                              : "no mail database matches '")
                      << args[0] << "'\n";
            return kRefused;
        }
        id = l.id;
    }
    DbResult r = setAltAddresses(s, id, alternatives);
    if (!r.ok()) return refused(verb, r);
    return 0;
}

int dbSelect(Context& c, std::vector<std::string>& args) {
    const std::string verb = "db select";
    int status = 0;
    std::string typeName;
    uint8_t type = 0;
    if (takeOption(args, "--type", typeName)) {
        if (typeName == "forum") type = TypeForum;
        else if (typeName == "mail") type = TypeMail;
        else if (typeName == "news") type = TypeNewsgroup;
        else return fail(verb + ": --type is forum, mail or news");
    }
    if (takeUnexpected(args, verb, status)) return status;
    if (args.size() != 1) return fail(verb + ": expected one TEXT");
    std::string text;
    if (!takeName(verb, args[0], text, status)) return status;
    Session& s = c.open();
    ForumLookup l = ForumLup(s, text, false, type);
    if (!l.chosen()) {
        printCandidates(l, l.outcome == LookupOutcome::Several);
        if (l.outcome == LookupOutcome::Empty) {
            std::cerr << "quillmer-cli: " << verb << ": no name given\n";
        } else {
            std::cerr << "quillmer-cli: " << verb << ": "
                      << (l.outcome == LookupOutcome::Several ? "several databases match '" : "no database matches '")
                      << args[0] << "'\n";
        }
        return kRefused;
    }
    if (!activateDatabase(s, l.id)) return kRefused;
    printEntry(l.id, l.type, l.name, l.list[l.position].dirNumber, true);
    return 0;
}

}  // namespace

int verbDb(Context& c, std::vector<std::string>& args) {
    if (args.empty()) return fail("db: missing sub-command (see db --help)");
    std::string sub = args[0];
    args.erase(args.begin());
    using Run = int (*)(Context&, std::vector<std::string>&);
    static const std::pair<const char*, Run> subs[] = {
        {"list", dbList}, {"add-forum", dbAddForum}, {"add-mail", dbAddMail},
        {"set-alt", dbSetAlt}, {"select", dbSelect},
    };
    for (auto& [name, run] : subs) {
        if (sub != name) continue;
        // Every sub-command works with the remembered active database selected.
        (void)restoreActiveDatabase(c.open());
        return run(c, args);
    }
    return fail("db: unknown sub-command '" + sub + "'");
}

}  // namespace quill::cli

#include <iostream>

#include "cli/Cli.h"
#include "database/Catalogue.h"
#include "database/Installation.h"

namespace quill::cli {

namespace {
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
}  // namespace

int verbDb(Context& c, std::vector<std::string>& args) {
    if (args.empty()) return fail("db: missing sub-command (see db --help)");
    std::string sub = args[0];
    args.erase(args.begin());
    if (sub == "list") return dbList(c, args);
    return fail("db: unknown sub-command '" + sub + "'");
}

}  // namespace quill::cli

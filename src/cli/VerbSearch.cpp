// quillmer-cli search: runs a word search on one database, stores the result
// set and prints one hit per line.
#include <iostream>

#include "cli/Cli.h"
#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Charset.h"
#include "search/Search.h"

namespace quill::cli {

int verbSearch(Context& c, std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    std::string limit;
    bool haveLimit = takeOption(args, "--pause-after", limit);
    if (args.size() < 2) return fail("search: give a database and a search string");
    for (std::size_t i = 0; i < 1; ++i)
        if (args[i].rfind("--", 0) == 0) return fail("search: unknown option " + args[i]);
    int64_t scanLimit = 0;
    if (haveLimit) {
        try {
            scanLimit = std::stoll(limit);
        } catch (...) {
            return fail("search: --pause-after needs a number");
        }
    }
    Session& s = c.open();
    CatalogueEntry e;
    if (!findDatabase(s, args[0], e)) return fail("search: no database '" + args[0] + "'");
    if (!selectDatabase(s, e.id)) return fail("search: the database cannot be selected");
    std::string query;
    for (std::size_t i = 1; i < args.size(); ++i) query += (i > 1 ? " " : "") + args[i];
    SearchOutcome r = runSearch(s, utf8ToCp1252(query), scanLimit);
    if (!r.ok) return fail("search: " + r.error);
    if (r.cancelled) {
        std::cerr << "quillmer-cli: search: stopped after " << r.scanned << " index entries\n";
        return 1;
    }
    for (const ResultLine& l : describeMessages(s, r.ids)) {
        uint32_t id = l.id;
        if (json) {
            std::cout << "{\"msgnumber\":" << id << ",\"date\":"
                      << (l.date > 0 ? "\"" + isoDate(l.date) + "\"" : std::string("null"))
                      << ",\"time\":" << (l.time > 0 ? "\"" + isoTime(l.time) + "\"" : std::string("null"))
                      << ",\"from\":" << jsonString(toTerminal(l.from))
                      << ",\"subject\":" << jsonString(toTerminal(l.subject)) << "}\n";
        } else {
            std::cout << id << "\t" << isoDate(l.date) << "\t" << toTerminal(l.from) << "\t" << toTerminal(l.subject)
                      << "\n";
        }
    }
    if (s.Mem.WordListIndexNeedsUpdate != 0)
        std::cerr << "quillmer-cli: search: the word index is out of date; run 'index " << args[0] << "'\n";
    return r.ids.empty() ? 1 : 0;
}

}  // namespace quill::cli

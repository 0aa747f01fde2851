// quillmer-cli index: builds or brings up to date the word index of one
// database, with a progress bar on a terminal.
#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"
#include "database/Catalogue.h"
#include "search/WordIndex.h"

namespace quill::cli {

int verbIndex(Context& c, std::vector<std::string>& args) {
    bool full = takeFlag(args, "--full");
    bool partial = takeFlag(args, "--partial");
    bool recount = takeFlag(args, "--recount");
    for (auto& a : args)
        if (a.rfind("--", 0) == 0) return fail("index: unknown option " + a);
    if (args.size() != 1) return fail("index: give one database (name or identifier)");
    if (int(full) + int(partial) + int(recount) > 1) return fail("index: give one of --full, --partial, --recount");
    Session& s = c.open();
    CatalogueEntry e;
    if (!findDatabase(s, args[0], e)) return fail("index: no database '" + args[0] + "'");
    if (!selectDatabase(s, e.id)) return fail("index: the database cannot be selected");
    IndexMode mode = full ? IndexMode::Full : recount ? IndexMode::Recount : IndexMode::Partial;
    WordIndexRun run(s, mode);
    bool tty = ::isatty(2) != 0;
    int slices = 0;
    while (run.step()) {
        if (tty && ++slices % 4 == 0 && run.total() > 0) {
            int pct = int(run.progress() * 100 / run.total());
            int filled = pct * 30 / 100;
            std::cerr << "\r\033[K[" << std::string(std::size_t(filled), '#') << std::string(std::size_t(30 - filled), ' ')
                      << "] " << pct << "%  " << run.progress() << "/" << run.total() << std::flush;
        }
    }
    if (tty) std::cerr << "\r\033[K";
    if (run.failed()) {
        std::cerr << "quillmer-cli: index: " << run.failure() << "\n";
        return 1;
    }
    const IndexReport& r = run.report();
    if (mode == IndexMode::Recount) {
        std::cout << "messages " << r.messages << "  not indexed " << r.unindexed << "  words " << r.words << "\n";
        if (r.advice.empty()) std::cout << "The word index is up to date.\n";
        else std::cout << "Recommended: index --" << (r.advice == "Full" ? "full" : "partial") << "\n";
        return 0;
    }
    if (r.fullForced) std::cout << "The word definitions changed: the whole database was indexed again.\n";
    std::cout << "indexed " << r.indexed << " of " << r.messages << " messages  words " << r.words << "  new words "
              << r.newWords << "  links " << r.postings << "\n";
    for (auto& w : r.stopWordsAdded) std::cout << "stop word added: " << toTerminal(w) << "\n";
    return 0;
}

}  // namespace quill::cli

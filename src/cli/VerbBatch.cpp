// quillmer-cli batch: the predefined import procedures (Batches with their
// FileSpecs): list them, run one.
#include <iostream>

#include "cli/Cli.h"
#include "import/ImportDefinition.h"

namespace quill::cli {

int driveImport(Context& c, ImportDefinition& def);

namespace {

const char* methodName(uint8_t m) {
    switch (m) {
        case SelectTree: return "tree";
        case SelectDirectory: return "directory";
        case SelectFiles: return "files";
        default: return "unknown";
    }
}

int batchList(Context& c, std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    if (!args.empty()) return fail("batch list: unexpected argument " + args[0]);
    Session& s = c.open();
    auto defs = listImportDefinitions(s);
    for (auto& d : defs) {
        if (json) {
            std::cout << "{\"id\":" << d.id << ",\"description\":" << jsonString(toTerminal(d.description))
                      << ",\"filetype\":" << int(d.fileType) << ",\"type\":" << jsonString(toTerminal(d.typeName))
                      << ",\"path\":" << jsonString(toTerminal(d.impPath)) << ",\"method\":" << int(d.selMethod)
                      << ",\"masks\":" << jsonString(toTerminal(d.masks)) << ",\"database\":" << d.database
                      << ",\"mailbox\":" << d.mailbox << ",\"allowreimp\":" << int(d.allowReimp) << "}\n";
        } else {
            std::cout << d.id << "  " << toTerminal(d.description) << "  " << toTerminal(d.typeName) << "  "
                      << methodName(d.selMethod) << "  " << toTerminal(d.impPath) << "  " << toTerminal(d.masks)
                      << "\n";
        }
    }
    if (!json && defs.empty()) std::cout << "No import procedures.\n";
    return 0;
}

int batchRun(Context& c, std::vector<std::string>& args) {
    if (args.size() != 1) return fail("batch run: give one procedure identifier");
    uint32_t id = 0;
    try {
        id = uint32_t(std::stoul(args[0]));
    } catch (...) {
        return fail("batch run: '" + args[0] + "' is not an identifier");
    }
    Session& s = c.open();
    auto def = loadImportDefinition(s, id);
    if (!def) return fail("batch run: no import procedure " + args[0]);
    if (def->typeName.empty()) return fail("batch run: procedure " + args[0] + " has an unknown file type");
    return driveImport(c, *def);
}

}  // namespace

int verbBatch(Context& c, std::vector<std::string>& args) {
    if (args.empty()) return fail("batch: missing sub-command (see batch --help)");
    std::string sub = args[0];
    args.erase(args.begin());
    if (sub == "list") return batchList(c, args);
    if (sub == "run") return batchRun(c, args);
    return fail("batch: unknown sub-command '" + sub + "'");
}

}  // namespace quill::cli

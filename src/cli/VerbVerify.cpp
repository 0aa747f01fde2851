// quillmer-cli verify: checks an archive (every record file and the
// archive's own invariants) and, with --repair, mends what can be mended
// without deleting a message.
#include <iostream>

#include "cli/Cli.h"
#include "database/Charset.h"
#include "database/Installation.h"
#include "database/Types.h"
#include "maintenance/Verify.h"

namespace quill::cli {

int verbVerify(Context& c, std::vector<std::string>& args) {
    bool repair = takeFlag(args, "--repair");
    for (auto& a : args)
        if (a.rfind("--", 0) == 0) return fail("verify: unknown option " + a);
    Session& s = c.open();
    std::vector<uint32_t> ids;
    auto entries = listCatalogue(s);
    for (auto& given : args) {
        std::string name = utf8ToCp1252(given);
        bool found = false;
        for (auto& e : entries) {
            if (std::to_string(e.id) == given || upper1252(e.description) == upper1252(name)) {
                ids.push_back(e.id);
                found = true;
            }
        }
        if (!found) return fail("verify: no database '" + given + "'");
    }
    VerifyResult r = verifyArchive(s, ids, repair);
    for (auto& f : r.repairs) std::cout << "repaired: " << toTerminal(f.file) << ": " << toTerminal(f.text) << "\n";
    for (auto& f : r.faults) std::cout << toTerminal(f.file) << ": " << toTerminal(f.text) << "\n";
    if (r.faults.empty()) {
        std::cout << "No faults found.\n";
        return ExitOk;
    }
    std::cout << r.faults.size() << (r.faults.size() == 1 ? " fault" : " faults") << " found.\n";
    return ExitRefused;
}

}  // namespace quill::cli

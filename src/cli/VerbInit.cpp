#include <iostream>

#include "cli/Cli.h"

namespace quill::cli {

int verbInit(Context& c, std::vector<std::string>& args) {
    if (!args.empty()) return fail("init takes no arguments");
    Session& s = c.open();
    std::cout << "Installation ready in " << s.Mem.Net << "\n";
    return 0;
}

}  // namespace quill::cli

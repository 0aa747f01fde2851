// Imports fixture messages for the browse tests (core and windows) into a
// forum database by name or into a mail database by identifier.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/ImportTestKit.h"
#include "support/TestSupport.h"

namespace quill::test {

inline void importFixture(Session& s, const TempDir& files, int& runs, const std::vector<Fx>& msgs,
                          const std::string& forum, uint32_t mailbox = 0) {
    std::string name = "in" + std::to_string(++runs) + ".fix";
    writeFile(files / name, fixtureText(msgs));
    ImportDefinition d = fixtureDefinition(files.path(), {name});
    if (mailbox) d.mailbox = mailbox;
    else d.forumName = forum;
    RunOutcome r = runImport(s, d);
    ASSERT_TRUE(r.ok) << r.failure;
}

}  // namespace quill::test

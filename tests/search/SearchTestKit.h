// A small archive for the search tests: forum or mail messages imported
// through the fixture reader into a fresh installation, with the database
// selected.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "import/ImportTestKit.h"
#include "support/TestSupport.h"

namespace quill::test {

struct SearchArchive : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    TempDir files;
    int runs = 0;

    // Imports forum messages (numbers as given) into "Test Forum" and selects it.
    void importForum(const std::vector<Fx>& msgs) {
        std::string name = "in" + std::to_string(++runs) + ".fix";
        writeFile(files / name, fixtureText(msgs));
        ImportDefinition d = fixtureDefinition(files.path(), {name});
        d.forumName = "Test Forum";
        RunOutcome r = runImport(s, d);
        ASSERT_TRUE(r.ok) << r.failure;
        auto cat = listCatalogue(s);
        ASSERT_FALSE(cat.empty());
        ASSERT_TRUE(selectDatabase(s, cat.front().id));
    }
    static Fx forum(uint32_t number, const std::string& text, const std::string& date = "2024-01-05 12:00:00",
                    const std::string& from = "John Smith <70000,123>", const std::string& subject = "Subject") {
        Fx m;
        m.number = number;
        m.section = "1 General";
        m.text = text;
        m.date = date;
        m.from = from;
        m.subject = subject;
        return m;
    }
};

}  // namespace quill::test

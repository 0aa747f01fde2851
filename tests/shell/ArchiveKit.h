// A small forum archive for the thread tree and window tests: fixture
// messages imported into a database of their own, which becomes the active
// one. Include it before any Qt header: the import headers use a member named
// "slots", a macro of Qt.
#pragma once

#include <gtest/gtest.h>

#include "database/Preferences.h"
#include "import/ImportTestKit.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {

inline Fx forumMessage(uint32_t number, uint32_t ref, const std::string& subject, const std::string& text = "Text.") {
    Fx m;
    m.number = number;
    m.ref = ref;
    m.section = "1 General";
    m.subject = subject;
    m.text = text;
    return m;
}

// Imports the messages into the forum database `name` and makes it active;
// its identifier, 0 on failure.
inline uint32_t importActiveForum(Session& s, const TempDir& files, const std::vector<Fx>& msgs,
                                  const std::string& name) {
    writeFile(files / "in.fix", fixtureText(msgs));
    ImportDefinition d = fixtureDefinition(files.path(), {"in.fix"});
    d.forumName = name;
    RunOutcome r = runImport(s, d);
    EXPECT_TRUE(r.ok) << r.failure;
    if (!r.ok) return 0;
    uint32_t id = listCatalogue(s).front().id;
    EXPECT_TRUE(activateDatabase(s, id));
    return id;
}

// MSG:THREADNUMBER of a message of the active database.
inline uint32_t threadOf(Session& s, uint32_t msgNumber) {
    OP_CLOSE(s, OpOpenShared, {MsgNmbrFile::Number});
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = msgNumber;
    uint32_t t = s.MsgNmbr.get(MsgNmbrFile::IDKEY).ok() ? uint32_t(s.MSG.THREADNUMBER) : 0;
    OP_CLOSE(s, OpClose, {MsgNmbrFile::Number});
    return t;
}

}  // namespace quill::test

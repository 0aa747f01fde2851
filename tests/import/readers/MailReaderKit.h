// Runs one built-in mail reader over one file into the staging files of a
// fresh installation and reads the staged mails back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/Calendar.h"
#include "database/Common.h"
#include "import/ImportTypes.h"
#include "import/StoreWriter.h"
#include "import/TargetList.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {

struct StagedMail {
    std::string subject, senderAddress, senderName, receiverAddress, receiverName, text;
    int32_t date = 0, time = 0;
    uint8_t mailType = 0;
    uint32_t number = 0, ref = 0;
    std::string target, section;  // news and forum messages: the group or forum, the section
    uint32_t sectionNumber = 0;
};

struct StagedFile {
    bool opened = false;
    std::vector<StagedMail> mails;
    uint32_t skipped = 0;
    int calls = 0;
};

inline std::string dataFile(const std::string& rel) { return QUILL_SOURCE_DIR "/tests/data/" + rel; }

inline StagedFile stageFile(const std::string& type, const std::string& path, int32_t batch = 2) {
    StagedFile out;
    Installation inst;
    Session& s = inst.s();
    s.Mem.DoTask = 2;
    DbResult mb = addMailDatabase(s, "Owner", "owner@example.com", {});
    EXPECT_TRUE(mb.ok());
    ImportDefinition def;
    def.typeName = type;
    def.mailbox = mb.id;
    TargetList targets;
    MailboxOwner owner;
    uint32_t counter = 1000;
    OP_CLOSE(s, OpOpenShared, {2, 8, 18});
    targets.load(s);
    owner.setUp(s, mb.id);
    openStagingFiles(s);
    {
        ReaderContext ctx(s, def, targets, owner, counter);
        ctx.mailboxName = "Owner";
        ctx.batchSize = batch;
        const ReaderRegistry::Entry* e = ReaderRegistry::builtin().find(type);
        EXPECT_TRUE(e) << type;
        if (e) {
            auto r = e->make();
            ctx.state = ReaderOpen;
            out.opened = r->open(ctx, path).outcome == OpenOutcome::Ok;
            ctx.state = ReaderRead;
            bool done = !out.opened;
            while (!done && out.calls++ < 100000) done = r->read(ctx);
            r->close();
            out.skipped = ctx.skipped;
        }
    }
    s.NewHR.setPhysical();
    while (s.NewHR.next()) {
        StagedMail m;
        m.subject = s.NHR.HEADING.str();
        m.senderAddress = s.NHR.S_CISADRESS.str();
        m.senderName = s.NHR.S_NAME.str();
        m.receiverAddress = s.NHR.R_CISADRESS.str();
        m.receiverName = s.NHR.R_NAME.str();
        // Lines come joined with a line end after each; the store trims the
        // last one.
        m.text = s.NewHR.memo;
        while (!m.text.empty() && (m.text.back() == '\n' || m.text.back() == '\r')) m.text.pop_back();
        m.date = s.NHR.DATE;
        m.time = s.NHR.TIME;
        m.mailType = s.NHR.MAILTYPE;
        m.number = s.NHR.MSGNUMBER;
        m.ref = s.NHR.REFNUMBER;
        m.target = s.NHR.FOR_DESCRIPTION.str();
        m.section = s.NHR.SEC_DESCRIPTION.str();
        m.sectionNumber = s.NHR.SECTIONNUMBER;
        out.mails.push_back(m);
    }
    closeStagingFiles(s, true);
    OP_CLOSE(s, OpClose, {2, 8, 18});
    return out;
}

inline std::vector<std::string> subjects(const StagedFile& f) {
    std::vector<std::string> v;
    for (auto& m : f.mails) v.push_back(m.subject);
    return v;
}

}  // namespace quill::test

// The reader fuzz targets' common part: one installation with a Mail
// database for the whole fuzzing process, and a run of one reader over the
// input written to a file, driven the way the import run drives it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "database/Common.h"
#include "database/Installation.h"
#include "database/UserInterface.h"
#include "import/ImportTypes.h"
#include "import/StoreWriter.h"
#include "import/TargetList.h"
#include "people/Databases.h"

namespace quill::fuzz {

struct World {
    SilentInterface ui;
    std::unique_ptr<Session> s;
    std::string dir, input;
    uint32_t mailbox = 0;
    int runs = 0;
    World() {
        char tmpl[] = "/tmp/quill-fuzz-XXXXXX";
        dir = mkdtemp(tmpl);
        input = dir + "/input.mbx";
        s = std::make_unique<Session>(ui);
        (void)openInstallation(*s, dir);  // false: a new installation
        s->Mem.DoTask = 2;
        DbResult mb = addMailDatabase(*s, "Owner", "owner@example.com", {});
        if (!mb.ok()) std::abort();
        mailbox = mb.id;
        OP_CLOSE(*s, OpOpenShared, {2, 8, 18});
        openStagingFiles(*s);
    }
};

// Reads data as a file of the import type typeName; aborts when the reader
// does not finish within a bound of calls.
inline void runReader(std::string_view typeName, const uint8_t* data, std::size_t size) {
    static World w;
    if (++w.runs % 500 == 0) openStagingFiles(*w.s);  // keep the staging files small
    if (std::FILE* f = std::fopen(w.input.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ImportDefinition def;
    def.typeName = std::string(typeName);
    def.mailbox = w.mailbox;
    TargetList targets;
    MailboxOwner owner;
    uint32_t counter = 1000;
    targets.load(*w.s);
    owner.setUp(*w.s, w.mailbox);
    ReaderContext ctx(*w.s, def, targets, owner, counter);
    ctx.mailboxName = "Owner";
    ctx.batchSize = 3;
    const ReaderRegistry::Entry* e = ReaderRegistry::builtin().find(typeName);
    if (!e) std::abort();
    auto r = e->make();
    ctx.state = ReaderOpen;
    if (r->open(ctx, w.input).outcome == OpenOutcome::Ok) {
        ctx.state = ReaderRead;
        int calls = 0;
        while (!r->read(ctx))
            if (++calls > 100000) std::abort();
    }
    r->close();
}

}  // namespace quill::fuzz

// Fuzz target for the capture readers and the GoldenCompass reader: any
// bytes as a capture file, read by a chosen capture type as a forum run or
// a mail run, must be read to its end without a crash, in a bounded number
// of calls, and leave every staged text within MessageTextMax.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "database/Common.h"
#include "database/Installation.h"
#include "database/UserInterface.h"
#include "import/Mime.h"
#include "import/StoreWriter.h"
#include "import/TargetList.h"
#include "import/readers/CaptureReader.h"
#include "import/readers/GoldenCompassReader.h"

using namespace quill;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

struct World {
    SilentInterface ui;
    std::unique_ptr<Session> s;
    std::string home, input;
    World() {
        char dir[] = "/tmp/fuzz_capture_XXXXXX";
        check(::mkdtemp(dir) != nullptr);
        home = dir;
        input = home + "/input.msg";
        s = std::make_unique<Session>(ui);
        openInstallation(*s, home);
        s->Mem.DoTask = 2;
    }
};

constexpr std::pair<const char*, CaptureType> kTypes[] = {
    {"TAPCIS 5.x", CaptureType::Tapcis5}, {"TAPCIS 6.x", CaptureType::Tapcis6}, {"AUTOSIG", CaptureType::Autosig},
    {"OzCIS", CaptureType::OzCis},        {"OzWin I", CaptureType::OzWin1},     {"OzWin II", CaptureType::OzWin2},
    {"GoldenCompass", CaptureType::GoldenCompass}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World w;
    if (size < 1) return 0;
    const auto& [typeName, type] = kTypes[data[0] % 7];
    const bool mailRun = (data[0] / 7) % 2 == 1;
    {
        std::ofstream out(w.input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
    }
    Session& s = *w.s;
    ImportDefinition def;
    def.typeName = typeName;
    def.mailbox = mailRun ? 1 : 0;
    TargetList targets;
    MailboxOwner owner;
    uint32_t counter = 300000;
    OP_CLOSE(s, OpOpenShared, {2, 8, 18});
    targets.load(s);
    openStagingFiles(s);
    ReaderContext ctx(s, def, targets, owner, counter);
    ctx.forumName = mailRun ? "" : "Fuzz Forum";
    ctx.mailboxName = "Owner";
    ctx.batchSize = 3;
    std::unique_ptr<CaptureReader> reader = type == CaptureType::GoldenCompass
                                                ? std::make_unique<GoldenCompassReader>()
                                                : std::make_unique<CaptureReader>(type);
    if (reader->open(ctx, w.input).outcome == OpenOutcome::Ok) {
        ctx.state = ReaderRead;
        bool done = false;
        for (std::size_t calls = 0; !done; ++calls) {
            check(calls <= size + 2);
            done = reader->read(ctx);
            if (ctx.staged > 0) check(s.NewHR.memo.size() <= MessageTextMax);
        }
    }
    reader->close();
    closeStagingFiles(s, true);
    OP_CLOSE(s, OpClose, {2, 8, 18});
    return 0;
}

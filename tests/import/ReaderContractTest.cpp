// The reader contract, checked for every built-in reader over every fixture
// under tests/data/ and over truncated and byte-flipped copies of each: the
// reader opens or refuses the file, stages what it can, finishes within a
// bounded number of calls, and never crashes. Also the committed fixture of
// the "Test Fixture" reader, imported whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "database/Common.h"
#include "import/ImportTestKit.h"
#include "import/StoreWriter.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> fixtureFiles() {
    std::vector<std::string> v;
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(QUILL_SOURCE_DIR "/tests/data", ec)) {
        std::error_code e2;
        if (e.is_regular_file(e2) && e.file_size(e2) <= 1000000) v.push_back(e.path().string());
    }
    std::sort(v.begin(), v.end());
    return v;
}

// Copies of a file's bytes: truncated at a third, two thirds and one byte
// short, and with bytes flipped at fixed positions.
std::vector<std::string> damagedCopies(const std::string& bytes) {
    std::vector<std::string> v;
    if (bytes.empty()) return v;
    v.push_back(bytes.substr(0, bytes.size() / 3));
    v.push_back(bytes.substr(0, bytes.size() * 2 / 3));
    v.push_back(bytes.substr(0, bytes.size() - 1));
    for (std::size_t step : {7u, 31u, 101u}) {
        std::string flipped = bytes;
        for (std::size_t i = step / 2; i < flipped.size(); i += step) flipped[i] = char(~static_cast<unsigned char>(flipped[i]));
        v.push_back(flipped);
    }
    return v;
}

// Drives one reader over one file the way the run does, with a bound on the
// number of calls.
void readWhole(ReaderContext& ctx, Reader& r, ReaderFamily family, const std::string& path, const std::string& what) {
    ctx.state = ReaderOpen;
    ctx.progress = 0;
    ReaderOpening o = r.open(ctx, path);
    if (o.outcome != OpenOutcome::Ok) {
        r.close();
        return;
    }
    ctx.state = ReaderRead;
    const int maxCalls = 200000;
    int calls = 0;
    bool done = false;
    while (!done && calls++ < maxCalls) {
        if (family == ReaderFamily::ForumTable) done = r.readRecord(ctx) == RecordOutcome::End;
        else done = r.read(ctx);
    }
    EXPECT_TRUE(done) << what << ": the reader did not finish within " << maxCalls << " calls";
    r.close();
}

TEST(ReaderContract, EveryReaderSurvivesEveryFixtureAndItsDamagedCopies) {
    Installation inst;
    Session& s = inst.s();
    s.Mem.DoTask = 2;  // nothing is shown
    DbResult mb = addMailDatabase(s, "Owner", "owner@example.com", {"alt@example.com"});
    ASSERT_TRUE(mb.ok());
    TempDir work;
    ReaderRegistry registry = fixtureRegistry();
    for (auto& e : ReaderRegistry::builtin().entries()) {
        if (!registry.find(e.typeName)) registry.addHidden(e.typeName, e.number, e.family, e.make);
    }
    auto files = fixtureFiles();
    ASSERT_FALSE(files.empty());
    for (auto& entry : registry.entries()) {
        ImportDefinition def = fixtureDefinition(work.path(), {});
        def.typeName = entry.typeName;
        def.mailbox = mb.id;
        TargetList targets;
        MailboxOwner owner;
        uint32_t counter = 500000;
        OP_CLOSE(s, OpOpenShared, {2, 8, 18});
        targets.load(s);
        owner.setUp(s, mb.id);
        openStagingFiles(s);
        ReaderContext ctx(s, def, targets, owner, counter);
        ctx.forumName = "Contract Forum";
        ctx.mailboxName = "Owner";
        for (auto& file : files) {
            std::string bytes = readFile(file);
            std::vector<std::string> inputs{bytes};
            for (auto& d : damagedCopies(bytes)) inputs.push_back(d);
            for (std::size_t i = 0; i < inputs.size(); ++i) {
                std::string path = work / ("input" + std::to_string(i));
                writeFile(path, inputs[i]);
                auto reader = entry.make();
                ASSERT_TRUE(reader) << entry.typeName;
                readWhole(ctx, *reader, entry.family, path,
                          entry.typeName + " on " + file + " variant " + std::to_string(i));
            }
        }
        closeStagingFiles(s, true);
        OP_CLOSE(s, OpClose, {2, 8, 18});
    }
}

TEST(ReaderContract, CommittedFixtureImportsWhole) {
    Installation inst;
    Session& s = inst.s();
    DbResult mb = addMailDatabase(s, "Owner", "owner@example.com", {"alt@example.com"});
    ASSERT_TRUE(mb.ok());
    ImportDefinition d = fixtureDefinition(QUILL_SOURCE_DIR "/tests/data/testreader", {"forum-mail-news-mixed.fix"});
    d.forumName = "Printers";
    d.mailbox = mb.id;
    RunOutcome r = runImport(s, d);
    ASSERT_TRUE(r.ok) << r.failure;
    EXPECT_EQ(r.display.imported, 5u);
    EXPECT_EQ(r.display.skipped, 1u);
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    std::string dump = archiveDump(s);
    EXPECT_NE(dump.find("forum Printers msg 121 ref=120 1997-06-01 [Printer setup] sec=General Help"), std::string::npos)
        << dump;
    EXPECT_NE(dump.find("cc=Carol/carol@example.com"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("alt@example.com"), std::string::npos) << dump;
    EXPECT_NE(dump.find("news comp.lang.c msg <second@news.example> ref=<first@news.example>"), std::string::npos) << dump;
}

}  // namespace
}  // namespace quill::test

// Scratch record files (the result set): commits without syncing, and a file
// left damaged by a crash of the machine is removed on its first open rather
// than read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "database/Files.h"
#include "search/ScratchFiles.h"
#include "search/Search.h"
#include "search/SearchTestKit.h"
#include "search/WordIndex.h"

namespace quill::test {
namespace {

// A result set file of n rows written through the record store alone.
void writeSearchFile(const std::string& path, uint32_t n) {
    Store store;
    SearchFile f(store);
    f.setName(path);
    ASSERT_TRUE(f.create());
    ASSERT_TRUE(f.open());
    ASSERT_TRUE(f.stream());
    for (uint32_t i = 1; i <= n; ++i) {
        f.clearBuffer();
        f.rec.SORT = i;
        f.rec.ID = 100000 + i;
        ASSERT_TRUE(f.add());
    }
    ASSERT_TRUE(f.flush());
    ASSERT_TRUE(f.close());
}

void overwrite(const std::string& path, std::streamoff at, std::size_t length) {
    std::fstream io(path, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(at);
    std::string junk(length, '\xAB');
    io.write(junk.data(), std::streamsize(junk.size()));
}

TEST(MarkScratchFile, KeepsASoundFileAndRemovesOneWithDamagedPages) {
    struct Case {
        const char* name;
        bool damage;
        bool kept;
    };
    for (const Case& c : {Case{"sound", false, true}, Case{"damaged", true, false}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string path = dir / "IDX032.TPS";
        writeSearchFile(path, 3000);
        ASSERT_GT(std::filesystem::file_size(path), 4u * 4096);
        if (c.damage) overwrite(path, 3 * 4096, 4096);  // a page of records or keys, not the header
        EXPECT_FALSE(isScratchFile(path));
        EXPECT_TRUE(markScratchFile(path));
        EXPECT_TRUE(isScratchFile(path));
        EXPECT_EQ(std::filesystem::exists(path), c.kept);
    }
}

struct ScratchResultSet : SearchArchive {};

TEST_F(ScratchResultSet, ResultSetIsWrittenAsScratchAndSurvivesReopening) {
    importForum({forum(1, "one"), forum(2, "two"), forum(3, "three")});
    ASSERT_TRUE(writeResultSet(s, {3, 1, 2}));
    EXPECT_TRUE(isScratchFile(buildName(s, SearchFile::Number)));
    EXPECT_EQ(readResultSet(s), (std::vector<uint32_t>{3, 1, 2}));
    ASSERT_TRUE(writeResultSet(s, {2}));
    EXPECT_EQ(readResultSet(s), (std::vector<uint32_t>{2}));
}

}  // namespace
}  // namespace quill::test

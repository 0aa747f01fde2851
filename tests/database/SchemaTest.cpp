// Every record file of the schema can be created, written and found again
// by each of its keys, and its stored layout is checked on open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "database/Common.h"
#include "database/Schema.h"
#include "support/TestSupport.h"

using namespace quill;

namespace {

TEST(Schema, EveryRecordFileStoresARecordAndFindsItByEachKey) {
    quill::test::TempDir dir;
    for (const FileDesc& d : allFileDescs()) {
        if (d.kind != FileKind::Record) continue;
        SCOPED_TRACE(d.label);
        Store store;
        std::vector<unsigned char> buf(d.recordSize);
        RecordFile f(store, d.number, buf.data());
        f.setName(dir / ("IDX" + std::to_string(d.number) + ".TPS"));
        ASSERT_TRUE(f.create().ok());
        ASSERT_TRUE(f.open().ok());
        f.clearBuffer();
        // A record whose every byte field is set, so opt keys include it.
        for (auto& fd : d.fields) {
            unsigned char* p = buf.data() + fd.offset;
            if (fd.type == FieldType::String) std::memcpy(p, "Key", std::min<std::size_t>(3, fd.elemSize));
            else p[0] = 7;
        }
        if (d.memoMax) f.memo = "memo text";
        std::vector<unsigned char> written = buf;
        ASSERT_TRUE(f.add().ok());
        EXPECT_EQ(f.records(), 1);
        for (std::size_t k = 0; k < d.keys.size(); ++k) {
            SCOPED_TRACE(d.keys[k].name);
            std::memcpy(buf.data(), written.data(), buf.size());
            ASSERT_TRUE(f.get(int(k)).ok());
            EXPECT_EQ(std::memcmp(buf.data(), written.data(), buf.size()), 0);
            if (d.memoMax) {
                EXPECT_EQ(f.memo, "memo text");
            }
            if (d.keys[k].unique) {
                EXPECT_EQ(f.add().code(), DupKeyErr);
            }
        }
        ASSERT_TRUE(f.getByNumber(1).ok());
        ASSERT_TRUE(f.close().ok());
    }
}

TEST(Schema, RecordSizesAndKeysMatchTheirLayouts) {
    for (const FileDesc& d : allFileDescs()) {
        if (d.kind != FileKind::Record) continue;
        SCOPED_TRACE(d.label);
        uint32_t end = 0;
        for (auto& f : d.fields) end = std::max(end, f.offset + f.elemSize * f.dim);
        EXPECT_EQ(end, d.recordSize) << "fields do not fill the record";
        int primaries = 0;
        for (auto& k : d.keys) primaries += k.primary;
        EXPECT_LE(primaries, 1);
        EXPECT_FALSE(d.prefix.empty());
    }
}

TEST(Schema, FileOfAnotherLayoutIsRefusedOnOpen) {
    quill::test::TempDir dir;
    Store store;
    std::vector<unsigned char> a(fileDesc(9)->recordSize), b(fileDesc(18)->recordSize);
    RecordFile sindex(store, 9, a.data());
    sindex.setName(dir / "X.TPS");
    ASSERT_TRUE(sindex.create().ok());
    RecordFile imported(store, 18, b.data());  // same record size, other keys
    imported.setName(dir / "X.TPS");
    EXPECT_EQ(imported.open().code(), BadRecErr);
    EXPECT_TRUE(sindex.open().ok());
}

}  // namespace

// The allocator of the indexing's large arrays: contents survive growth from
// the heap into mapped memory and between mappings, and a mapping starts on
// a huge page boundary.
#include <gtest/gtest.h>

#include <cstdint>

#include "search/LargePages.h"

namespace quill {
namespace {

TEST(LargeVector, ContentsSurviveGrowthFromTheHeapIntoMappingsAndBack) {
    LargeVector<uint32_t> v;
    const uint32_t n = 5'000'000;  // 20 MB: several mappings on the way
    for (uint32_t i = 0; i < n; ++i) {
        v.push_back(i * 2654435761u);
        if (v.capacity() * sizeof(uint32_t) >= LargePageAllocator<uint32_t>::kMapped && i % 100000 == 0) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(v.data()) % LargePageAllocator<uint32_t>::kHuge, 0u);
        }
    }
    for (uint32_t i = 0; i < n; i += 997) ASSERT_EQ(v[i], i * 2654435761u) << i;
    v.resize(10);
    v.shrink_to_fit();  // back to the heap
    EXPECT_EQ(v[9], 9u * 2654435761u);
    LargeVector<uint32_t> copy(n, 7u);
    copy.swap(v);
    EXPECT_EQ(v.size(), n);
    EXPECT_EQ(v[n - 1], 7u);
    EXPECT_EQ(copy.size(), 10u);
}

}  // namespace
}  // namespace quill

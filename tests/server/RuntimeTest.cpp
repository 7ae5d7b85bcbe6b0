#include "server/AppServer.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <malloc.h>

namespace zel::server::test {
namespace {

// A large answer's blocks come from the allocator's heap, and once freed
// their pages stay there for the next answer instead of going back to the
// kernel (to be faulted in again, page by page). Each test case runs in a
// process of its own, so the allocator starts from glibc's defaults here.
TEST(ServingRuntime, KeepsTheMemoryOfLargeAnswersForTheNextOnes)
{
    TuneRuntime();
    constexpr std::size_t kAnswer = 24 << 20; // below kHeapBlockMax
    static_assert(kAnswer < std::size_t(kHeapBlockMax));

    const struct mallinfo2 before = mallinfo2();
    void* block = std::malloc(kAnswer);
    ASSERT_NE(block, nullptr);
    std::memset(block, 1, kAnswer);
    const struct mallinfo2 during = mallinfo2();
    EXPECT_EQ(during.hblks, before.hblks) << "the block was mapped apart from the heap";
    EXPECT_EQ(during.hblkhd, before.hblkhd);

    std::free(block);
    const struct mallinfo2 after = mallinfo2();
    EXPECT_GE(after.fordblks, kAnswer) << "the freed block went back to the kernel";

    // The next answer of that size takes the same memory.
    void* again = std::malloc(kAnswer);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(mallinfo2().hblks, before.hblks);
    std::free(again);
}

} // namespace
} // namespace zel::server::test

#include "system/dword_value.h"
#include "uninstall/shared_count.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(SharedCount, TheValueReadsAsItsTypeAndBytesSay)
{
    const unsigned char bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(0x04030201u, DwordFromValue(true, kDwordValueType, bytes, 4, 9)); // little-endian on any host
    EXPECT_EQ(0x0201u, DwordFromValue(true, kDwordValueType, bytes, 2, 9));     // short data: high bytes 0
    EXPECT_EQ(0u, DwordFromValue(true, 1, bytes, 2, 9));                        // a string that fits
    EXPECT_EQ(0u, DwordFromValue(true, 5, bytes, 4, 9));                        // big-endian is another type
    EXPECT_EQ(9u, DwordFromValue(true, kDwordValueType, bytes, 5, 9));          // longer than a DWORD
    EXPECT_EQ(9u, DwordFromValue(false, kDwordValueType, nullptr, 0, 9));       // missing
}

namespace
{

std::string Change(uint32_t stored, int32_t by)
{
    const SharedCountChange result = ChangeOfSharedCount(stored, by);
    switch (result.action)
    {
    case SharedCountChange::Keep:
        return result.count == 0 ? "keep" : "keep with a count";
    case SharedCountChange::Delete:
        return result.count == 0 ? "delete" : "delete with a count";
    case SharedCountChange::Write:
        return "write " + std::to_string(result.count);
    }
    return "?";
}

} // namespace

TEST(SharedCount, ChangesFollowTheCount)
{
    EXPECT_EQ("write 2", Change(3, -1));             // still shared: written lower
    EXPECT_EQ("delete", Change(1, -1));              // used up: the value goes
    EXPECT_EQ("keep", Change(0, -1));                // a count of 0 (or another type) stays
    EXPECT_EQ("keep", Change(kNoSharedCount, -1));   // no value: nothing to lower, whatever the width of long
    EXPECT_EQ("write 2", Change(kNoSharedCount, 2)); // no value and a rise: created
    EXPECT_EQ("keep", Change(0x80000000u, -1));      // a negative count is not touched
    // A rise past the largest count holds there instead of wrapping to a negative one that deletes.
    EXPECT_EQ("write 2147483647", Change(0x7FFFFFFFu, 1));
}

#include "uninstall/lowered_counts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(LoweredCounts, WholeLinesAreReadBackAndTheRestIsLeftOut)
{
    const std::string text = LoweredCountLine(4, 3, "C:\\WINDOWS\\SYSTEM32\\A.DLL") + "garbage\r\n" +
                             "0\t3\tC:\\zero line.dll\r\n" + "5\tx\tC:\\not a count.dll\r\n" + "6\t2\t\r\n" +
                             "7\t-1\tC:\\b c.dll\n" + LoweredCountLine(9, 1, "C:\\cut.dll").substr(0, 12);
    const std::vector<LoweredCount> entries = ReadLoweredCounts(text);
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(4, entries[0].line);
    EXPECT_EQ(3, entries[0].before);
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM32\\A.DLL", entries[0].path);
    EXPECT_EQ(7, entries[1].line); // a bare LF ends a line too
    EXPECT_EQ(-1, entries[1].before);
    EXPECT_EQ("C:\\b c.dll", entries[1].path);
    EXPECT_TRUE(ReadLoweredCounts(std::string("4\t3\tC:\\a\0b.dll\r\n", 17)).empty());
    EXPECT_TRUE(ReadLoweredCounts("99999999999\t3\tC:\\a.dll\r\n").empty());                 // no such line
    EXPECT_TRUE(ReadLoweredCounts("4\t-1\tC:\\b.dll\r\xff\n4\t1\tC:\\c.dll\r\r\n").empty()); // a CR in the name
    EXPECT_TRUE(ReadLoweredCounts("4\t3/\tC:\\a.dll\r\n4\t3/-5\tC:\\a.dll\r\n4\t3/x\tC:\\a.dll\r\n").empty());
    // A key noted before its first value went is no count, and names only itself.
    const std::vector<LoweredCount> keys = ReadLoweredCounts(EmptiedKeyLine(8, "80000001\\Software\\P"));
    ASSERT_EQ(1u, keys.size());
    EXPECT_EQ(std::set<std::string>{"80000001\\Software\\P"}, EmptiedKeys(keys));
    EXPECT_FALSE(LoweredEarlier(keys, 8, "80000001\\Software\\P", 0));
}

TEST(LoweredCounts, ACountThatStillStandsWasNotLowered)
{
    const std::vector<LoweredCount> entries =
        ReadLoweredCounts(LoweredCountLine(4, 3, "C:\\a.dll") + LoweredCountLine(5, 2, "C:\\a.dll"));
    EXPECT_TRUE(LoweredEarlier(entries, 4, "C:\\a.dll", 2));  // 3 -> 2 happened
    EXPECT_FALSE(LoweredEarlier(entries, 4, "C:\\a.dll", 3)); // written, then the run ended
    EXPECT_TRUE(LoweredEarlier(entries, 4, "C:\\a.dll", -1)); // gone since: lowered by someone
    EXPECT_TRUE(LoweredEarlier(entries, 5, "C:\\a.dll", 1));  // the same file twice in the log
    EXPECT_FALSE(LoweredEarlier(entries, 6, "C:\\a.dll", 1)); // a record no run reached
    EXPECT_FALSE(LoweredEarlier(entries, 4, "C:\\other.dll", 2));
    // A run that wrote the line and ended before the lowering is followed by one that writes it again.
    const std::vector<LoweredCount> again =
        ReadLoweredCounts(LoweredCountLine(4, 3, "C:\\a.dll") + LoweredCountLine(4, 5, "C:\\a.dll"));
    EXPECT_FALSE(LoweredEarlier(again, 4, "C:\\a.dll", 5));
    EXPECT_TRUE(LoweredEarlier(again, 4, "C:\\a.dll", 4));
    // Done is done, even when another installation has since brought the count back to where it was.
    const std::vector<LoweredCount> done = ReadLoweredCounts(
        LoweredCountLine(4, 3, "C:\\a.dll") + LoweredDoneLine(4, "C:\\a.dll") + "5\tdone\tC:\\b.dll\r\n");
    ASSERT_EQ(3u, done.size());
    EXPECT_TRUE(done[1].done);
    EXPECT_TRUE(LoweredEarlier(done, 4, "C:\\a.dll", 3));
    EXPECT_TRUE(LoweredEarlier(done, 5, "C:\\b.dll", 1));
    EXPECT_FALSE(LoweredEarlier(done, 5, "C:\\a.dll", 1));
    EXPECT_TRUE(ReadLoweredCounts("4\tDone\tC:\\a.dll\r\n4\tdone \tC:\\a.dll\r\n").empty());
    // A power loss took the registry back to before a lowering whose end was written: the key was last
    // written no later than noted before the lowering, and the count goes down again. A later time is
    // another installation's raise, and without times done stays done.
    const std::vector<LoweredCount> timed =
        ReadLoweredCounts(LoweredCountLine(4, 3, "C:\\a.dll", 500) + LoweredDoneLine(4, "C:\\a.dll"));
    ASSERT_EQ(2u, timed.size());
    EXPECT_EQ(500u, timed[0].keyWritten);
    EXPECT_FALSE(LoweredEarlier(timed, 4, "C:\\a.dll", 3, 500));
    EXPECT_FALSE(LoweredEarlier(timed, 4, "C:\\a.dll", 3, 400));
    EXPECT_TRUE(LoweredEarlier(timed, 4, "C:\\a.dll", 3, 501));
    EXPECT_TRUE(LoweredEarlier(timed, 4, "C:\\a.dll", 2, 400));
    EXPECT_TRUE(LoweredEarlier(timed, 4, "C:\\a.dll", 3, 0));
}

TEST(LoweredCounts, OnlyThisLogsWholeHeadingMakesARecord)
{
    // The heading is read back by later runs, of later versions too: its form is stated here.
    const std::string heading = LoweredCountsHeading(4096, 133000000000000000ull, "Key");
    EXPECT_EQ("; shared counts lowered by this removal: line, count before, path; log 4096 bytes, written "
              "133000000000000000, product Key",
              heading);
    EXPECT_TRUE(IsLoweredCountsText(heading + "\r\n" + LoweredCountLine(4, 3, "C:\\a.dll"), heading));
    EXPECT_TRUE(IsLoweredCountsText(heading + "\n", heading));
    EXPECT_FALSE(IsLoweredCountsText("", heading));                                          // made, then the run ended
    EXPECT_FALSE(IsLoweredCountsText("\r\n4\t3\tC:\\a.dll\r\n", heading));                   // an empty first line
    EXPECT_FALSE(IsLoweredCountsText(heading.substr(0, 9) + "\r\n", heading));               // cut short in the heading
    EXPECT_FALSE(IsLoweredCountsText(heading, heading));                                     // or before its line end
    EXPECT_FALSE(IsLoweredCountsText(std::string(kLoweredCountsHeading) + "\r\n", heading)); // the old heading
    EXPECT_FALSE(IsLoweredCountsText("[Settings]\r\ncount=3\r\n", heading));
    EXPECT_FALSE(IsLoweredCountsText(heading + "\r\n", ""));
    // Another installation's log: its size, its time or its key differs.
    for (const std::string &other : {LoweredCountsHeading(4097, 133000000000000000ull, "Key"),
                                     LoweredCountsHeading(4096, 133000000000000001ull, "Key"),
                                     LoweredCountsHeading(4096, 133000000000000000ull, "Key2")})
        EXPECT_FALSE(IsLoweredCountsText(other + "\r\n", heading)) << other;
    // Once the log is cut to its header (or the product installed again), this product's record left
    // by a run ended then is left over; another product's, or the old heading, is not.
    EXPECT_TRUE(IsLeftOverCountsText(LoweredCountsHeading(3, 1, "Key") + "\r\n4\tdone\tC:\\a.dll\r\n", heading));
    EXPECT_FALSE(IsLeftOverCountsText(LoweredCountsHeading(3, 1, "Key2") + "\r\n", heading));
    EXPECT_FALSE(IsLeftOverCountsText(std::string(kLoweredCountsHeading) + "\r\n", heading));
    EXPECT_FALSE(IsLeftOverCountsText("[Settings]\r\nproduct Key\r\n", heading));
    // A key with a line end stays on the heading's one line.
    const std::string broken = LoweredCountsHeading(1, 2, "A\r\nB");
    EXPECT_EQ(0u, broken.find(kLoweredCountsHeading));
    EXPECT_EQ("; log 1 bytes, written 2, product A??B", broken.substr(std::strlen(kLoweredCountsHeading)));
    EXPECT_TRUE(IsLoweredCountsText(broken + "\r\n", broken));
}

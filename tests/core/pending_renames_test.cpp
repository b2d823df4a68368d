#include "system/pending_renames.h"

#include "tests/test_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<char> Bytes(const std::string &text)
{
    return std::vector<char>(text.begin(), text.end());
}

std::string AsText(const std::vector<char> &data)
{
    return std::string(data.begin(), data.end());
}

const std::string kOther = Raw("\\??\\C:\\other\\a.tmp\0!\\??\\C:\\other\\b\0");

} // namespace

TEST(PendingRenames, RemovesEveryPairNamingThePathWhateverItsPrefixOrCase)
{
    std::vector<char> data =
        Bytes(Raw("\\??\\c:\\app\\X.DLL\0\0") + kOther + Raw("C:\\APP\\x.dll\0\\??\\D:\\moved\0\0"));
    EXPECT_TRUE(RemovePendingPairs(data, "C:\\app\\x.dll"));
    EXPECT_EQ(kOther + Raw("\0"), AsText(data)); // other programs' pairs stay, in order
}

TEST(PendingRenames, LeavesOtherPathsAndUnmatchedDataAlone)
{
    const std::string value = Raw("\\??\\C:\\app\\x.dll.bak\0\0") + Raw("noColon\0\0") + Raw(":C:\\app\\x.dll\0\0\0");
    std::vector<char> data = Bytes(value);
    EXPECT_FALSE(RemovePendingPairs(data, "C:\\app\\x.dll"));
    EXPECT_EQ(value, AsText(data));

    std::vector<char> shorter = Bytes(Raw("\\??\\C:\\app\0\0\0"));
    EXPECT_FALSE(RemovePendingPairs(shorter, "C:\\app\\x.dll"));

    std::vector<char> empty;
    EXPECT_FALSE(RemovePendingPairs(empty, "C:\\app\\x.dll"));
}

TEST(PendingRenames, AnUnterminatedValueKeepsEveryOtherPair)
{
    // The last string runs to the end of the data with no zero byte: as other programs write it.
    std::vector<char> data = Bytes(kOther + Raw("\\??\\C:\\app\\x.dll\0\0") + "\\??\\C:\\later\\y.txt");
    EXPECT_TRUE(RemovePendingPairs(data, "C:\\app\\x.dll"));
    EXPECT_EQ(kOther + Raw("\\??\\C:\\later\\y.txt\0\0\0"), AsText(data));

    // The matching source itself unterminated, without a destination.
    data = Bytes(kOther + "\\??\\C:\\app\\x.dll");
    EXPECT_TRUE(RemovePendingPairs(data, "C:\\app\\x.dll"));
    EXPECT_EQ(kOther + Raw("\0"), AsText(data));
}

TEST(PendingRenames, SourcesAreVisitedByTheNameTheyAreMatchedBy)
{
    // Destinations are not sources; a colonless source names nothing; the last, unterminated one counts.
    const std::vector<char> data =
        Bytes(Raw("\\??\\c:\\app\\X.DLL\0D:\\dest\0nocolon\0\0:\\odd\0\0") + kOther + Raw("\\??\\E:\\last"));
    std::vector<std::string> names;
    VisitPendingSources(
        data,
        [](const char *name, size_t length, void *context) {
            static_cast<std::vector<std::string> *>(context)->push_back(std::string(name, length));
        },
        &names);
    const std::vector<std::string> expected = {"c:\\app\\X.DLL", "C:\\other\\a.tmp", "E:\\last"};
    EXPECT_EQ(expected, names);
}

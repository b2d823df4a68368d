#include "system/pending_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

bool MayHold(const PendingPathFilter &filter, const std::string &name)
{
    return filter.MayHold(name.data(), name.size());
}

void Add(PendingPathFilter &filter, const std::string &name)
{
    filter.Add(name.data(), name.size());
}

} // namespace

TEST(PendingFilter, AnAddedNameIsHeldInAnyAsciiCaseAndOnlyWhole)
{
    PendingPathFilter filter;
    EXPECT_FALSE(MayHold(filter, "C:\\app\\a.dll")); // nothing added yet, no memory taken
    Add(filter, "C:\\App\\A.dll");
    EXPECT_TRUE(MayHold(filter, "c:\\app\\a.DLL"));
    EXPECT_FALSE(MayHold(filter, "C:\\App\\A.dl"));
    EXPECT_FALSE(MayHold(filter, "C:\\App"));
    // Only a-z fold, as the pending pairs are compared.
    Add(filter, "C:\\\xC4pfel");
    EXPECT_TRUE(MayHold(filter, "c:\\\xC4PFEL"));
    EXPECT_FALSE(MayHold(filter, "C:\\\xE4pfel"));

    filter.Clear();
    EXPECT_FALSE(MayHold(filter, "C:\\App\\A.dll"));
}

TEST(PendingFilter, ManyNamesLeaveFewFalseAnswers)
{
    // A filter that answered "may" too often would make every cancel read the whole value again.
    PendingPathFilter filter;
    for (int i = 0; i < 100000; ++i)
        Add(filter, "C:\\Program Files\\Product\\d" + std::to_string(i / 10) + "\\f" + std::to_string(i) + ".dat");
    for (int i = 0; i < 100000; i += 997)
        ASSERT_TRUE(MayHold(filter, "c:\\program files\\product\\D" + std::to_string(i / 10) + "\\F" +
                                        std::to_string(i) + ".DAT"));
    int falseAnswers = 0;
    for (int i = 0; i < 100000; ++i)
        falseAnswers += MayHold(filter, "C:\\Program Files\\Other\\d" + std::to_string(i / 10) + "\\f" +
                                            std::to_string(i) + ".dat");
    EXPECT_LT(falseAnswers, 50); // about 4 expected with 3 probes in 8 Mi bits
}

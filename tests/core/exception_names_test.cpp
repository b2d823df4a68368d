// The names of the exception codes the crash report knows by name.
#include "support/exception_names.h"

#include <gtest/gtest.h>

TEST(ExceptionNames, CoverTheTableOnly)
{
    EXPECT_STREQ("EXCEPTION_ACCESS_VIOLATION", ExceptionName(0xC0000005u));
    EXPECT_STREQ("EXCEPTION_GUARD_PAGE", ExceptionName(0x80000001u));
    EXPECT_STREQ("EXCEPTION_STACK_OVERFLOW", ExceptionName(0xC00000FDu));
    EXPECT_STREQ("EXCEPTION_INT_DIVIDE_BY_ZERO", ExceptionName(0xC0000094u));
    EXPECT_EQ(nullptr, ExceptionName(0xC0000017u));
    EXPECT_EQ(nullptr, ExceptionName(0));
}

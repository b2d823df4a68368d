#include "support/error_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ErrorTable, RowsKeepTheirForm)
{
    EXPECT_STREQ("3", ErrorRow(0));
    EXPECT_EQ(nullptr, ErrorRow(kErrorRows));
    EXPECT_EQ(nullptr, ErrorRow(0xFFFFFFFFu));
    for (uint32_t number = 1; number < kErrorRows; ++number)
    {
        const char *row = ErrorRow(number);
        if (row == nullptr)
            continue;
        ASSERT_TRUE(row[0] >= '1' && row[0] <= '4') << number;
        const char *colon = std::strchr(row, ':');
        ASSERT_NE(nullptr, colon) << number;
        EXPECT_EQ(' ', colon[1]) << number;
        for (const char *c = row + 1; c < colon; ++c)
            EXPECT_TRUE(*c >= 'A' && *c <= 'Z') << number;
    }
}

TEST(ErrorTable, PlaceholdersTakeTheCallsValuesAndNothingMore)
{
    char out[64];
    const char *name = "a.dat";
    const ErrorValue values[] = {7, reinterpret_cast<ErrorValue>(name), 0xFFFFFFFFu};
    FormatErrorRow("4X: %u of %s, %d%%, %x %X", values, 3, out, sizeof out);
    EXPECT_STREQ("4X: 7 of a.dat, -1%,  ", out); // %x and %X have no value left
    FormatErrorRow("3X: %s %lu %q", values + 1, 1, out, sizeof out);
    EXPECT_STREQ("3X: a.dat  %q", out); // the %s took the value; %lu had none; %q stays

    const ErrorValue nothing[] = {0};
    FormatErrorRow("3X: %s", nothing, 1, out, sizeof out);
    EXPECT_STREQ("3X: (null)", out);

    const std::string longText(200, 'v');
    const ErrorValue text[] = {reinterpret_cast<ErrorValue>(longText.c_str())};
    FormatErrorRow("2X: %s!", text, 1, out, sizeof out);
    EXPECT_EQ(63u, std::strlen(out));
}

TEST(ErrorTable, BoxTextFollowsTheSeverityDigit)
{
    char out[1024];
    FormatErrorBoxText("3SUPPORT: Stopped.", out, sizeof out);
    EXPECT_STREQ("SUPPORT: Stopped.", out);
    FormatErrorBoxText("4SUPPORT: Gone.", out, sizeof out);
    EXPECT_STREQ("Application is poorly installed.\nPlease reinstall it.\n\nError:\nSUPPORT: Gone.", out);
    FormatErrorBoxText("1A: 50% done", out, sizeof out); // a percent sign in the text stays as it is
    EXPECT_EQ(0, std::strncmp(out, "You have made nonstandard operation,\n", 37));
    EXPECT_NE(nullptr, std::strstr(out, "\n\nError:\nA: 50% done"));
    FormatErrorBoxText("2A: low", out, sizeof out);
    EXPECT_NE(nullptr, std::strstr(out, "it's requirements.\n"));
    FormatErrorBoxText("error", out, sizeof out);
    EXPECT_STREQ("error", out);
}

#include "support/run_log_text.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string g_created;
CreateOutcome g_outcome;

CreateOutcome RecordCreate(const char *path)
{
    g_created = path;
    return g_outcome;
}

} // namespace

TEST(RunLogText, LinesHaveTheirExactForms)
{
    char stamp[kLogStampChars];
    FormatLogTimestamp("07.12.2026", "13:05:09", 123456, stamp, sizeof stamp);
    EXPECT_STREQ("07.12.2026, 13:05:09 (t=123456)", stamp);
    char line[kLogStampChars + 32];
    FormatLogHeader(stamp, line, sizeof line);
    EXPECT_STREQ("\n\n---- Log started 07.12.2026, 13:05:09 (t=123456)\n", line);
    FormatLogErrorMark(stamp, line, sizeof line);
    EXPECT_STREQ("chyba: 07.12.2026, 13:05:09 (t=123456)\n", line);
    FormatLogDone(stamp, line, sizeof line);
    EXPECT_STREQ("log done ok: 07.12.2026, 13:05:09 (t=123456)\n", line);
    char small[10];
    FormatLogDone(stamp, small, sizeof small);
    EXPECT_STREQ("log done ", small);
}

TEST(RunLogText, DirectoryComesFromTempWithOneBackslash)
{
    char directory[kLogPathChars];
    g_created.clear();
    EXPECT_FALSE(ChooseLogDirectory("C:\\Temp", RecordCreate, "D:\\work", directory));
    EXPECT_STREQ("C:\\Temp\\", directory);
    EXPECT_FALSE(ChooseLogDirectory("C:\\Temp\\", RecordCreate, "D:\\work", directory));
    EXPECT_STREQ("C:\\Temp\\", directory);
    EXPECT_TRUE(g_created.empty()); // nothing is created while TEMP serves

    char path[kLogPathChars];
    EXPECT_TRUE(JoinLogPath(directory, kRunLogName, path));
    EXPECT_STREQ("C:\\Temp\\tarn.log", path);
}

TEST(RunLogText, UndefinedTempFallsBackToCTempThenTheCurrentDirectory)
{
    char directory[kLogPathChars];
    for (CreateOutcome outcome : {CreateOutcome::Created, CreateOutcome::AlreadyExists, CreateOutcome::OtherFailure})
    {
        g_outcome = outcome;
        EXPECT_TRUE(ChooseLogDirectory(nullptr, RecordCreate, "D:\\work", directory));
        EXPECT_EQ("c:\\temp", g_created);
        EXPECT_STREQ("c:\\temp\\", directory);
    }
    g_outcome = CreateOutcome::PathMissing; // no drive C:
    EXPECT_TRUE(ChooseLogDirectory(nullptr, RecordCreate, "D:\\work", directory));
    EXPECT_STREQ("D:\\work\\", directory);
    EXPECT_TRUE(ChooseLogDirectory(nullptr, RecordCreate, "D:\\", directory));
    EXPECT_STREQ("D:\\", directory);
}

TEST(RunLogText, UnusableValuesAreNotCutIntoOtherDirectories)
{
    char directory[kLogPathChars];
    g_outcome = CreateOutcome::PathMissing;
    const std::string longest(kLogPathChars - 1, 'x'); // no room left for the backslash
    EXPECT_FALSE(ChooseLogDirectory(longest.c_str(), RecordCreate, longest.c_str(), directory));
    EXPECT_STREQ("", directory); // the current directory, named relatively
    g_outcome = CreateOutcome::AlreadyExists;
    EXPECT_FALSE(ChooseLogDirectory("", RecordCreate, "D:\\work", directory)); // empty: defined, but unusable
    EXPECT_STREQ("c:\\temp\\", directory);

    char path[kLogPathChars];
    const std::string deep(kLogPathChars - 5, 'd');
    EXPECT_FALSE(JoinLogPath(deep.c_str(), kRunLogName, path));
    EXPECT_STREQ("", path);
}

#include "uninstall/log_record.h"

#include <gtest/gtest.h>

#include <string>

TEST(LogRecord, TheFirstCharacterSelectsTheRecord)
{
    EXPECT_EQ(RecordKind::Font, KindOfRecord("&C:\\f.ttf"));
    EXPECT_EQ(RecordKind::Library, KindOfRecord("%C:\\x.dll"));
    EXPECT_EQ(RecordKind::IniEntry, KindOfRecord("-boot\\x"));
    EXPECT_EQ(RecordKind::RegistryValue, KindOfRecord(":HKEY_CURRENT_USER\\a\\b"));
    EXPECT_EQ(RecordKind::Program, KindOfRecord(";C:\\x.exe"));
    EXPECT_EQ(RecordKind::File, KindOfRecord("C:\\x.txt"));
    EXPECT_EQ(RecordKind::File, KindOfRecord("")); // an empty line is a file record with an empty path
}

TEST(LogRecord, IniRecordSplitsAtTheLastBackslash)
{
    char section[16];
    char name[16];
    EXPECT_TRUE(SplitIniRecord("386Enh\\a\\device", section, sizeof section, name, sizeof name));
    EXPECT_STREQ("386Enh\\a", section);
    EXPECT_STREQ("device", name);
    EXPECT_TRUE(SplitIniRecord("\\", section, sizeof section, name, sizeof name));
    EXPECT_STREQ("", section);
    EXPECT_FALSE(SplitIniRecord("noBackslash", section, sizeof section, name, sizeof name));
    EXPECT_FALSE(SplitIniRecord("a\\name-of-sixteen!", section, sizeof section, name, sizeof name));
    EXPECT_STREQ("", section);
    EXPECT_STREQ("", name);
}

TEST(LogRecord, ProgramWorkingDirectory)
{
    char out[260];
    ProgramWorkingDirectory("C:\\App\\clean.exe /all", ";D:\\Work", ";1", out, sizeof out);
    EXPECT_STREQ("D:\\Work", out);
    ProgramWorkingDirectory("C:\\App\\clean.exe", ";", ";1", out, sizeof out);
    EXPECT_STREQ("", out); // the marker alone: the uninstaller's own directory is inherited
    ProgramWorkingDirectory("C:\\App\\clean.exe", "", "", out, sizeof out);
    EXPECT_STREQ("C:\\App\\", out);
    // The program's own directory comes from the program, not from its quotes or arguments.
    ProgramWorkingDirectory("\"C:\\Program Files\\App\\clean.exe\" /log C:\\logs\\x.txt", ";D:\\Work", ";", out,
                            sizeof out);
    EXPECT_STREQ("C:\\Program Files\\App\\", out);
}

TEST(LogRecord, ProgressReachesOneHundredAtTheLastRead)
{
    std::string positions;
    for (int read = 1; read <= 11; ++read)
        positions += std::to_string(ProgressPosition(read, 11)) + " ";
    EXPECT_EQ("9 18 27 36 45 54 63 72 81 90 100 ", positions);
    EXPECT_EQ(100, ProgressPosition(1, 1));
    EXPECT_EQ(100, ProgressPosition(3, 0));
    EXPECT_EQ(100, ProgressPosition(7, 5));
    EXPECT_EQ(0, ProgressPosition(1, 2000000));
    EXPECT_EQ(99, ProgressPosition(2147483646, 2147483647)); // no overflow on the way
}

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

namespace
{

// The files that "exist" for the program lookups below.
bool FakeFile(const char *path)
{
    const std::string name = path;
    return name == "C:\\Program Files\\Product\\cleanup.exe" || name == "\\\\server\\share dir\\x.exe" ||
           name == "C:\\App\\clean.exe" || name == "C:\\Tools\\run.exe";
}

bool FakeFileWithProgramExe(const char *path)
{
    return FakeFile(path) || std::string(path) == "C:\\Program.exe";
}

} // namespace

TEST(LogRecord, ProgramWorkingDirectory)
{
    char out[260];
    ProgramWorkingDirectory("C:\\App\\clean.exe /all", ";D:\\Work", ";1", FakeFile, out, sizeof out);
    EXPECT_STREQ("D:\\Work", out);
    ProgramWorkingDirectory("C:\\App\\clean.exe", ";", ";1", FakeFile, out, sizeof out);
    EXPECT_STREQ("", out); // the marker alone: the uninstaller's own directory is inherited
    ProgramWorkingDirectory("C:\\App\\clean.exe", "", "", FakeFile, out, sizeof out);
    EXPECT_STREQ("C:\\App\\", out);
    // The program's own directory comes from the program, not from its quotes or arguments.
    ProgramWorkingDirectory("\"C:\\Program Files\\App\\clean.exe\" /log C:\\logs\\x.txt", ";D:\\Work", ";", FakeFile,
                            out, sizeof out);
    EXPECT_STREQ("C:\\Program Files\\App\\", out);
    // Unquoted paths with spaces: the program is found as the system finds it.
    ProgramWorkingDirectory("C:\\Program Files\\Product\\cleanup.exe", ";", ";", FakeFile, out, sizeof out);
    EXPECT_STREQ("C:\\Program Files\\Product\\", out);
    ProgramWorkingDirectory("C:\\Program Files\\Product\\cleanup.exe /s C:\\logs\\x", ";", ";", FakeFile, out,
                            sizeof out);
    EXPECT_STREQ("C:\\Program Files\\Product\\", out);
    ProgramWorkingDirectory("\\\\server\\share dir\\x.exe", ";", ";", FakeFile, out, sizeof out);
    EXPECT_STREQ("\\\\server\\share dir\\", out);
    ProgramWorkingDirectory("C:\\Tools\\run /quiet", ";", ";", FakeFile, out, sizeof out); // ".exe" is added
    EXPECT_STREQ("C:\\Tools\\", out);
    // No run of words names a file: the whole line up to its last backslash, as written.
    ProgramWorkingDirectory("D:\\Gone Dir\\x.exe /log D:\\logs\\y", ";", ";", FakeFile, out, sizeof out);
    EXPECT_STREQ("D:\\Gone Dir\\x.exe /log D:\\logs\\", out);
}

TEST(LogRecord, ProgramOfCommandLineTakesTheShortestRunThatNamesAFile)
{
    char out[260];
    // C:\Program.exe exists, so the system would start it: the lookup says so too.
    EXPECT_TRUE(
        ProgramOfCommandLine("C:\\Program Files\\Product\\cleanup.exe", FakeFileWithProgramExe, out, sizeof out));
    EXPECT_STREQ("C:\\Program.exe", out);
    EXPECT_FALSE(ProgramOfCommandLine("C:\\nothing here", FakeFile, out, sizeof out));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(ProgramOfCommandLine("", FakeFile, out, sizeof out));
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

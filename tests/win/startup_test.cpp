// The start-up's reading of what it is given: the command line of a real process, as the
// uninstaller reads its own, and the uninstall log's three header lines with the wide log's title,
// from real files.
#include "uninstall/startup.h"

#include "test_files.h"
#include "tests/test_bytes.h"
#include "tests/test_machine.h"

#include "support/line_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace
{

std::string ContextProbePath()
{
    return test_machine::ModuleDirectory() + "context_probe.exe";
}

// Runs context_probe.exe with the arguments after its quoted path, from currentDir; returns the
// fields it prints.
std::map<std::string, std::string> ProbeCommandLine(const std::string &arguments, const std::string &currentDir)
{
    test_machine::ChildProcess probe("\"" + ContextProbePath() + "\" " + arguments, currentDir, true);
    (void)probe.Wait(30000); // a probe that did not end prints no fields, which the test sees
    std::istringstream lines(probe.Output());
    std::string line;
    std::map<std::string, std::string> fields;
    while (std::getline(lines, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            fields[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return fields;
}

struct Header
{
    char ansiTitle[kTextChars];
    wchar_t displayTitle[kTextChars];
    char productKey[kKeyChars];
    char languageName[kTextChars];
};

Header ReadHeader(const std::string &logPath, const std::string &wideLogPath)
{
    Header h;
    std::memset(&h, 0x5a, sizeof h); // catches fields left unterminated
    FileLineSource log;
    log.Open(logPath.c_str());
    ReadLogHeader(log, wideLogPath.c_str(), h.ansiTitle, h.displayTitle, h.productKey, h.languageName);
    return h;
}

} // namespace

TEST(CommandLineWin, DirectoryTokenReplacesTheInstallationDirectoryOnly)
{
    ScratchDir dir;
    const std::string probeDir = ContextProbePath().substr(0, ContextProbePath().find_last_of('\\') + 1);

    auto fields = ProbeCommandLine("", dir.Path());
    EXPECT_EQ(probeDir, fields["installDir"]); // the program's own directory by default
    EXPECT_EQ(ContextProbePath(), fields["ownProgramPath"]);

    ::CreateDirectoryA(dir.File("Product Dir").c_str(), nullptr);
    fields = ProbeCommandLine("\"Product Dir\"", dir.Path()); // relative to the current directory, made full
    EXPECT_EQ(dir.File("Product Dir") + "\\", fields["installDir"]);
    EXPECT_EQ(ContextProbePath(), fields["ownProgramPath"]);
    EXPECT_EQ("Product Dir", fields["keyName"]);
    ::RemoveDirectoryA(dir.File("Product Dir").c_str());
}

TEST(CommandLineWin, OptionsEndTheWalkAndAreUpperCased)
{
    ScratchDir dir;
    const std::string probeDir = ContextProbePath().substr(0, ContextProbePath().find_last_of('\\') + 1);

    auto fields = ProbeCommandLine("-c D:\\Other", dir.Path());
    EXPECT_EQ("-C", fields["option"]);
    EXPECT_EQ(probeDir, fields["installDir"]); // what follows the option is not a directory
    fields = ProbeCommandLine("/C", dir.Path());
    EXPECT_EQ("/C", fields["option"]);

    fields = ProbeCommandLine("-Uproduct", dir.Path());
    EXPECT_EQ("-UPRODUCT", fields["option"]);
    EXPECT_EQ("PRODUCT", fields["keyName"]);
    fields = ProbeCommandLine("-U", dir.Path());
    EXPECT_EQ("", fields["keyName"]);
    fields = ProbeCommandLine("C:\\ -x", dir.Path());
    EXPECT_EQ("C:\\", fields["installDir"]);
    EXPECT_EQ("", fields["keyName"]); // a drive's root names no product

    // A directory token too long for its field leaves the directory unknown.
    fields = ProbeCommandLine("\"" + std::string(1100, 'x') + "\"", dir.Path());
    EXPECT_EQ("", fields["installDir"]);
    EXPECT_EQ("", fields["keyName"]);
}

TEST(LogHeader, ReadsTitleKeyLanguageAndTheWideTitle)
{
    const std::string longTitle(2 * kTextChars + 5, 'T');
    const std::string longKey(300, 'K');
    const std::string noWideLog = "<none>";
    struct Case
    {
        std::string log, wideLog; // the wide log's bytes, or noWideLog
        std::string ansiTitle, productKey, languageName;
        std::wstring displayTitle;
    };
    const Case cases[] = {
        {"Sample Tool 2.0\r\nSampleTool\r\nDeutsch\r\n+C:\\x\r\n", Utf16Image(u"Sample Tool \u00e4\u4e2d", false),
         "Sample Tool 2.0", "SampleTool", "Deutsch", L"Sample Tool \u00e4\u4e2d"},
        // Without a wide log the ANSI title is shown; missing lines leave their fields empty.
        {"Plain Title\nKEY\n", noWideLog, "Plain Title", "KEY", "", L"Plain Title"},
        {"Plain Title\r\nKEY\r\nEnglish\r\n", "", "Plain Title", "KEY", "English", L""},
        // Over-long lines cannot shift the next one; of a wide title longer than the field only the first
        // 1024 bytes count, and it stays terminated.
        {longTitle + "\r\n" + longKey + "\r\nEnglish\r\n", Utf16Image(std::u16string(3000, u'W'), false),
         std::string(kTextChars - 1, 'T'), std::string(kKeyChars - 1, 'K'), "English", std::wstring(512, L'W')},
        // The text before a zero byte could be another product's key, whose entry is not this run's.
        {std::string("Title\r\nOther\0Product\r\nEnglish\r\n", 31), noWideLog, "Title", "", "English", L"Title"},
    };
    for (const Case &c : cases)
    {
        ScratchDir dir;
        const std::string log = dir.Write("uninstall.log", c.log);
        const std::string wide =
            c.wideLog == noWideLog ? dir.File("uninstall_uni.log") : dir.Write("uninstall_uni.log", c.wideLog);
        const Header h = ReadHeader(log, wide);
        EXPECT_EQ(c.ansiTitle, h.ansiTitle) << c.log;
        EXPECT_EQ(c.productKey, h.productKey) << c.log;
        EXPECT_EQ(c.languageName, h.languageName) << c.log;
        EXPECT_EQ(c.displayTitle, h.displayTitle) << c.log;
    }
}

TEST(UninstallEntry, ValuesRemovedAtStartUpArePutBackAsTheyWere)
{
    // A run that ends having removed nothing must leave the product listed with its own uninstaller.
    const std::string key = "Restored Product " + std::to_string(::GetCurrentProcessId());
    const std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + key;
    HKEY entry = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                               &entry, nullptr));
    const char command[] = "%ProgramFiles%\\Restored\\uninstall.exe";
    ::RegSetValueExA(entry, "UninstallString", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(command),
                     sizeof command);
    ::RegSetValueExA(entry, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE *>("Restored"), 9);
    ::RegCloseKey(entry);

    ASSERT_TRUE(RemoveUninstallEntry(key.c_str()));
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &entry)); // emptied, gone
    RestoreUninstallEntry();
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &entry));
    char data[128] = "";
    DWORD type = 0;
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegQueryValueExA(entry, "UninstallString", nullptr, &type, reinterpret_cast<BYTE *>(data), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_STREQ(command, data);
    size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegQueryValueExA(entry, "DisplayName", nullptr, &type, reinterpret_cast<BYTE *>(data), &size));
    EXPECT_STREQ("Restored", data);
    // One that was not there stays away.
    EXPECT_NE(ERROR_SUCCESS, ::RegQueryValueExA(entry, "QuietUninstallString", nullptr, nullptr, nullptr, nullptr));
    ::RegCloseKey(entry);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

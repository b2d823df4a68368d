// The command line of a real process, read as the uninstaller reads its own.
#include "test_files.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

namespace
{

std::string ProbePath()
{
    return test_machine::ModuleDirectory() + "context_probe.exe";
}

// Runs the probe with the arguments after its quoted path, from currentDir; returns its fields.
std::map<std::string, std::string> Probe(const std::string &arguments, const std::string &currentDir)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ::CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + ProbePath() + "\" " + arguments;
    std::map<std::string, std::string> fields;
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, currentDir.c_str(), &startup,
                          &process))
        return fields;
    ::CloseHandle(writeEnd);
    std::string output;
    char buffer[512];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    ::WaitForSingleObject(process.hProcess, 30000);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    ::CloseHandle(readEnd);

    std::istringstream lines(output);
    std::string line;
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

} // namespace

TEST(CommandLineWin, DirectoryTokenReplacesTheInstallationDirectoryOnly)
{
    ScratchDir dir;
    const std::string probeDir = ProbePath().substr(0, ProbePath().find_last_of('\\') + 1);

    auto fields = Probe("", dir.Path());
    EXPECT_EQ(probeDir, fields["installDir"]); // the program's own directory by default
    EXPECT_EQ(ProbePath(), fields["ownProgramPath"]);

    ::CreateDirectoryA(dir.File("Product Dir").c_str(), nullptr);
    fields = Probe("\"Product Dir\"", dir.Path()); // relative to the current directory, made full
    EXPECT_EQ(dir.File("Product Dir") + "\\", fields["installDir"]);
    EXPECT_EQ(ProbePath(), fields["ownProgramPath"]);
    EXPECT_EQ("Product Dir", fields["keyName"]);
    ::RemoveDirectoryA(dir.File("Product Dir").c_str());
}

TEST(CommandLineWin, OptionsEndTheWalkAndAreUpperCased)
{
    ScratchDir dir;
    const std::string probeDir = ProbePath().substr(0, ProbePath().find_last_of('\\') + 1);

    auto fields = Probe("-c D:\\Other", dir.Path());
    EXPECT_EQ("-C", fields["option"]);
    EXPECT_EQ(probeDir, fields["installDir"]); // what follows the option is not a directory
    fields = Probe("/C", dir.Path());
    EXPECT_EQ("/C", fields["option"]);

    fields = Probe("-Uproduct", dir.Path());
    EXPECT_EQ("-UPRODUCT", fields["option"]);
    EXPECT_EQ("PRODUCT", fields["keyName"]);
    fields = Probe("-U", dir.Path());
    EXPECT_EQ("", fields["keyName"]);
    fields = Probe("C:\\ -x", dir.Path());
    EXPECT_EQ("C:\\", fields["installDir"]);
    EXPECT_EQ("", fields["keyName"]); // a drive's root names no product

    // A directory token too long for its field leaves the directory unknown.
    fields = Probe("\"" + std::string(1100, 'x') + "\"", dir.Path());
    EXPECT_EQ("", fields["installDir"]);
    EXPECT_EQ("", fields["keyName"]);
}

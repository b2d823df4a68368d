// tests/win/probe_run.h: runs support_probe.exe as a child process and reads what it left behind.
#pragma once

#include "tests/e2e/gui_driver.h"
#include "tests/test_machine.h"

#include <windows.h>

#include <string>
#include <vector>

using test_machine::ModuleDirectory;
using test_machine::ReadBytes;

// Runs program with arguments in currentDir, pressing OK on every window that mentions one of
// the given texts.
inline DriverResult RunProgram(const std::string &program, const std::string &arguments, const std::string &currentDir,
                               const std::vector<std::string> &okOn = {})
{
    DriverOptions options;
    options.program = FromUtf8(program);
    options.arguments = FromUtf8(arguments);
    options.currentDir = FromUtf8(currentDir);
    for (const std::string &match : okOn)
        options.answers.push_back({match, IDOK});
    options.timeoutMs = 60000;
    return DriveProgram(options);
}

inline DriverResult RunSupportProbe(const std::string &arguments, const std::string &currentDir,
                                    const std::vector<std::string> &okOn = {})
{
    return RunProgram(ModuleDirectory() + "support_probe.exe", arguments, currentDir, okOn);
}

// The file with CR LF read as LF.
inline std::string ReadText(const std::string &path)
{
    std::string text;
    for (char c : ReadBytes(path))
        if (c != '\r')
            text += c;
    return text;
}

inline std::string ClipboardText()
{
    std::string text;
    if (!::OpenClipboard(nullptr))
        return text;
    const HANDLE data = ::GetClipboardData(CF_TEXT);
    const char *locked = data != nullptr ? static_cast<const char *>(::GlobalLock(data)) : nullptr;
    if (locked != nullptr)
    {
        text = locked;
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return text;
}

inline void ClearClipboard()
{
    if (::OpenClipboard(nullptr))
    {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
}

inline std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// Sets an environment variable for the child processes started meanwhile; puts it back at the end.
// A null value removes the variable.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const char *name, const char *value) : name_(name)
    {
        char old[32768];
        const DWORD length = ::GetEnvironmentVariableA(name, old, sizeof old);
        had_ = length > 0 && length < sizeof old;
        if (had_)
            old_ = old;
        ::SetEnvironmentVariableA(name, value);
    }
    ~EnvironmentOverride() { ::SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    EnvironmentOverride(const EnvironmentOverride &) = delete;
    EnvironmentOverride &operator=(const EnvironmentOverride &) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// tests/test_machine.h: small looks at the machine that Win32 and whole-program tests share.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace test_machine
{

// The directory of the running test program, ending in a backslash: the build puts every test
// program, library and the uninstaller there.
inline std::string ModuleDirectory()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string text(path, length);
    return text.substr(0, text.find_last_of('\\') + 1);
}

inline std::string SystemDirectory()
{
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, sizeof system);
    return system;
}

constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

inline void SetSharedCount(const std::string &path, DWORD count)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ::RegSetValueExA(key, path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&count), sizeof count);
    ::RegCloseKey(key);
}

// The stored shared-library count, -1 when there is none.
inline long SharedCount(const std::string &path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return -1;
    DWORD count = 0;
    DWORD size = sizeof count;
    const LONG result =
        ::RegQueryValueExA(key, path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(&count), &size);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS ? static_cast<long>(count) : -1;
}

// The file's bytes as they stand; empty when it cannot be read.
inline std::string ReadBytes(const std::string &path)
{
    std::string bytes;
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

inline bool PathExists(const std::string &path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file of the Windows directory, such as system.ini or WININIT.INI.
inline std::string WindowsFile(const std::string &name)
{
    char windows[MAX_PATH];
    ::GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\" + name;
}

// The short form of an existing path, as WININIT.INI names it; "<no short form>" otherwise.
inline std::string ShortPath(const std::string &path)
{
    char shortPath[MAX_PATH];
    const DWORD length = ::GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length == 0 || length >= sizeof shortPath ? "<no short form>" : std::string(shortPath);
}

// The lines of every [rename] section of the INI file at path (WININIT.INI, where the Windows 95
// family keeps what goes at restart), in order, without their line ends.
inline std::vector<std::string> RenameLines(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    std::string line;
    bool inRename = false;
    while (std::getline(in, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            inRename = _stricmp(line.c_str(), "[rename]") == 0;
        else if (inRename)
            lines.push_back(line);
    }
    return lines;
}

} // namespace test_machine

// tests/machine_files.cpp: the machine's directories and files as tests see them, and the links that
// Wine can only make from its Unix side.
#include "tests/machine_files.h"

#include <windows.h>

#include <fstream>

namespace test_machine
{

std::string ModuleDirectory()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string text(path, length);
    return text.substr(0, text.find_last_of('\\') + 1);
}

std::string SystemDirectory()
{
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, sizeof system);
    return system;
}

std::string WindowsFile(const std::string &name)
{
    char windows[MAX_PATH];
    ::GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\" + name;
}

std::string ReadBytes(const std::string &path)
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

bool PathExists(const std::string &path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ShortPath(const std::string &path)
{
    char shortPath[MAX_PATH];
    const DWORD length = ::GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length == 0 || length >= sizeof shortPath ? "<no short form>" : std::string(shortPath);
}

std::vector<std::string> RenameLines(const std::string &path)
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

void RemoveTree(const std::string &directory)
{
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA((directory + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = directory + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
            {
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(directory.c_str());
}

std::string UnixPath(const std::string &windowsPath)
{
    using UnixName = char *(__cdecl *)(const wchar_t *);
    const UnixName unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t wide[MAX_PATH * 4];
    if (unixName == nullptr || ::MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 4) == 0)
        return std::string();
    char *name = unixName(wide);
    if (name == nullptr)
        return std::string();
    const std::string path = name;
    (void)::HeapFree(::GetProcessHeap(), 0, name); // Wine's own allocation; nothing to report
    return path;
}

std::string ShellQuote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool StartUnixCommand(const std::string &command)
{
    std::string line = "Z:\\bin\\sh -c \"" + command + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (UnixPath("C:\\").empty() ||
        !::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

bool MakeDirectoryLink(const std::string &link, const std::string &target)
{
    if (UnixPath(link).empty())
    {
        // Named by its entry point: the build targets a system older than the call.
        using CreateLink = BOOLEAN(WINAPI *)(LPCSTR, LPCSTR, DWORD);
        const CreateLink createLink = reinterpret_cast<CreateLink>(
            reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
        if (createLink == nullptr)
            return false;
        (void)createLink(link.c_str(), target.c_str(), 1); // a directory link; its result is looked at below
    }
    else if (!StartUnixCommand("ln -s " + ShellQuote(UnixPath(target)) + " " + ShellQuote(UnixPath(link))))
        return false;
    const DWORD linkAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    for (int wait = 0; wait < 100; ++wait, ::Sleep(50))
    {
        const DWORD attributes = ::GetFileAttributesA(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & linkAttributes) == linkAttributes)
            return true;
    }
    return false;
}

bool RemoveDirectoryLink(const std::string &link)
{
    if (UnixPath(link).empty())
        return ::RemoveDirectoryA(link.c_str()) != FALSE;
    if (!StartUnixCommand("rm -f " + ShellQuote(UnixPath(link))))
        return false;
    for (int wait = 0; wait < 100; ++wait, ::Sleep(50))
    {
        // Looked for by name: a link whose directory is gone has no attributes of its own.
        WIN32_FIND_DATAA data;
        const HANDLE find = ::FindFirstFileA(link.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return true;
        ::FindClose(find);
    }
    return false;
}

} // namespace test_machine

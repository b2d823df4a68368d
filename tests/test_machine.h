// tests/test_machine.h: small looks at the machine that Win32 and whole-program tests share.
#pragma once

#include <windows.h>

#include <fstream>
#include <functional>
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

inline bool KeyExists(HKEY root, const std::string &subkey)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

// Creates the key chain and sets a REG_SZ value in it (valueName nullptr: the unnamed one). True
// when the value is stored.
inline bool SetString(HKEY root, const std::string &subkey, const char *valueName, const std::string &data)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool stored = ::RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                                         static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return stored;
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

// The Unix path of a Windows path when running under Wine; empty elsewhere.
inline std::string UnixPath(const std::string &windowsPath)
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

// Text as one word of a Unix shell's command line.
inline std::string ShellQuote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Starts a Unix command through the shell under Wine, which runs native programs as it runs its own.
// True when it started: Wine gives back no handle to wait on and no exit status, so the caller
// waits for what the command does.
inline bool StartUnixCommand(const std::string &command)
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

// Makes link a symbolic link to the directory target. Under Wine it is a Unix link, which Wine shows
// as a directory with FILE_ATTRIBUTE_REPARSE_POINT (its own CreateSymbolicLink makes nothing);
// elsewhere the system's. True when the link is there and leads to a directory.
inline bool MakeDirectoryLink(const std::string &link, const std::string &target)
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

// Removes a link that MakeDirectoryLink made, the link alone: Wine's RemoveDirectory would remove the
// directory it leads to instead. True when it is gone.
inline bool RemoveDirectoryLink(const std::string &link)
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

// Removes a directory with everything below it, read-only files included; what is in use stays.
inline void RemoveTree(const std::string &directory)
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

constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The data of the pending-rename value, in the ANSI code page: what waits for the next restart.
// "<none>" when there is no such value.
inline std::string PendingRenames()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<none>";
    DWORD size = 0;
    std::string data = "<none>";
    if (::RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS)
    {
        data.assign(size, '\0');
        if (::RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE *>(&data[0]),
                               &size) == ERROR_SUCCESS)
            data.resize(size);
        else
            data = "<none>";
    }
    ::RegCloseKey(key);
    return data;
}

// A program started from a command line, its own path quoted where it may hold blanks, in
// currentDir (this process's when empty). With captureOutput its standard output and error go to a
// pipe that Wait reads. A program still running when the object goes is ended by force, so that it
// cannot change the machine under the next test.
class ChildProcess
{
public:
    explicit ChildProcess(std::string commandLine, const std::string &currentDir = "", bool captureOutput = false)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (captureOutput && ::CreatePipe(&output_, &writeEnd, &inherit, 0))
        {
            (void)::SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0); // only the child's end is handed on
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = writeEnd;
            startup.hStdError = writeEnd;
        }
        PROCESS_INFORMATION process = {};
        if (::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, writeEnd != nullptr, 0, nullptr,
                             currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &process))
        {
            process_ = process.hProcess;
            ::CloseHandle(process.hThread);
        }
        // Only the child holds the write end now: the pipe ends when the child does.
        if (writeEnd != nullptr)
            ::CloseHandle(writeEnd);
    }
    ~ChildProcess()
    {
        if (process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
            Kill(1);
        if (process_ != nullptr)
            ::CloseHandle(process_);
        if (output_ != nullptr)
            ::CloseHandle(output_);
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool Started() const { return process_ != nullptr; }

    // Waits up to timeoutMs for the program to end, after reading all it writes when its output is
    // captured. Its exit code; -1 when it did not start or has not ended (no program of these tests
    // ends with -1).
    long Wait(DWORD timeoutMs)
    {
        if (process_ == nullptr)
            return -1;
        char buffer[512];
        DWORD got = 0;
        while (output_ != nullptr && ::ReadFile(output_, buffer, sizeof buffer, &got, nullptr) && got > 0)
            text_.append(buffer, got);
        DWORD code = 0;
        if (::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process_, &code))
            return -1;
        return static_cast<long>(code);
    }

    // Ends the program at once, as Task Manager would, and waits for it to be gone.
    void Kill(UINT exitCode)
    {
        (void)::TerminateProcess(process_, exitCode); // fails only for a program that has already ended
        (void)::WaitForSingleObject(process_, 10000); // termination is not synchronous
    }

    // What the program wrote to its standard output and error, once Wait has read it.
    const std::string &Output() const { return text_; }

private:
    HANDLE process_ = nullptr;
    HANDLE output_ = nullptr;
    std::string text_;
};

// Runs a command line in currentDir and waits up to timeoutMs: ChildProcess::Wait's result.
inline long RunAndWait(const std::string &commandLine, const std::string &currentDir, DWORD timeoutMs)
{
    ChildProcess child(commandLine, currentDir);
    return child.Wait(timeoutMs);
}

namespace detail
{

// A registry key as it stood: its values and, recursively, its subkeys.
struct KeyCopy
{
    std::string name;
    struct Value
    {
        std::string name;
        DWORD type;
        std::string data;
    };
    std::vector<Value> values;
    std::vector<KeyCopy> subkeys;
};

// Reads the open key's values and subkeys into copy.
inline void CopyKey(HKEY key, KeyCopy &copy)
{
    char name[16384];
    for (DWORD index = 0;; ++index)
    {
        DWORD nameChars = sizeof name;
        DWORD type = 0;
        DWORD size = 0;
        if (::RegEnumValueA(key, index, name, &nameChars, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameChars = sizeof name;
        if (::RegEnumValueA(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE *>(&data[0]), &size) ==
            ERROR_SUCCESS)
            copy.values.push_back({std::string(name, nameChars), type, data.substr(0, size)});
    }
    for (DWORD index = 0;; ++index)
    {
        DWORD nameChars = sizeof name;
        if (::RegEnumKeyExA(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        KeyCopy sub;
        sub.name.assign(name, nameChars);
        HKEY subkey = nullptr;
        if (::RegOpenKeyExA(key, sub.name.c_str(), 0, KEY_READ, &subkey) != ERROR_SUCCESS)
            continue;
        CopyKey(subkey, sub);
        ::RegCloseKey(subkey);
        copy.subkeys.push_back(sub);
    }
}

inline void WriteKey(HKEY parent, const KeyCopy &copy)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(parent, copy.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const KeyCopy::Value &value : copy.values)
        ::RegSetValueExA(key, value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE *>(value.data.data()),
                         static_cast<DWORD>(value.data.size()));
    for (const KeyCopy &sub : copy.subkeys)
        WriteKey(key, sub);
    ::RegCloseKey(key);
}

// Deletes the key with its subkeys: RegDeleteKeyA of the NT family takes only keys without any.
// True when the key is gone.
inline bool DeleteTree(HKEY parent, const std::string &path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return true;
    char name[256];
    DWORD nameChars = sizeof name;
    // Always the first subkey, since each one deleted moves the rest up; one that stays ends the loop.
    while (::RegEnumKeyExA(key, 0, name, &nameChars, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           DeleteTree(key, std::string(name, nameChars)))
        nameChars = sizeof name;
    ::RegCloseKey(key);
    return ::RegDeleteKeyA(parent, path.c_str()) == ERROR_SUCCESS;
}

} // namespace detail

// Puts back the parts of the machine that a test changes, as they stood when each was kept, when
// the guard goes: at the end of the test however it ends, a failed assertion included. The last
// kept is put back first. Putting back is best effort: its results are not checked, as there is no
// test left to fail.
class MachineRestore
{
public:
    MachineRestore() = default;
    ~MachineRestore()
    {
        for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo)
            (*undo)();
    }
    MachineRestore(const MachineRestore &) = delete;
    MachineRestore &operator=(const MachineRestore &) = delete;

    // A file's bytes, or that it was not there.
    MachineRestore &KeepFile(const std::string &path)
    {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        const std::string bytes = ReadBytes(path);
        undo_.push_back([path, attributes, bytes] {
            (void)::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (attributes == INVALID_FILE_ATTRIBUTES)
            {
                (void)::DeleteFileA(path.c_str());
                return;
            }
            {
                std::ofstream out(path, std::ios::binary | std::ios::trunc);
                out << bytes;
            }
            (void)::SetFileAttributesA(path.c_str(), attributes);
        });
        return *this;
    }

    // A key with its values and subkeys, or that it was not there.
    MachineRestore &KeepKey(HKEY root, const std::string &path)
    {
        HKEY key = nullptr;
        const bool existed = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
        detail::KeyCopy copy;
        copy.name = path;
        if (existed)
        {
            detail::CopyKey(key, copy);
            ::RegCloseKey(key);
        }
        undo_.push_back([root, existed, copy] {
            (void)detail::DeleteTree(root, copy.name);
            if (existed)
                detail::WriteKey(root, copy);
        });
        return *this;
    }

    // One value of a key that stays, such as the pending renames of the session manager. Its bytes are
    // kept as stored: read and written through the wide calls, a list of paths in any script comes
    // back as it was.
    MachineRestore &KeepValue(HKEY root, const std::string &path, const std::string &name)
    {
        const std::wstring wideName = WideName(name);
        DWORD type = 0;
        std::string data;
        bool existed = false;
        HKEY key = nullptr;
        if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS)
        {
            DWORD size = 0;
            if (::RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS)
            {
                data.assign(size, '\0');
                existed = ::RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(&data[0]),
                                             &size) == ERROR_SUCCESS;
                data.resize(size);
            }
            ::RegCloseKey(key);
        }
        undo_.push_back([root, path, wideName, existed, type, data] {
            HKEY key = nullptr;
            if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
                return;
            if (existed)
                (void)::RegSetValueExW(key, wideName.c_str(), 0, type, reinterpret_cast<const BYTE *>(data.data()),
                                       static_cast<DWORD>(data.size()));
            else
                (void)::RegDeleteValueW(key, wideName.c_str());
            (void)::RegCloseKey(key);
        });
        return *this;
    }

    // Anything else to put back, in the same order as the rest.
    MachineRestore &Later(std::function<void()> undo)
    {
        undo_.push_back(std::move(undo));
        return *this;
    }

    MachineRestore &KeepCurrentDirectory()
    {
        char directory[MAX_PATH] = "";
        const DWORD length = ::GetCurrentDirectoryA(sizeof directory, directory);
        const std::string kept(directory, length < sizeof directory ? length : 0);
        undo_.push_back([kept] { (void)::SetCurrentDirectoryA(kept.c_str()); });
        return *this;
    }

private:
    static std::wstring WideName(const std::string &name)
    {
        wchar_t wide[16384];
        const int units = ::MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, 16384);
        return units > 0 ? std::wstring(wide) : std::wstring();
    }

    std::vector<std::function<void()>> undo_;
};

} // namespace test_machine

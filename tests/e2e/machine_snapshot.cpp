// tests/e2e/machine_snapshot.cpp: everything a program could change on this machine, taken before and
// after it runs.
#include "machine_snapshot.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>

namespace
{

// The directory listing's entry, declared here: the build targets an older Windows than the one
// whose headers name it, and Wine has it.
struct DirectoryEntry
{
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;
    DWORD EaSize;
    CCHAR ShortNameLength;
    WCHAR ShortName[12];
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
};
constexpr int kIdBothDirectoryInfo = 10;        // FileIdBothDirectoryInfo
constexpr int kIdBothDirectoryRestartInfo = 11; // FileIdBothDirectoryRestartInfo
using GetInformationByHandleEx = BOOL(WINAPI *)(HANDLE, int, LPVOID, DWORD);

std::string Utf8(const wchar_t *text, size_t units)
{
    if (units == 0)
        return std::string();
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), &out[0], bytes, nullptr, nullptr);
    return out;
}

bool Skipped(const std::string &upperPath, const std::vector<std::string> &upperSkipped)
{
    for (const std::string &prefix : upperSkipped)
        if (upperPath.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

// A hash of the bytes, eight at a time: equal bytes, equal hash; a change shows with near certainty.
// Nothing here defends against a file made to collide on purpose.
std::string FileHash(const std::wstring &path)
{
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "unreadable";
    unsigned long long hash = 14695981039346656037ull;
    std::vector<unsigned long long> buffer(1 << 17);
    DWORD read = 0;
    while (::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size() * 8), &read, nullptr) && read > 0)
    {
        std::memset(reinterpret_cast<char *>(buffer.data()) + read, 0, (8 - read % 8) % 8);
        for (DWORD i = 0; i < (read + 7) / 8; ++i)
            hash = (hash ^ buffer[i]) * 1099511628211ull ^ (hash >> 29);
        hash ^= read;
    }
    ::CloseHandle(file);
    char text[32];
    std::snprintf(text, sizeof text, "%016llx", hash);
    return text;
}

// What a file's hash was taken from, so that an unchanged file is not read again.
struct HashedFile
{
    unsigned long long size;
    unsigned long long writeTime;
    unsigned long long changeTime;
    std::string hash;
};
std::map<std::wstring, HashedFile> g_hashes; // the test programs take their snapshots on one thread

std::string CachedHash(const std::wstring &path, const DirectoryEntry &entry)
{
    const unsigned long long size = static_cast<unsigned long long>(entry.EndOfFile.QuadPart);
    const unsigned long long written = static_cast<unsigned long long>(entry.LastWriteTime.QuadPart);
    const unsigned long long changed = static_cast<unsigned long long>(entry.ChangeTime.QuadPart);
    const auto found = g_hashes.find(path);
    if (found != g_hashes.end() && found->second.size == size && found->second.writeTime == written &&
        found->second.changeTime == changed)
        return found->second.hash;
    const std::string hash = FileHash(path);
    g_hashes[path] = HashedFile{size, written, changed, hash};
    return hash;
}

GetInformationByHandleEx ListingCall()
{
    return reinterpret_cast<GetInformationByHandleEx>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
}

// True when the directory is a link to another directory. Wine marks a mount point inside a drive
// as a reparse point too; that one leads nowhere else and is walked like any directory.
bool LeadsElsewhere(const std::wstring &path)
{
    using FinalPath = DWORD(WINAPI *)(HANDLE, LPWSTR, DWORD, DWORD);
    static const FinalPath finalPath = reinterpret_cast<FinalPath>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
    const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE || finalPath == nullptr)
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        return true; // nothing to walk there
    }
    std::vector<wchar_t> target(32768);
    const DWORD length = finalPath(handle, target.data(), static_cast<DWORD>(target.size()), 0);
    ::CloseHandle(handle);
    return length == 0 || length >= target.size() || _wcsicmp(target.data(), path.c_str()) != 0;
}

// Walks dir (a "\\?\" path, so that no length limit applies) and its subdirectories, but not the
// directories that links lead to: what they hold is walked where it is.
void WalkFiles(const std::wstring &dir, const std::string &name, const std::vector<std::string> &skipped,
               MachineSnapshot &snapshot)
{
    static const GetInformationByHandleEx listing = ListingCall();
    const HANDLE handle =
        ::CreateFileW(dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE || listing == nullptr)
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        return;
    }
    std::vector<unsigned long long> buffer(1 << 13);
    std::vector<std::pair<std::wstring, std::string>> subdirectories;
    for (int kind = kIdBothDirectoryRestartInfo;
         listing(handle, kind, buffer.data(), static_cast<DWORD>(buffer.size() * 8)); kind = kIdBothDirectoryInfo)
    {
        for (const char *at = reinterpret_cast<const char *>(buffer.data());;)
        {
            const DirectoryEntry &entry = *reinterpret_cast<const DirectoryEntry *>(at);
            const std::wstring entryName(entry.FileName, entry.FileNameLength / sizeof(WCHAR));
            if (entryName != L"." && entryName != L"..")
            {
                const std::string path = name + "\\" + Utf8(entryName.data(), entryName.size());
                const std::wstring widePath = dir + (dir.back() == L'\\' ? L"" : L"\\") + entryName;
                if (!Skipped(UpperUtf8(path), skipped))
                {
                    const bool directory = (entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                    FileFacts facts;
                    facts.attributes = entry.FileAttributes;
                    if (directory)
                        facts.hash = "dir";
                    else
                    {
                        facts.size = static_cast<unsigned long long>(entry.EndOfFile.QuadPart);
                        facts.writeTime = static_cast<unsigned long long>(entry.LastWriteTime.QuadPart);
                        facts.hash = CachedHash(widePath, entry);
                    }
                    snapshot.files[path] = facts;
                    if (directory &&
                        ((entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || !LeadsElsewhere(widePath)))
                        subdirectories.emplace_back(widePath, path);
                }
            }
            if (entry.NextEntryOffset == 0)
                break;
            at += entry.NextEntryOffset;
        }
    }
    ::CloseHandle(handle);
    for (const auto &subdirectory : subdirectories)
        WalkFiles(subdirectory.first, subdirectory.second, skipped, snapshot);
}

// Saving a hive takes the backup privilege, which a test's own token holds but has not enabled.
bool EnableBackupPrivilege()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool enabled = ::LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &privileges.Privileges[0].Luid) &&
                         ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                         ::GetLastError() == ERROR_SUCCESS;
    ::CloseHandle(token);
    return enabled;
}

// Undoes the escapes of the registry's export: \\, \", \[, \], C escapes, \ooo in octal and \xhhhh.
std::wstring Unescape(const std::string &text, size_t &at, char end)
{
    std::wstring out;
    while (at < text.size() && text[at] != end)
    {
        const char c = text[at++];
        if (c != '\\' || at >= text.size())
        {
            out.push_back(static_cast<unsigned char>(c)); // the export writes only ASCII here
            continue;
        }
        const char e = text[at++];
        const char *const letters = "abtnvfre";
        const wchar_t codes[] = {7, 8, 9, 10, 11, 12, 13, 27};
        if (const char *letter = std::strchr(letters, e); letter != nullptr && e != '\0')
            out.push_back(codes[letter - letters]);
        else if (e == 'x')
        {
            unsigned value = 0;
            for (int digits = 0; digits < 4 && at < text.size() && std::isxdigit(static_cast<unsigned char>(text[at]));
                 ++digits)
                value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(text[at]))
                                                               ? text[at] - '0'
                                                               : (text[at] | 0x20) - 'a' + 10),
                ++at;
            out.push_back(static_cast<wchar_t>(value));
        }
        else if (e >= '0' && e <= '7')
        {
            unsigned value = static_cast<unsigned>(e - '0');
            for (int digits = 1; digits < 3 && at < text.size() && text[at] >= '0' && text[at] <= '7'; ++digits)
                value = value * 8 + static_cast<unsigned>(text[at++] - '0');
            out.push_back(static_cast<wchar_t>(value));
        }
        else
            out.push_back(static_cast<unsigned char>(e));
    }
    if (at < text.size())
        ++at; // the closing character
    return out;
}

// A value's data as the export writes it: "string", str(N):"string", dword:hhhhhhhh, hex:bb,...
// or hex(N):bb,... Returns "<type>:<bytes>".
std::string ValueData(const std::string &text)
{
    size_t at = 0;
    unsigned long type = REG_SZ;
    if (text.compare(0, 4, "str(") == 0 || text.compare(0, 4, "hex(") == 0)
    {
        type = std::strtoul(text.c_str() + 4, nullptr, 16);
        at = text.find(':') + 1;
    }
    else if (text.compare(0, 6, "dword:") == 0)
    {
        const unsigned long value = std::strtoul(text.c_str() + 6, nullptr, 16);
        return std::to_string(REG_DWORD) + ":" + std::string(reinterpret_cast<const char *>(&value), 4);
    }
    else if (text.compare(0, 4, "hex:") == 0)
    {
        type = REG_BINARY;
        at = 4;
    }
    std::string bytes;
    if (text.compare(at, 1, "\"") == 0)
    {
        ++at;
        const std::wstring units = Unescape(text, at, '"');
        bytes.assign(reinterpret_cast<const char *>(units.data()), units.size() * sizeof(wchar_t));
        bytes.append(2, '\0'); // the export leaves out the terminating zero it stored
    }
    else
    {
        for (; at + 1 < text.size(); at += 3)
            bytes.push_back(static_cast<char>(std::strtoul(text.substr(at, 2).c_str(), nullptr, 16)));
    }
    return std::to_string(type) + ":" + bytes;
}

// Reads a hive exported by RegSaveKey into the snapshot under rootName. A key is named in the export
// when it holds values or nothing at all; the keys above it are there too.
void ReadExport(const std::wstring &file, const std::string &rootName, MachineSnapshot &snapshot)
{
    std::ifstream in(file.c_str(), std::ios::binary);
    std::string line;
    std::string key;
    std::string pending; // a value line continued with a trailing backslash
    while (std::getline(in, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!pending.empty())
        {
            const size_t first = line.find_first_not_of(' ');
            line = pending + (first == std::string::npos ? std::string() : line.substr(first));
            pending.clear();
        }
        if (!line.empty() && line.back() == '\\' && line[0] != '[')
        {
            line.pop_back();
            pending = line;
            continue;
        }
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[')
        {
            size_t at = 1;
            const std::wstring path = Unescape(line, at, ']');
            key = rootName;
            std::wstring part;
            for (size_t i = 0; i <= path.size(); ++i)
            {
                if (i < path.size() && path[i] != L'\\')
                {
                    part.push_back(path[i]);
                    continue;
                }
                key += "\\" + Utf8(part.data(), part.size());
                snapshot.registry[key] = "key";
                part.clear();
            }
            continue;
        }
        size_t at = 0;
        std::wstring name;
        if (line[0] == '"')
        {
            at = 1;
            name = Unescape(line, at, '"');
        }
        else if (line[0] == '@')
            at = 1;
        if (at >= line.size() || line[at] != '=')
            continue;
        snapshot.registry[key + "\\" + Utf8(name.data(), name.size())] = ValueData(line.substr(at + 1));
    }
}

// Exports a root through the registry's own save: one request for the whole hive, where walking it
// key by key takes tens of thousands. False when it cannot be saved.
bool SaveRoot(HKEY root, const std::string &rootName, MachineSnapshot &snapshot)
{
    static const bool privileged = EnableBackupPrivilege();
    if (!privileged)
        return false;
    wchar_t temp[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return false;
    static unsigned counter = 0;
    wchar_t file[MAX_PATH + 64];
    std::swprintf(file, sizeof file / sizeof file[0], L"%lssnapshot-%lu-%u.reg", temp, ::GetCurrentProcessId(),
                  ++counter);
    (void)::DeleteFileW(file); // RegSaveKey writes only a new file
    if (::RegSaveKeyW(root, file, nullptr) != ERROR_SUCCESS)
        return false;
    ReadExport(file, rootName, snapshot);
    (void)::DeleteFileW(file); // it was the snapshot's own: nothing to report
    return true;
}

// The key walk, for a registry that cannot be saved: the same entries, much more slowly.
void WalkKey(HKEY root, const std::string &name, const std::wstring &path, MachineSnapshot &snapshot)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    const std::string keyName = name + (path.empty() ? "" : "\\" + Utf8(path.c_str(), path.size()));
    snapshot.registry[keyName] = "key";
    std::vector<BYTE> data(1 << 16);
    for (DWORD index = 0;; ++index)
    {
        wchar_t valueName[16384];
        DWORD nameChars = 16384;
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        const LONG status = ::RegEnumValueW(key, index, valueName, &nameChars, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA)
        {
            data.resize(size);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS)
            break;
        snapshot.registry[keyName + "\\" + Utf8(valueName, nameChars)] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<const char *>(data.data()), size);
    }
    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index)
    {
        wchar_t child[256];
        DWORD childChars = 256;
        if (::RegEnumKeyExW(key, index, child, &childChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.push_back(path.empty() ? std::wstring(child) : path + L"\\" + child);
    }
    ::RegCloseKey(key);
    for (const std::wstring &child : children)
        WalkKey(root, name, child, snapshot);
}

void TakeRegistry(HKEY root, const std::string &name, MachineSnapshot &snapshot)
{
    MachineSnapshot saved;
    if (SaveRoot(root, name, saved))
    {
        snapshot.registry.insert(saved.registry.begin(), saved.registry.end());
        snapshot.registry[name] = "key";
        return;
    }
    WalkKey(root, name, L"", snapshot);
}

} // namespace

std::wstring FromCodePage(const std::string &text, unsigned codePage)
{
    if (text.empty())
        return std::wstring();
    const int units = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], units);
    return out;
}

std::string UpperUtf8(const std::string &utf8)
{
    std::wstring wide = FromCodePage(utf8, CP_UTF8);
    if (!wide.empty())
        ::CharUpperBuffW(&wide[0], static_cast<DWORD>(wide.size()));
    return Utf8(wide.data(), wide.size());
}

MachineSnapshot TakeMachineSnapshot(const std::vector<std::string> &skipped)
{
    std::vector<std::string> upperSkipped;
    for (const std::string &prefix : skipped)
    {
        // As the walk spells paths: "..\" and doubled backslashes taken out.
        wchar_t full[MAX_PATH * 4];
        const std::wstring wide = FromCodePage(prefix, CP_UTF8);
        const DWORD length = ::GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
        upperSkipped.push_back(UpperUtf8(length > 0 && length < MAX_PATH * 4 ? Utf8(full, length) : prefix));
    }
    // The registry's exports pass through files of the temporary directory, which the system may not
    // have let go of by the time the walk comes there: they are the snapshot's own, never the run's.
    wchar_t temp[MAX_PATH];
    const DWORD tempLength = ::GetTempPathW(MAX_PATH, temp);
    if (tempLength > 0 && tempLength < MAX_PATH)
    {
        wchar_t full[MAX_PATH * 4];
        const DWORD length = ::GetFullPathNameW(temp, MAX_PATH * 4, full, nullptr);
        if (length > 0 && length < MAX_PATH * 4)
            upperSkipped.push_back(UpperUtf8(Utf8(full, length) + "snapshot-"));
    }
    MachineSnapshot snapshot;
    // The registry first: its export passes through a file of the temporary directory.
    TakeRegistry(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", snapshot);
    TakeRegistry(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", snapshot);
    WalkFiles(L"\\\\?\\C:\\", "C:", upperSkipped, snapshot);
    return snapshot;
}

std::vector<SnapshotChange> SnapshotChanges(const MachineSnapshot &before, const MachineSnapshot &after)
{
    std::vector<SnapshotChange> changes;
    const auto compare = [&](const auto &a, const auto &b, bool registry) {
        for (const auto &entry : a)
        {
            const auto found = b.find(entry.first);
            if (found == b.end())
                changes.push_back({SnapshotChange::Removed, registry, entry.first});
            else if (found->second != entry.second)
                changes.push_back({SnapshotChange::Changed, registry, entry.first});
        }
        for (const auto &entry : b)
            if (a.count(entry.first) == 0)
                changes.push_back({SnapshotChange::Added, registry, entry.first});
    };
    compare(before.files, after.files, false);
    compare(before.registry, after.registry, true);
    return changes;
}

std::string DescribeChange(const SnapshotChange &change)
{
    const char *const words[] = {"added ", "removed ", "changed "};
    return words[change.kind] + change.path;
}

std::vector<std::string> SnapshotDifferences(const MachineSnapshot &before, const MachineSnapshot &after)
{
    std::vector<std::string> differences;
    for (const SnapshotChange &change : SnapshotChanges(before, after))
        differences.push_back(DescribeChange(change));
    return differences;
}

bool SnapshotValue(const MachineSnapshot &snapshot, const std::string &path, unsigned long &type, std::string &bytes)
{
    const auto found = snapshot.registry.find(path);
    if (found == snapshot.registry.end() || found->second == "key")
        return false;
    const size_t colon = found->second.find(':');
    type = std::strtoul(found->second.substr(0, colon).c_str(), nullptr, 10);
    bytes = found->second.substr(colon + 1);
    return true;
}

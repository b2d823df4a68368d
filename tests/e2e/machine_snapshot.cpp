// tests/e2e/machine_snapshot.cpp: everything a program could change on this machine, taken before and
// after it runs.
#include "machine_snapshot.h"

#include <windows.h>

#include <cstdio>

namespace
{

std::string Upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool Skipped(const std::string &path, const std::vector<std::string> &skipped)
{
    const std::string upper = Upper(path);
    for (const std::string &prefix : skipped)
        if (upper.compare(0, prefix.size(), Upper(prefix)) == 0)
            return true;
    return false;
}

// FNV-1a over the file's bytes: equal bytes, equal hash; a change shows with near certainty.
std::string FileHash(const std::string &path)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "unreadable";
    unsigned long long hash = 14695981039346656037ull;
    static char buffer[1 << 20];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        for (DWORD i = 0; i < read; ++i)
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    ::CloseHandle(file);
    char text[32];
    std::snprintf(text, sizeof text, "%016llx", hash);
    return text;
}

void WalkFiles(const std::string &dir, const std::vector<std::string> &skipped, MachineSnapshot &snapshot)
{
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do
    {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = dir + "\\" + name;
        if (Skipped(path, skipped))
            continue;
        char facts[128];
        const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A directory's times change with its entries, which are compared themselves.
        std::snprintf(facts, sizeof facts, "%lu %08lx%08lx %lx ", directory ? 0ul : data.nFileSizeLow,
                      directory ? 0ul : data.ftLastWriteTime.dwHighDateTime,
                      directory ? 0ul : data.ftLastWriteTime.dwLowDateTime, data.dwFileAttributes);
        snapshot.files[path] = facts + (directory ? std::string("dir") : FileHash(path));
        if (directory && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            WalkFiles(path, skipped, snapshot);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

std::string Narrow(const wchar_t *text)
{
    char out[1024];
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return length > 0 ? std::string(out) : std::string("?");
}

void WalkKey(HKEY root, const std::string &name, const std::wstring &path, MachineSnapshot &snapshot)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    const std::string keyName = name + "\\" + Narrow(path.c_str());
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
        snapshot.registry[keyName + "\\" + Narrow(valueName)] =
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

} // namespace

MachineSnapshot TakeMachineSnapshot(const std::vector<std::string> &skipped)
{
    MachineSnapshot snapshot;
    WalkFiles("C:", skipped, snapshot);
    WalkKey(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", L"", snapshot);
    WalkKey(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", L"", snapshot);
    return snapshot;
}

std::vector<std::string> SnapshotDifferences(const MachineSnapshot &before, const MachineSnapshot &after)
{
    std::vector<std::string> differences;
    const auto compare = [&](const std::map<std::string, std::string> &a, const std::map<std::string, std::string> &b) {
        for (const auto &entry : a)
        {
            const auto found = b.find(entry.first);
            if (found == b.end())
                differences.push_back("removed " + entry.first);
            else if (found->second != entry.second)
                differences.push_back("changed " + entry.first);
        }
        for (const auto &entry : b)
            if (a.count(entry.first) == 0)
                differences.push_back("added " + entry.first);
    };
    compare(before.files, after.files);
    compare(before.registry, after.registry);
    return differences;
}

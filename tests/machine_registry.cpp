// tests/machine_registry.cpp: the registry values that tests set up and read back: the shared-library
// counts, the pending renames, plain keys and strings.
#include "tests/machine_registry.h"

namespace test_machine
{

void SetSharedCount(const std::string &path, DWORD count)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ::RegSetValueExA(key, path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&count), sizeof count);
    ::RegCloseKey(key);
}

long SharedCount(const std::string &path)
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

bool KeyExists(HKEY root, const std::string &subkey)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool HasValue(HKEY root, const std::string &subkey, const char *valueName)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    const bool found = ::RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return found;
}

bool SetString(HKEY root, const std::string &subkey, const char *valueName, const std::string &data)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool stored = ::RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                                         static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return stored;
}

std::string PendingRenames()
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

void CopyKey(HKEY key, KeyCopy &copy)
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

void WriteKey(HKEY parent, const KeyCopy &copy)
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

bool DeleteTree(HKEY parent, const std::string &path)
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

} // namespace test_machine

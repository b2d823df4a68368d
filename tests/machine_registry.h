// tests/machine_registry.h: the registry values that tests set up and read back: the shared-library
// counts, the pending renames, plain keys and strings.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_machine
{

constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

void SetSharedCount(const std::string &path, DWORD count);

// The stored shared-library count, -1 when there is none.
long SharedCount(const std::string &path);

bool KeyExists(HKEY root, const std::string &subkey);

// True when the key holds a value of that name (nullptr: the unnamed one).
bool HasValue(HKEY root, const std::string &subkey, const char *valueName);

// Creates the key chain and sets a REG_SZ value in it (valueName nullptr: the unnamed one). True
// when the value is stored.
bool SetString(HKEY root, const std::string &subkey, const char *valueName, const std::string &data);

// The data of the pending-rename value, in the ANSI code page: what waits for the next restart.
// "<none>" when there is no such value.
std::string PendingRenames();

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
void CopyKey(HKEY key, KeyCopy &copy);

// Creates copy.name below parent with the values and subkeys of copy; what cannot be made is left out.
void WriteKey(HKEY parent, const KeyCopy &copy);

// Deletes the key with its subkeys: RegDeleteKeyA of the NT family takes only keys without any.
// True when the key is gone.
bool DeleteTree(HKEY parent, const std::string &path);

} // namespace test_machine

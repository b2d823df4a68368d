// system/registry_access.cpp: every change and read the uninstaller makes in the registry, addressed by
// textual registry paths.
#include "system/registry_access.h"

#include "support/ascii_text.h"
#include "support/bound_functions.h"
#include "support/scope_closer.h"
#include "support/windows_family.h"
#include "system/dword_value.h"
#include "system/registry_path.h"

#include <cstdint>
#include <cstring>

static_assert(REG_DWORD == kDwordValueType, "the portable reading knows the DWORD type by its number");

namespace
{

// ReadDword and WriteDword address keys of at most 255 characters: prefix, backslash and subkey.
constexpr size_t kDwordKeyChars = 256;

HKEY RootKey(RegistryRoot root)
{
    switch (root)
    {
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentConfig:
        return HKEY_CURRENT_CONFIG;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
        return HKEY_USERS;
    case RegistryRoot::PerformanceData:
        return HKEY_PERFORMANCE_DATA;
    case RegistryRoot::DynData:
        return HKEY_DYN_DATA;
    case RegistryRoot::None:
        break;
    }
    return nullptr;
}

// A value path taken apart; root is null when the path is refused.
struct ValuePath
{
    HKEY root;
    char subkey[kRegistrySubkeyChars];
    char name[kRegistryValueNameChars];

    explicit ValuePath(const char *path)
    {
        root = RootKey(ParseRegistryPath(path, subkey, sizeof subkey, name, sizeof name));
    }
    // The platform's name for the value: null for the unnamed one written as "(default)".
    const char *ValueName() const { return IsDefaultValueName(name) ? nullptr : name; }
};

// Queries a value of an existing key; size is in-out as for RegQueryValueExA.
LONG QueryValue(const char *path, void *buffer, DWORD &size)
{
    const ValuePath value(path);
    if (value.root == nullptr)
        return ERROR_INVALID_PARAMETER;
    KeyCloser key;
    const LONG status = ::RegOpenKeyExA(value.root, value.subkey, 0, KEY_QUERY_VALUE, key.Receive());
    if (status != ERROR_SUCCESS)
        return status;
    return ::RegQueryValueExA(key, value.ValueName(), nullptr, nullptr, static_cast<BYTE *>(buffer), &size);
}

// The value's name in UTF-16, null for the unnamed one; false when it cannot be converted.
bool WideValueName(const ValuePath &value, wchar_t (&out)[kRegistryValueNameChars], const wchar_t *&name)
{
    name = nullptr;
    if (value.ValueName() == nullptr)
        return true;
    if (::MultiByteToWideChar(CP_ACP, 0, value.ValueName(), -1, out, kRegistryValueNameChars) == 0)
        return false;
    name = out;
    return true;
}

// True when the open key has neither a subkey nor a value: one question for both counts. A key that
// cannot be asked is kept.
bool IsEmptyKey(HKEY key)
{
    DWORD subkeys = 0;
    DWORD values = 0;
    return ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                              nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

} // namespace

RegistryAccess::RegistryAccess(const char *keyPrefix) : isNt_(IsNtFamily()), keyPrefix_(keyPrefix ? keyPrefix : "") {}

DWORD RegistryAccess::ReadValue(const char *path, void *buffer, DWORD capacity) const
{
    DWORD size = capacity;
    return QueryValue(path, buffer, size) == ERROR_SUCCESS ? size : 0;
}

DWORD RegistryAccess::GetValueSize(const char *path) const
{
    DWORD size = 0;
    return QueryValue(path, nullptr, size) == ERROR_SUCCESS ? size : 0;
}

bool RegistryAccess::ValueExists(const char *path) const
{
    DWORD size = 0;
    return QueryValue(path, nullptr, size) == ERROR_SUCCESS;
}

bool RegistryAccess::WriteMultiString(const char *path, const void *data, DWORD size) const
{
    const ValuePath value(path);
    if (value.root == nullptr)
        return false;
    KeyCloser key;
    if (::RegCreateKeyExA(value.root, value.subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status =
        ::RegSetValueExA(key, value.ValueName(), 0, REG_MULTI_SZ, static_cast<const BYTE *>(data), size);
    return status == ERROR_SUCCESS;
}

bool RegistryAccess::ReadMultiStringUtf16(const char *path, std::vector<char16_t> &data) const
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 on both sides");
    data.clear();
    const ValuePath value(path);
    wchar_t nameBuffer[kRegistryValueNameChars];
    const wchar_t *name = nullptr;
    if (value.root == nullptr || !WideValueName(value, nameBuffer, name))
        return false;
    KeyCloser key;
    if (::RegOpenKeyExA(value.root, value.subkey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    // The value may grow between the size and the read (another program scheduling a file): asked again.
    LONG status = ERROR_MORE_DATA;
    DWORD type = 0;
    DWORD size = 0;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt)
    {
        size = 0;
        status = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            break;
        data.assign(size / sizeof(char16_t) + 1, 0);
        size = static_cast<DWORD>(data.size() * sizeof(char16_t));
        status = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size);
    }
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ || size % sizeof(char16_t) != 0)
    {
        data.clear();
        return false;
    }
    data.resize(size / sizeof(char16_t));
    return true;
}

bool RegistryAccess::WriteMultiStringUtf16(const char *path, const char16_t *data, size_t units) const
{
    const ValuePath value(path);
    wchar_t nameBuffer[kRegistryValueNameChars];
    const wchar_t *name = nullptr;
    if (value.root == nullptr || !WideValueName(value, nameBuffer, name) || units > MAXDWORD / sizeof(char16_t))
        return false;
    KeyCloser key;
    if (::RegCreateKeyExA(value.root, value.subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status = ::RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(data),
                                         static_cast<DWORD>(units * sizeof(char16_t)));
    return status == ERROR_SUCCESS;
}

bool RegistryAccess::DeleteValue(const char *path) const
{
    return DeleteValueStatus(path) == ERROR_SUCCESS;
}

LONG RegistryAccess::DeleteValueStatus(const char *path) const
{
    const ValuePath value(path);
    if (value.root == nullptr)
        return ERROR_INVALID_PARAMETER;
    return DeleteValueAndPruneStatus(value.root, value.subkey, value.name);
}

LONG RegistryAccess::PlanDeleteValue(const char *path, std::vector<std::string> &prunedKeys) const
{
    prunedKeys.clear();
    const ValuePath value(path);
    if (value.root == nullptr)
        return ERROR_INVALID_PARAMETER;
    HKEY key = nullptr;
    LONG status = ::RegOpenKeyExA(value.root, value.subkey, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = ::RegQueryValueExA(key, value.ValueName(), nullptr, nullptr, nullptr, nullptr);
    DWORD subkeys = 0;
    DWORD values = 0;
    const bool counted = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return status;
    // The value's key would be empty with the value gone; each parent then when the key below was its
    // only content. As Prune does, a key directly below the root is never removed.
    if (!counted || subkeys != 0 || values != 1)
        return ERROR_SUCCESS;
    std::string current = value.subkey;
    for (;;)
    {
        const long separator = LastKeySeparator(current.c_str());
        if (separator < 0 || current[static_cast<size_t>(separator) + 1] == '\0')
            return ERROR_SUCCESS;
        prunedKeys.push_back(current);
        current.resize(static_cast<size_t>(separator));
        if (::RegOpenKeyExA(value.root, current.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return ERROR_SUCCESS;
        const bool parentCounted = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                      &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        ::RegCloseKey(key);
        if (!parentCounted || subkeys != 1 || values != 0)
            return ERROR_SUCCESS;
    }
}

bool RegistryAccess::DeleteKey(const char *path) const
{
    char subkey[kRegistrySubkeyChars];
    char keyName[kRegistryKeyNameChars];
    const HKEY root = RootKey(ParseRegistryPath(path, subkey, sizeof subkey, keyName, sizeof keyName));
    char keyPath[kRegistrySubkeyChars];
    // An empty key name would make the path name the parent key, whose deletion takes every sibling.
    if (root == nullptr || !JoinKeyPath(subkey, keyName, keyPath, sizeof keyPath))
        return false;

    // On the NT family RegDeleteKeyA refuses a key with subkeys, so the shell's tree deletion does the
    // work; the Windows 95 family's RegDeleteKeyA deletes the subtree itself.
    // shlwapi is loaded by the first key deletion only, not on the way to the wizard.
    using ShDeleteKeyA = LSTATUS(WINAPI *)(HKEY, LPCSTR);
    const ShDeleteKeyA deleteTree = isNt_ ? BoundAs<ShDeleteKeyA>(BoundFunction::SHDeleteKeyA) : nullptr;
    const LONG status = deleteTree != nullptr ? deleteTree(root, keyPath) : ::RegDeleteKeyA(root, keyPath);
    if (status != ERROR_SUCCESS)
        return false;
    Prune(root, subkey);
    return true;
}

DWORD RegistryAccess::ReadDword(HKEY root, const char *subkey, const char *valueName, DWORD defaultValue) const
{
    char keyPath[kDwordKeyChars];
    if (!PrefixedKey(subkey, keyPath, sizeof keyPath))
        return defaultValue;
    KeyCloser key;
    if (::RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return defaultValue;
    DWORD type = 0;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LONG status = ::RegQueryValueExA(key, valueName, nullptr, &type, data, &size);
    // A value longer than the buffer fails the read and gives the default, as a missing one does.
    return DwordFromValue(status == ERROR_SUCCESS, type, data, size, defaultValue);
}

bool RegistryAccess::WriteDword(HKEY root, const char *subkey, const char *valueName, DWORD value) const
{
    char keyPath[kDwordKeyChars];
    if (!PrefixedKey(subkey, keyPath, sizeof keyPath))
        return false;
    KeyCloser key;
    if (::RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Receive(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status =
        ::RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    return status == ERROR_SUCCESS;
}

bool RegistryAccess::DeleteValueAndPrune(HKEY root, const char *subkey, const char *valueName) const
{
    return DeleteValueAndPruneStatus(root, subkey, valueName) == ERROR_SUCCESS;
}

LONG RegistryAccess::DeleteValueAndPruneStatus(HKEY root, const char *subkey, const char *valueName) const
{
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS)
        return opened;
    const LONG status = ::RegDeleteValueA(key, IsDefaultValueName(valueName) ? nullptr : valueName);
    // A value that was not there changes nothing: its key stays even when it is empty. Otherwise the
    // key is looked at through the handle already open, as most keys keep other values.
    const bool empty = status == ERROR_SUCCESS && IsEmptyKey(key);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return status;
    if (empty)
        Prune(root, subkey, true);
    return ERROR_SUCCESS;
}

namespace
{

// The key as a note names it: the root's number and the subkey; empty when it does not fit.
std::string NoteName(HKEY root, const char *subkey)
{
    char name[kRegistrySubkeyChars + 16];
    return FormatWhole(name, sizeof name, "%08lX\\%s", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(root)),
                       subkey)
               ? std::string(name)
               : std::string();
}

} // namespace

void ValueDeletions::NoteKey(const char *valueName, int32_t line)
{
    // Written only for a value that is there: a key whose logged values were all missing was not
    // emptied by the log, and must not be pruned by a run started again.
    if (noted_ || ::RegQueryValueExA(key_, valueName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    noted_ = true;
    const std::string name = NoteName(root_, subkey_);
    if (!name.empty())
        (void)notes_->NoteKey(line, name.c_str()); // unnoted, the key is pruned as it always was
}

bool ValueDeletions::NotedEarlier() const
{
    const std::string name = NoteName(root_, subkey_);
    return notes_ != nullptr && !name.empty() && notes_->NotedEarlier(name.c_str());
}

LONG ValueDeletions::Delete(const char *path, int32_t line)
{
    const ValuePath value(path);
    if (value.root == nullptr)
    {
        Settle();
        return ERROR_INVALID_PARAMETER;
    }
    // The same spelling of the same root and subkey: a key spelt otherwise is settled and opened anew,
    // as every value's key was before.
    if (!held_ || value.root != root_ || std::strcmp(value.subkey, subkey_) != 0)
    {
        Settle();
        // A key that could not be opened answers every value of it the same way until it is settled:
        // nothing in between can make it or let it be opened.
        openStatus_ = ::RegOpenKeyExA(value.root, value.subkey, 0, KEY_ALL_ACCESS, &key_);
        if (openStatus_ != ERROR_SUCCESS)
            key_ = nullptr;
        root_ = value.root;
        std::memcpy(subkey_, value.subkey, sizeof subkey_);
        held_ = true;
        noted_ = notes_ == nullptr;
    }
    if (openStatus_ != ERROR_SUCCESS)
        return openStatus_;
    NoteKey(value.ValueName(), line);
    const LONG status = ::RegDeleteValueA(key_, value.ValueName());
    deleted_ = deleted_ || status == ERROR_SUCCESS;
    return status;
}

void ValueDeletions::Settle()
{
    if (!held_)
        return;
    held_ = false;
    // As after a single deletion: a value that was not there changes nothing, and the key is looked at
    // through the handle already open, as most keys keep other values.
    // A key written down by a run ended before its pruning counts as one this run emptied.
    const bool empty = key_ != nullptr && (deleted_ || NotedEarlier()) && IsEmptyKey(key_);
    if (key_ != nullptr)
        ::RegCloseKey(key_);
    key_ = nullptr;
    deleted_ = false;
    if (empty)
        registry_.Prune(root_, subkey_, true);
    else if (openStatus_ == ERROR_FILE_NOT_FOUND && NotedEarlier())
        PruneNearestAncestor();
}

void ValueDeletions::PruneNearestAncestor() const
{
    // A run ended in the middle of a pruning removed the key and left the parents it had emptied: the
    // pruning goes on from the nearest that is there.
    char ancestor[kRegistrySubkeyChars];
    std::memcpy(ancestor, subkey_, sizeof ancestor);
    for (long separator = LastKeySeparator(ancestor); separator > 0; separator = LastKeySeparator(ancestor))
    {
        ancestor[separator] = '\0';
        HKEY key = nullptr;
        if (::RegOpenKeyExA(root_, ancestor, 0, KEY_READ, &key) == ERROR_SUCCESS)
        {
            ::RegCloseKey(key);
            registry_.Prune(root_, ancestor);
            return;
        }
    }
}

bool RegistryAccess::PrefixedKey(const char *subkey, char *out, size_t outChars) const
{
    if (!CopyWhole(out, outChars, keyPrefix_.c_str()))
        return false;
    const size_t length = keyPrefix_.size();
    if (length > 0 && keyPrefix_[length - 1] != '\\' && !AppendWhole(out, outChars, "\\"))
        return false;
    if (!AppendWhole(out, outChars, subkey))
    {
        out[0] = '\0';
        return false;
    }
    return true;
}

// Removes keyPath and then each ancestor while it holds neither values nor subkeys. A key directly
// below the root is never removed: SOFTWARE and its like are shared by everything on the machine.
// knownEmpty says that keyPath was found empty just now through a handle of the caller's, which is
// closed: it is not asked again. The parent through which a key is deleted is asked about itself
// through the same handle.
void RegistryAccess::Prune(HKEY root, const char *keyPath, bool knownEmpty) const
{
    char current[kRegistrySubkeyChars];
    if (!CopyWhole(current, sizeof current, keyPath))
        return;
    HKEY key = nullptr; // current, when the level below left it open
    for (;;)
    {
        const long separator = LastKeySeparator(current);
        if (separator < 0)
            break;
        bool empty = knownEmpty;
        knownEmpty = false;
        if (!empty)
        {
            if (key == nullptr && ::RegOpenKeyExA(root, current, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
                return;
            empty = IsEmptyKey(key);
        }
        if (key != nullptr)
            ::RegCloseKey(key);
        key = nullptr;
        if (!empty)
            return;

        current[separator] = '\0';
        const char *lastName = current + separator + 1;
        // A doubled or trailing backslash leaves no name to delete; an empty one would reach the parent.
        if (lastName[0] == '\0')
            return;
        if (::RegOpenKeyExA(root, current, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        if (::RegDeleteKeyA(key, lastName) != ERROR_SUCCESS)
            break;
    }
    if (key != nullptr)
        ::RegCloseKey(key);
}

// system/registry_path.h: takes a textual registry path apart into its root, subkey and last component.
#pragma once

#include <cstddef>

// The predefined keys a registry path can start with, in the order their names are tried.
enum class RegistryRoot
{
    None,
    ClassesRoot,
    CurrentConfig,
    CurrentUser,
    LocalMachine,
    Users,
    PerformanceData,
    DynData,
};

// The subkey part of a path holds at most 1023 characters, the last component of a value path at most
// 99, and a full key path (subkey, backslash, key name) at most 1023.
constexpr size_t kRegistrySubkeyChars = 1024;
constexpr size_t kRegistryValueNameChars = 100;
// Key names may be as long as the registry allows (255), so that a product key longer than a value
// name still names its own Uninstall entry.
constexpr size_t kRegistryKeyNameChars = 256;

// Splits "ROOT\sub\key\last": the root name is matched case-sensitively against the table
// (HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
// HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA), first match wins, and the path must be longer than it. The
// one character after the root name is skipped as the separator; the rest is split at its last
// backslash at position 1 or later into subkey and last component (which may be empty: the path then
// ends in a backslash). Returns None, with both outputs empty, when no root matches, when the rest has
// no such backslash (a key or value directly below a root has no split and is refused), or when a
// part does not fit its buffer (refused, never cut: a cut name would be a different key).
RegistryRoot ParseRegistryPath(const char *path, char *subkey, size_t subkeyChars, char *name, size_t nameChars);

// Index of the last backslash at position 1 or later of text, or -1 when there is none. Position 0
// is not a separator: it would leave an empty parent.
long LastKeySeparator(const char *text);

// True for "(default)" in any mix of ASCII letter case: the key's unnamed value.
bool IsDefaultValueName(const char *name);

// Forms subkey, a backslash (unless subkey already ends in one) and keyName into out. Returns false,
// with out empty, when keyName is empty (the result would name the parent key itself) or when the
// result does not fit.
bool JoinKeyPath(const char *subkey, const char *keyName, char *out, size_t outChars);

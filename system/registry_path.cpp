// system/registry_path.cpp: takes a textual registry path apart into its root, subkey and last component.
#include "system/registry_path.h"

#include "support/ascii_text.h"

#include <cstring>

namespace
{

struct RootName
{
    const char *name;
    RegistryRoot root;
};

// Tried in this order; the first name the path begins with wins.
constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_USERS", RegistryRoot::Users},
    {"HKEY_PERFORMANCE_DATA", RegistryRoot::PerformanceData},
    {"HKEY_DYN_DATA", RegistryRoot::DynData},
};

// Copies length characters of text into out, terminated; false when they do not fit.
bool CopyPart(const char *text, size_t length, char *out, size_t outChars)
{
    if (length >= outChars)
        return false;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

} // namespace

RegistryRoot ParseRegistryPath(const char *path, char *subkey, size_t subkeyChars, char *name, size_t nameChars)
{
    if (subkeyChars > 0)
        subkey[0] = '\0';
    if (nameChars > 0)
        name[0] = '\0';
    if (path == nullptr)
        return RegistryRoot::None;

    const size_t pathLength = std::strlen(path);
    for (const RootName &entry : kRootNames)
    {
        const size_t rootLength = std::strlen(entry.name);
        if (pathLength <= rootLength || std::strncmp(path, entry.name, rootLength) != 0)
            continue;

        // The separator after the root name is taken as written; the split works on what follows it.
        const char *rest = path + rootLength + 1;
        const long separator = LastKeySeparator(rest);
        if (separator < 0)
            return RegistryRoot::None;
        const char *last = rest + separator + 1;
        if (!CopyPart(rest, static_cast<size_t>(separator), subkey, subkeyChars) ||
            !CopyPart(last, std::strlen(last), name, nameChars))
        {
            if (subkeyChars > 0)
                subkey[0] = '\0';
            return RegistryRoot::None;
        }
        return entry.root;
    }
    return RegistryRoot::None;
}

long LastKeySeparator(const char *text)
{
    const char *separator = std::strrchr(text, '\\');
    if (separator == nullptr || separator == text)
        return -1;
    return static_cast<long>(separator - text);
}

bool IsDefaultValueName(const char *name)
{
    return EqualsIgnoreAsciiCase(name, "(default)");
}

bool JoinKeyPath(const char *subkey, const char *keyName, char *out, size_t outChars)
{
    if (outChars == 0)
        return false;
    out[0] = '\0';
    if (keyName[0] == '\0')
        return false;
    const size_t subkeyLength = std::strlen(subkey);
    const bool needsSeparator = subkeyLength == 0 || subkey[subkeyLength - 1] != '\\';
    if (!CopyWhole(out, outChars, subkey) || (needsSeparator && !AppendWhole(out, outChars, "\\")) ||
        !AppendWhole(out, outChars, keyName))
    {
        out[0] = '\0';
        return false;
    }
    return true;
}

// Any registry path text: the parse either refuses it with empty outputs or gives parts that fit their
// buffers and put together give the path back.
#include "system/registry_path.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path(reinterpret_cast<const char *>(data), size);
    for (size_t nameChars : {size_t{1}, kRegistryValueNameChars, kRegistryKeyNameChars})
    {
        std::string subkey(kRegistrySubkeyChars, '#');
        std::string name(nameChars, '#');
        const RegistryRoot root = ParseRegistryPath(path.c_str(), &subkey[0], subkey.size(), &name[0], nameChars);
        const size_t subkeyLength = std::strlen(subkey.c_str());
        const size_t nameLength = std::strlen(name.c_str());
        if (subkeyLength >= subkey.size() || nameLength >= nameChars)
            __builtin_trap();
        if (root == RegistryRoot::None)
        {
            if (subkeyLength != 0 || nameLength != 0)
                __builtin_trap();
            continue;
        }
        // Below the root there is always a subkey, and the path ends with subkey, backslash and name.
        const std::string tail = subkey.substr(0, subkeyLength) + "\\" + name.substr(0, nameLength);
        const std::string text = path.c_str();
        if (subkeyLength == 0 || text.size() < tail.size() + 2 ||
            text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
            __builtin_trap();

        char joined[kRegistrySubkeyChars];
        if (JoinKeyPath(subkey.c_str(), name.c_str(), joined, sizeof joined) &&
            (nameLength == 0 || std::strlen(joined) >= sizeof joined))
            __builtin_trap();
    }
    return 0;
}

// Any value data: the walk stays within it, and after a removal the data is a well-formed list that
// no longer names the path and still names every other source in order.
#include "system/pending_renames.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> value(reinterpret_cast<const char *>(data), reinterpret_cast<const char *>(data) + size);
    const std::vector<char> before = value;
    const char path[] = "C:\\app\\x.dll";
    if (!RemovePendingPairs(value, path))
    {
        if (value != before)
            __builtin_trap();
        return 0;
    }
    if (value.empty() || value.back() != '\0')
        __builtin_trap();
    // Every string ends before the data does, and walking it again removes nothing more.
    std::vector<char> again = value;
    if (RemovePendingPairs(again, path))
        __builtin_trap();
    if (value.size() > before.size() + 3)
        __builtin_trap();
    return 0;
}

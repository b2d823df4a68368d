// Any SharedDLLs value (present or not, any type, any number of bytes) and any change: the reading
// never looks past the bytes it was given, and a count lowered one at a time is written ever lower
// and deleted exactly when it is used up, never wrapping round.
#include "system/dword_value.h"
#include "uninstall/shared_count.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace
{

// The value as the registry would hold it: absent, or a type and its bytes.
struct Value
{
    bool present;
    uint32_t type;
    std::vector<unsigned char> bytes;
};

uint32_t Read(const Value &value)
{
    // A read into a 4-byte buffer fails for a longer value. The bytes are a block of their own size,
    // so that the sanitizer sees a look past them.
    const bool fits = value.present && value.bytes.size() <= 4;
    return DwordFromValue(fits, value.type, value.bytes.data(), value.bytes.size(), kNoSharedCount);
}

// Carries out a change as ChangeSharedDllCount does; returns the count it reports.
int32_t Apply(Value &value, int32_t change)
{
    const SharedCountChange result = ChangeOfSharedCount(Read(value), change);
    switch (result.action)
    {
    case SharedCountChange::Keep:
        if (result.count != 0)
            __builtin_trap();
        return 0;
    case SharedCountChange::Delete:
        if (result.count != 0)
            __builtin_trap();
        value = Value{false, 0, {}};
        return 0;
    case SharedCountChange::Write: {
        if (result.count < 1)
            __builtin_trap(); // a used-up count is deleted, never written
        const uint32_t count = static_cast<uint32_t>(result.count);
        value = Value{true, kDwordValueType, {}};
        for (int i = 0; i < 4; ++i)
            value.bytes.push_back(static_cast<unsigned char>(count >> (8 * i)));
        return result.count;
    }
    }
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Flags, the type, the change, then the value's bytes.
    if (size < 9)
        return 0;
    Value value{(data[0] & 1) != 0, 0, {}};
    std::memcpy(&value.type, data + 1, 4);
    if ((data[0] & 2) != 0)
        value.type = kDwordValueType; // half the runs read a DWORD, whatever the type bytes say
    int32_t change = 0;
    std::memcpy(&change, data + 5, 4);
    value.bytes.assign(data + 9, data + size);

    const uint32_t stored = Read(value);
    if (!value.present || value.bytes.size() > 4)
    {
        if (stored != kNoSharedCount)
            __builtin_trap(); // what cannot be read counts as no value
    }
    else if (value.type != kDwordValueType ? stored != 0 : stored >= (uint64_t{1} << (8 * value.bytes.size())))
    {
        __builtin_trap(); // another type is 0; a short DWORD has no bytes beyond its own
    }

    const Value before = value;
    const int32_t reported = Apply(value, change);
    if (reported == 0 && value.present && (value.type != before.type || value.bytes != before.bytes))
        __builtin_trap(); // only a write changes the value
    if (reported > 0 && Read(value) != static_cast<uint32_t>(reported))
        __builtin_trap(); // the count written reads back

    // Lowered one at a time, a written count goes down by one each time and is deleted at the end.
    if (reported > 0 && reported <= 64)
    {
        for (int32_t expected = reported - 1; expected > 0; --expected)
            if (Apply(value, -1) != expected)
                __builtin_trap();
        if (Apply(value, -1) != 0 || value.present)
            __builtin_trap();
    }
    return 0;
}

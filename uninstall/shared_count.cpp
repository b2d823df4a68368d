// uninstall/shared_count.cpp: what a change of a file's SharedDLLs count does to its value.
#include "uninstall/shared_count.h"

#include <cstdint>
#include <limits>

SharedCountChange ChangeOfSharedCount(uint32_t stored, int32_t change)
{
    const int32_t count = static_cast<int32_t>(stored);
    int64_t updated = 0;
    if (count > 0)
        updated = static_cast<int64_t>(count) + change;
    else if (count == -1 && change > 0)
        updated = change;
    else
        return {SharedCountChange::Keep, 0};
    if (updated <= 0)
        return {SharedCountChange::Delete, 0};
    // A count that wrapped round to a negative number would delete the value of a file that
    // everything still uses; the largest count keeps it.
    if (updated > std::numeric_limits<int32_t>::max())
        updated = std::numeric_limits<int32_t>::max();
    return {SharedCountChange::Write, static_cast<int32_t>(updated)};
}

// uninstall/shared_count.h: what a change of a file's SharedDLLs count does to its value.
#pragma once

#include <cstdint>

// The value's data as ReadDword gives it when 0xFFFFFFFF stands for a missing value.
constexpr uint32_t kNoSharedCount = 0xFFFFFFFFu;

// What ChangeSharedDllCount is to do with the value.
struct SharedCountChange
{
    enum Action
    {
        Keep,   // leave the value as it is
        Delete, // the count is used up: delete the value
        Write,  // write count as the new REG_DWORD
    } action;
    int32_t count; // the count written for Write; 0 otherwise
};

// The stored data is taken as a signed count, so kNoSharedCount is -1, no value. A count above 0
// gets change added (held at the largest count rather than wrapping round); a missing value with a
// positive change gets the change. A result of 0 or below deletes the value. Everything else (a
// count of 0, a value of another type, which reads as 0, a negative count, or a missing value with
// a change that is not positive) keeps the value unchanged.
SharedCountChange ChangeOfSharedCount(uint32_t stored, int32_t change);

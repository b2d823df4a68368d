// system/pending_filter.h: remembers, in a fixed amount of memory, which paths may have a pending
// deletion, so that cancelling the requests of a path that has none reads nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A bit filter over path names compared as pending pairs compare them (folding a-z only, whole).
// MayHold is false only for a name that was never added; a name that was added, or now and then one
// that was not, gives true, and the caller then looks at the value itself. No single name is ever
// taken out. The memory (1 MiB) is taken on the first Add and does not grow with the number of names.
class PendingPathFilter
{
public:
    // Names are ANSI bytes or UTF-16 code units; a filter is fed and asked in one form only.
    template <typename Unit> void Add(const Unit *name, size_t length);
    template <typename Unit> bool MayHold(const Unit *name, size_t length) const;
    // Forgets every name and gives the memory back.
    void Clear();

private:
    static constexpr uint32_t kBitsLog2 = 23;
    std::vector<uint64_t> words_;
};

// system/pending_filter.cpp: remembers, in a fixed amount of memory, which paths may have a pending
// deletion.
#include "system/pending_filter.h"

namespace
{

constexpr int kProbes = 3;

// The unit's value with a-z folded to A-Z, as the names are compared.
uint32_t Folded(char unit)
{
    const uint32_t value = static_cast<unsigned char>(unit);
    return value >= 'a' && value <= 'z' ? value - 'a' + 'A' : value;
}

uint32_t Folded(char16_t unit)
{
    const uint32_t value = unit;
    return value >= 'a' && value <= 'z' ? value - 'a' + 'A' : value;
}

// FNV-1a over the folded name.
template <typename Unit> uint64_t NameHash(const Unit *name, size_t length)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i)
    {
        hash ^= Folded(name[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

// The probe-th bit of a name: two halves of its hash stepped together.
uint64_t ProbeBit(uint64_t hash, int probe, uint32_t bitsLog2)
{
    const uint64_t first = hash & 0xFFFFFFFFu;
    const uint64_t step = (hash >> 32) | 1u;
    return (first + static_cast<uint64_t>(probe) * step) & ((uint64_t(1) << bitsLog2) - 1);
}

} // namespace

template <typename Unit> void PendingPathFilter::Add(const Unit *name, size_t length)
{
    if (words_.empty())
        words_.assign((size_t(1) << kBitsLog2) / 64, 0);
    const uint64_t hash = NameHash(name, length);
    for (int probe = 0; probe < kProbes; ++probe)
    {
        const uint64_t bit = ProbeBit(hash, probe, kBitsLog2);
        words_[bit / 64] |= uint64_t(1) << (bit % 64);
    }
}

template <typename Unit> bool PendingPathFilter::MayHold(const Unit *name, size_t length) const
{
    if (words_.empty())
        return false;
    const uint64_t hash = NameHash(name, length);
    for (int probe = 0; probe < kProbes; ++probe)
    {
        const uint64_t bit = ProbeBit(hash, probe, kBitsLog2);
        if ((words_[bit / 64] & (uint64_t(1) << (bit % 64))) == 0)
            return false;
    }
    return true;
}

void PendingPathFilter::Clear()
{
    std::vector<uint64_t>().swap(words_);
}

template void PendingPathFilter::Add(const char *, size_t);
template void PendingPathFilter::Add(const char16_t *, size_t);
template bool PendingPathFilter::MayHold(const char *, size_t) const;
template bool PendingPathFilter::MayHold(const char16_t *, size_t) const;

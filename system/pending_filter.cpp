// system/pending_filter.cpp: remembers, in a fixed amount of memory, which paths may have a pending
// deletion.
#include "system/pending_filter.h"

#include "support/ascii_text.h"

namespace
{

constexpr int kProbes = 3;

// FNV-1a over the folded name.
uint64_t NameHash(const char *name, size_t length)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i)
    {
        hash ^= static_cast<unsigned char>(AsciiUpper(name[i]));
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

void PendingPathFilter::Add(const char *name, size_t length)
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

bool PendingPathFilter::MayHold(const char *name, size_t length) const
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

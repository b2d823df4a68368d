// Any value data: the walk stays within it, and after a removal the data is a well-formed list that
// no longer names the path and still names every other source in order. Every source the visit
// reports is one the removal finds, and the filter fed with them never forgets one.
#include "support/ascii_text.h"
#include "system/pending_filter.h"
#include "system/pending_renames.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace
{

// Values far longer than the fuzzer's inputs: a first byte of 0xFF repeats the rest 2 to 64 times as
// the second byte says, up to a quarter of a mebibyte. Nothing in the walk depends on the size, so
// these are kept few: they cost the run more than they find.
std::vector<char> ValueOf(const uint8_t *data, size_t size, bool *huge)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    *huge = size >= 2 && data[0] == 0xFF;
    if (!*huge)
        return std::vector<char>(bytes, bytes + size);
    std::vector<char> value;
    for (int copy = 0; copy <= 1 + data[1] % 63; ++copy)
        value.insert(value.end(), bytes + 2, bytes + size);
    return value;
}

struct Visit
{
    const std::vector<char> *data;
    std::vector<std::string> names;
};

void Collect(const char *name, size_t length, void *context)
{
    Visit &visit = *static_cast<Visit *>(context);
    const char *begin = visit.data->data();
    if (name < begin || length > visit.data->size() || name > begin + (visit.data->size() - length))
        __builtin_trap(); // a name lies within the data
    visit.names.push_back(std::string(name, length));
}

std::vector<std::string> SourcesOf(const std::vector<char> &data)
{
    Visit visit{&data, {}};
    VisitPendingSources(data, Collect, &visit);
    return visit.names;
}

std::string Folded(std::string text)
{
    for (char &c : text)
        c = AsciiUpper(c);
    return text;
}

// Taken on the first run and cleared now and then, so that the filter's memory is not set up anew for
// every input and does not fill up either. Bits only ever get set: a name that was added must be
// found whatever the earlier runs added, so a failure reproduces on its own input.
PendingPathFilter g_filter;
unsigned g_runs = 0;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool huge = false;
    std::vector<char> value = ValueOf(data, size, &huge);
    const std::vector<char> before = value;

    const std::vector<std::string> sources = SourcesOf(value);
    if (++g_runs % 4096 == 0)
        g_filter.Clear();
    for (const std::string &name : sources)
        g_filter.Add(name.data(), name.size());
    for (const std::string &name : sources)
        if (!g_filter.MayHold(name.data(), name.size()) || !g_filter.MayHold(Folded(name).data(), name.size()))
            __builtin_trap();

    // What the visit reports as pending, the removal finds, and it takes out that name alone.
    for (size_t i = 0; i < sources.size() && i < (huge ? 1u : 4u); ++i)
    {
        std::vector<char> removed = value;
        if (!RemovePendingPairs(removed, sources[i].c_str()))
            __builtin_trap();
        std::vector<std::string> others;
        for (const std::string &name : sources)
            if (Folded(name) != Folded(sources[i]))
                others.push_back(name);
        if (SourcesOf(removed) != others)
            __builtin_trap();
    }

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

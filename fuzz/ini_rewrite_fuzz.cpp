// Any INI text: a rewrite that removes nothing reproduces it exactly, one that removes an entry only
// ever leaves out whole lines equal to it, and an addition only ever inserts the one line, with the
// header when the section was missing.
#include "system/ini_rewrite.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    {
        TextLineSource in(text);
        std::string out;
        // A header no line can equal: nothing is in the section, so nothing may change.
        if (!RewriteIniLines(in, out, "[\n]", "k=v") || out != text)
            __builtin_trap();
    }
    TextLineSource in(text);
    std::string out;
    if (!RewriteIniLines(in, out, "[boot]", "k=v"))
        __builtin_trap();
    const std::string result = out;
    if (result.size() > text.size())
        __builtin_trap();
    // What went missing is whole entry lines: "k=v" with its line feed, the last one perhaps without.
    const size_t removed = text.size() - result.size();
    if (removed % 4 != 0 && removed % 4 != 3)
        __builtin_trap();

    // The output is the input with the one entry line inserted, perhaps with the header just before
    // it, perhaps after a line feed given to an open last line. An input holding the line already
    // cannot tell which one is new.
    if (text.find("NUL=\x01") != std::string::npos)
        return 0;
    TextLineSource addIn(text);
    std::string added;
    if (!AddIniLine(addIn, added, "[rename]", "NUL=\x01"))
        __builtin_trap();
    size_t at = added.find("NUL=\x01\n");
    if (at == std::string::npos || added.find("NUL=\x01", at + 1) != std::string::npos)
        __builtin_trap();
    added.erase(at, 6);
    const std::string header = "[rename]\n";
    if (added != text && at >= header.size() && added.compare(at - header.size(), header.size(), header) == 0 &&
        added.size() >= text.size() + header.size())
    {
        at -= header.size();
        added.erase(at, header.size());
    }
    if (added != text && at > 0 && added[at - 1] == '\n' && added.size() == text.size() + 1)
        added.erase(at - 1, 1);
    if (added != text)
        __builtin_trap();
    return 0;
}

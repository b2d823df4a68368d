// Any INI text: a rewrite that removes nothing reproduces it exactly, and one that removes an entry
// only ever leaves out whole lines equal to it.
#include "system/ini_rewrite.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    {
        std::istringstream in(text);
        std::ostringstream out;
        // A header no line can equal: nothing is in the section, so nothing may change.
        if (!RewriteIniLines(in, out, "[\n]", "k=v") || out.str() != text)
            __builtin_trap();
    }
    std::istringstream in(text);
    std::ostringstream out;
    if (!RewriteIniLines(in, out, "[boot]", "k=v"))
        __builtin_trap();
    const std::string result = out.str();
    if (result.size() > text.size())
        __builtin_trap();
    // What went missing is whole entry lines: "k=v" with its line feed, the last one perhaps without.
    const size_t removed = text.size() - result.size();
    if (removed % 4 != 0 && removed % 4 != 3)
        __builtin_trap();
    return 0;
}

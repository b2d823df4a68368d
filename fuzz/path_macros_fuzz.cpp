// Any path text and any installation directory: the result fits or is refused, never cut.
#include "uninstall/path_macros.h"

#include "support/buffer_sizes.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{

void Windows(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "C:\\WINDOWS");
}
void LongValue(char *out, size_t outChars)
{
    std::memset(out, 'v', outChars - 1); // a callback may fill its whole buffer
    out[outChars - 1] = '\0';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first line is the installation directory, the rest the text to expand.
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\n');
    std::string installDir = split == std::string::npos ? "" : input.substr(0, split);
    const std::string text = split == std::string::npos ? input : input.substr(split + 1);
    if (installDir.size() >= kTextChars)
        installDir.resize(kTextChars - 1);

    const PathMacroInputs inputs{installDir.c_str(), "Key", Windows, Windows, LongValue, LongValue, nullptr};
    for (size_t outChars : {size_t{1}, size_t{16}, size_t{kPathChars}})
    {
        std::string out(outChars, '#');
        const bool ok = ExpandMacroText(text.c_str(), &out[0], outChars, inputs);
        const size_t length = std::strlen(out.c_str());
        if (length >= outChars || (!ok && length != 0))
            __builtin_trap();
        if (std::strstr(out.c_str(), "\\\\") != nullptr)
            __builtin_trap(); // every backslash run collapses
    }
    return 0;
}

// Any bytes read as lines: the pieces put back together give the input, and CountLines agrees with
// the reads and leaves the stream where it was.
#include "support/line_io.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t outChars = data[0] < 16 ? 1024 : 2 + data[0] % 40;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);

    std::istringstream in(text);
    const int32_t counted = CountLines(in);
    if (!in.good() || in.tellg() != 0)
        __builtin_trap();

    std::string joined;
    std::string out(outChars, '\0');
    int32_t reads = 0;
    while (in.good())
    {
        const int cut = ReadLine(in, &out[0], outChars);
        ++reads;
        joined += out.c_str();
        if (!cut && in.good())
            joined += '\n';
    }
    if (joined != text.substr(0, text.find('\0')) && text.find('\0') == std::string::npos)
        __builtin_trap();
    if (outChars == 1024 && reads != counted)
        __builtin_trap();
    return 0;
}

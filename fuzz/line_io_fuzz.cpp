// Any bytes read as lines: the pieces put back together give the input (after the text-mode
// translation, when it applies), and CountLines agrees with the reads and leaves the source where
// it was, however small the pieces the source is read in.
#include "support/line_io.h"

#include <cstdint>
#include <string>

namespace
{

// What a text-mode file gives of text: each CR LF as LF, nothing from the first Ctrl-Z on.
std::string TextModeOf(const std::string &text)
{
    std::string read;
    for (size_t i = 0; i < text.size() && text[i] != '\x1a'; ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            read += text[i];
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t outChars = data[0] < 16 ? 1024 : 2 + data[0] % 40;
    const bool textMode = (data[1] & 1) != 0;
    const size_t windowBytes = data[1] >> 1; // 0: the whole text at once
    const std::string text(reinterpret_cast<const char *>(data + 2), size - 2);

    TextLineSource in(text, textMode, windowBytes);
    const int32_t counted = CountLines(in);
    if (!in.Good() || in.Tell() != 0)
        __builtin_trap();

    std::string joined;
    std::string out(outChars, '\0');
    int32_t reads = 0;
    while (in.Good())
    {
        const int cut = ReadLine(in, &out[0], outChars);
        ++reads;
        joined += out.c_str();
        if (!cut && in.Good())
            joined += '\n';
    }
    const std::string expected = textMode ? TextModeOf(text) : text;
    if (joined != expected && expected.find('\0') == std::string::npos)
        __builtin_trap();
    if (outChars == 1024 && reads != counted)
        __builtin_trap();
    return 0;
}

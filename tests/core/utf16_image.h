// tests/core/utf16_image.h: lang.ini file images for the language tests.
#pragma once

#include <string>

// A little-endian file image: the byte-order mark (unless told otherwise) and the text.
inline std::string Utf16Image(const std::u16string &text, bool mark = true)
{
    std::string bytes = mark ? std::string("\xFF\xFE", 2) : std::string();
    for (char16_t unit : text)
    {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// tests/test_bytes.h: byte images that tests of every layer build: text with NUL characters in it,
// and UTF-16LE files such as lang.ini and uninstall_uni.log. Portable: the core tests build without
// <windows.h>.
#pragma once

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

// The bytes of a string literal, the NUL characters inside it included (not the one that ends it).
template <std::size_t N> std::string Raw(const char (&text)[N])
{
    return std::string(text, N - 1);
}

// A little-endian UTF-16 file image: the byte-order mark (unless told otherwise), then the text.
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

#ifdef _WIN32
// The same for the system's wide text: on Windows a wchar_t is one UTF-16 unit.
inline std::string Utf16Image(const std::wstring &text, bool mark = true)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "a wchar_t is one UTF-16 unit");
    return Utf16Image(std::u16string(text.begin(), text.end()), mark);
}
#endif

// A removal log's or plan's record line cut at its tabs: the first most fields.
inline std::vector<std::string> TabFields(const std::string &line, std::size_t most = 5)
{
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (fields.size() < most && std::getline(cells, cell, '\t'))
        fields.push_back(cell);
    return fields;
}

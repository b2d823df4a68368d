// ui/unicode_ini.h: the in-memory form of a UTF-16 INI file such as lang.ini, looked up by section and key.
#pragma once

#include <cstddef>
#include <map>
#include <string>

// Orders UTF-16 names with the ASCII letters A-Z folded to a-z and every other code unit by value,
// so "STR72" finds "str72" while accented letters must match exactly.
struct AsciiCaseLess
{
    bool operator()(const std::u16string &a, const std::u16string &b) const;
};

class UnicodeIni
{
public:
    // The longest line kept, in code units; the rest of a longer line is dropped with it, so that its
    // tail is never taken for an entry of its own.
    static constexpr size_t kLineUnits = 10023;

    // Replaces the content with the file image in buffer (byteCount bytes): UTF-16 little-endian,
    // which must begin with the byte-order mark FF FE. Returns false, with the table empty, only
    // when the mark is missing. An odd last byte is ignored.
    bool ParseBuffer(const void *buffer, size_t byteCount);

    // Copies the entry's text into out, cut to capacity - 1 code units and terminated. Returns false,
    // leaving out untouched, when the section or the key is absent.
    bool GetText(const char16_t *section, const char16_t *key, char16_t *out, size_t capacity) const;

    void Clear() { sections_.clear(); }
    bool Empty() const { return sections_.empty(); }

private:
    using Section = std::map<std::u16string, std::u16string, AsciiCaseLess>;
    std::map<std::u16string, Section, AsciiCaseLess> sections_;
};

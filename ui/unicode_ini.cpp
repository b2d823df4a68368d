// ui/unicode_ini.cpp: the in-memory form of a UTF-16 INI file such as lang.ini, looked up by section and key.
#include "ui/unicode_ini.h"

#include <cstdint>

namespace
{

constexpr char16_t kLineFeed = u'\n';
constexpr char16_t kReturn = u'\r';
constexpr char16_t kSpace = u' ';

char16_t FoldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Reads the code units of a little-endian image one at a time, whatever the host's byte order.
class UnitReader
{
public:
    UnitReader(const unsigned char *bytes, size_t units) : bytes_(bytes), units_(units) {}
    bool AtEnd() const { return next_ >= units_; }
    char16_t Peek() const
    {
        return static_cast<char16_t>(bytes_[2 * next_] | (static_cast<unsigned>(bytes_[2 * next_ + 1]) << 8));
    }
    char16_t Take()
    {
        const char16_t unit = Peek();
        ++next_;
        return unit;
    }

private:
    const unsigned char *bytes_;
    size_t units_;
    size_t next_ = 1; // the byte-order mark is not part of the text
};

// Takes the next line: up to a line feed or the end, without a final carriage return, and moves past
// the line feed and one carriage return straight after it, so CR LF, LF CR and LF all end a line.
// Units beyond kLineUnits are read and dropped.
void TakeLine(UnitReader &reader, std::u16string &line)
{
    line.clear();
    bool cut = false;
    bool endedByFeed = false;
    while (!reader.AtEnd())
    {
        const char16_t unit = reader.Take();
        if (unit == kLineFeed)
        {
            endedByFeed = true;
            break;
        }
        if (line.size() < UnicodeIni::kLineUnits)
            line.push_back(unit);
        else
            cut = true;
    }
    // A carriage return in front of the line feed belongs to the line end, even when the line was cut.
    if (!line.empty() && line.back() == kReturn && !cut)
        line.pop_back();
    if (endedByFeed && !reader.AtEnd() && reader.Peek() == kReturn)
        reader.Take();
}

void TrimTrailingSpaces(std::u16string &text)
{
    size_t end = text.size();
    while (end > 0 && text[end - 1] == kSpace)
        --end;
    text.resize(end);
}

// A header's '[' is the first unit above a blank, and the first ']' follows it.
bool SectionName(const std::u16string &line, std::u16string &name)
{
    const size_t open = line.find(u'[');
    const size_t close = line.find(u']');
    if (open == std::u16string::npos || close == std::u16string::npos || close < open)
        return false;
    for (size_t i = 0; i < open; ++i)
    {
        if (line[i] > kSpace)
            return false;
    }
    name.assign(line, open + 1, close - open - 1);
    return true;
}

} // namespace

bool AsciiCaseLess::operator()(const std::u16string &a, const std::u16string &b) const
{
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i)
    {
        const char16_t x = FoldAscii(a[i]);
        const char16_t y = FoldAscii(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

bool UnicodeIni::ParseBuffer(const void *buffer, size_t byteCount)
{
    sections_.clear();
    const unsigned char *bytes = static_cast<const unsigned char *>(buffer);
    if (byteCount < 2 || bytes == nullptr || bytes[0] != 0xFF || bytes[1] != 0xFE)
        return false;
    if (byteCount < 4)
        return true;

    UnitReader reader(bytes, byteCount / 2);
    std::u16string line;
    std::u16string name;
    Section *current = nullptr; // entries before the first header go to the section with the empty name
    while (!reader.AtEnd())
    {
        TakeLine(reader, line);
        TrimTrailingSpaces(line);
        const size_t comment = line.find(u';');
        if (comment != std::u16string::npos)
            line.resize(comment);

        if (SectionName(line, name))
        {
            current = &sections_[name]; // a section named twice goes on where it left off
            continue;
        }
        const size_t equals = line.find(u'=');
        if (equals == std::u16string::npos)
            continue;
        std::u16string key(line, 0, equals);
        TrimTrailingSpaces(key);
        if (current == nullptr)
            current = &sections_[std::u16string()];
        // emplace keeps an existing entry: the first definition of a key wins.
        current->emplace(std::move(key), std::u16string(line, equals + 1));
    }
    return true;
}

bool UnicodeIni::GetText(const char16_t *section, const char16_t *key, char16_t *out, size_t capacity) const
{
    const auto found = sections_.find(section);
    if (found == sections_.end())
        return false;
    const auto entry = found->second.find(key);
    if (entry == found->second.end())
        return false;
    if (capacity == 0)
        return true;
    const std::u16string &text = entry->second;
    const size_t kept = text.size() < capacity ? text.size() : capacity - 1;
    text.copy(out, kept);
    out[kept] = u'\0';
    return true;
}

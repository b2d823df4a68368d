// uninstall/lowered_counts.cpp: the written record of the shared-library counts a removal has lowered.
#include "uninstall/lowered_counts.h"

#include <cerrno>
#include <cstdlib>

namespace
{

// A whole decimal number, optionally negative, that fits in 64 bits.
bool ReadNumber(const std::string &text, int64_t &number)
{
    if (text.empty() || text.size() > 20)
        return false;
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    number = value;
    return true;
}

} // namespace

std::string LoweredCountsHeading(uint64_t logSize, uint64_t logWriteTime, const std::string &productKey)
{
    std::string key = productKey;
    for (char &c : key)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return std::string(kLoweredCountsHeading) + "; log " + std::to_string(logSize) + " bytes, written " +
           std::to_string(logWriteTime) + ", product " + key;
}

bool IsLoweredCountsText(const std::string &text, const std::string &heading)
{
    const size_t end = text.find('\n');
    if (heading.empty() || end == std::string::npos)
        return false;
    std::string first = text.substr(0, end);
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    return first == heading;
}

bool IsLeftOverCountsText(const std::string &text, const std::string &heading)
{
    const size_t product = heading.rfind(", product ");
    const size_t end = text.find('\n');
    if (product == std::string::npos || end == std::string::npos)
        return false;
    std::string first = text.substr(0, end);
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    const std::string start = std::string(kLoweredCountsHeading) + "; log ", key = heading.substr(product);
    return first.size() >= start.size() + key.size() && first.compare(0, start.size(), start) == 0 &&
           first.compare(first.size() - key.size(), key.size(), key) == 0;
}

std::string LoweredCountLine(int32_t line, int64_t before, const std::string &path, uint64_t keyWritten)
{
    const std::string time = keyWritten != 0 ? "/" + std::to_string(keyWritten) : std::string();
    return std::to_string(line) + '\t' + std::to_string(before) + time + '\t' + path + "\r\n";
}

std::string EmptiedKeyLine(int32_t line, const std::string &keyPath)
{
    return std::to_string(line) + "\tkey\t" + keyPath + "\r\n";
}

std::string LoweredDoneLine(int32_t line, const std::string &path)
{
    return std::to_string(line) + "\tdone\t" + path + "\r\n";
}

std::vector<LoweredCount> ReadLoweredCounts(const std::string &text)
{
    std::vector<LoweredCount> entries;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    {
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t first = line.find('\t');
        const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        int64_t number = 0, before = 0;
        if (second == std::string::npos || second + 1 == line.size() || !ReadNumber(line.substr(0, first), number) ||
            number <= 0 || number > INT32_MAX)
            continue;
        const std::string count = line.substr(first + 1, second - first - 1);
        const bool done = count == "done", key = count == "key";
        const size_t slash = count.find('/');
        int64_t written = 0;
        if (!done && !key &&
            (!ReadNumber(count.substr(0, slash), before) ||
             (slash != std::string::npos && (!ReadNumber(count.substr(slash + 1), written) || written <= 0))))
            continue;
        const std::string path = line.substr(second + 1);
        if (path.find_first_of(std::string("\t\r\0", 3)) != std::string::npos)
            continue; // no file has such a name: the line is not one this program wrote
        entries.push_back(
            LoweredCount{static_cast<int32_t>(number), done, before, path, static_cast<uint64_t>(written), key});
    }
    return entries;
}

bool LoweredEarlier(const std::vector<LoweredCount> &entries, int32_t line, const std::string &path, int64_t countNow,
                    uint64_t keyWrittenAtStart)
{
    // Of the beginnings the last counts: a run that wrote one and ended before the lowering is
    // followed by one that writes it again.
    const LoweredCount *begun = nullptr;
    bool done = false;
    for (const LoweredCount &entry : entries)
    {
        if (entry.emptiedKey || entry.line != line || entry.path != path)
            continue;
        if (entry.done)
        {
            done = true;
            break;
        }
        begun = &entry;
    }
    if (begun == nullptr || begun->before != countNow)
        return done || begun != nullptr;
    // The count stands where it stood before. Done is done, whatever other installations have made
    // of the count since, unless the registry itself went back to before the lowering.
    return done && !(begun->keyWritten != 0 && keyWrittenAtStart != 0 && keyWrittenAtStart <= begun->keyWritten);
}

std::set<std::string> EmptiedKeys(const std::vector<LoweredCount> &entries)
{
    std::set<std::string> keys;
    for (const LoweredCount &entry : entries)
        if (entry.emptiedKey)
            keys.insert(entry.path);
    return keys;
}

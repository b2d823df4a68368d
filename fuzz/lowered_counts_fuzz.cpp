// Any bytes as the file of lowered shared counts (a run ended mid-write, a disk that gave garbage):
// every entry read is one the program could have written, written again it reads back the same, and
// a whole line written after the bytes (on a line of its own) is the last entry read.
#include "uninstall/lowered_counts.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    for (const LoweredCount &entry : ReadLoweredCounts(text))
    {
        if (entry.line <= 0 || entry.path.empty() ||
            entry.path.find_first_of(std::string("\t\r\n\0", 4)) != std::string::npos)
            __builtin_trap();
        const auto again =
            ReadLoweredCounts(entry.emptiedKey ? EmptiedKeyLine(entry.line, entry.path)
                              : entry.done     ? LoweredDoneLine(entry.line, entry.path)
                                           : LoweredCountLine(entry.line, entry.before, entry.path, entry.keyWritten));
        if (again.size() != 1 || again[0].line != entry.line || again[0].done != entry.done ||
            again[0].before != entry.before || again[0].path != entry.path || again[0].keyWritten != entry.keyWritten ||
            again[0].emptiedKey != entry.emptiedKey)
            __builtin_trap();
        if ((EmptiedKeys(again).count(entry.path) != 0) != entry.emptiedKey ||
            (!entry.emptiedKey && (LoweredEarlier(again, entry.line, entry.path, entry.before) != entry.done ||
                                   !LoweredEarlier(again, entry.line, entry.path, entry.before ^ 1))))
            __builtin_trap();
    }
    const auto appended = ReadLoweredCounts(text + "\r\n" + LoweredCountLine(7, 3, "C:\\WINDOWS\\SYSTEM\\A.DLL"));
    if (appended.empty() || appended.back().line != 7 || appended.back().before != 3 ||
        appended.back().path != "C:\\WINDOWS\\SYSTEM\\A.DLL")
        __builtin_trap();
    // Written after the heading, any text keeps the file a record of this kind.
    const std::string heading = LoweredCountsHeading(text.size(), 7, text.substr(0, 8));
    if (!IsLoweredCountsText(heading + "\r\n" + text, heading))
        __builtin_trap();
    return 0;
}

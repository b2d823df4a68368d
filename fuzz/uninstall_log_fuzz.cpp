// Any file image as the uninstall log, read as the preparation reads its header and the removal worker
// its records, through buffers of their sizes: every text stays terminated within its buffer, the
// header lines and the first record come out whole or cut at their buffer, each record's parts fit
// where the worker puts them, the paths formed from the header expand or are refused, and the
// progress counted before the worker starts only climbs, and reaches 100 at the read that meets the
// end of the file unless a line longer than the count's buffer made the count larger.
#include "support/buffer_sizes.h"
#include "support/line_io.h"
#include "support/path_split.h"
#include "system/registry_path.h"
#include "uninstall/log_record.h"
#include "uninstall/path_macros.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

// Buffers are heap blocks of exactly their size, so that the sanitizer sees a write one past the end.
using Buffer = std::vector<char>;

void CheckTerminated(const Buffer &buffer)
{
    if (std::memchr(buffer.data(), '\0', buffer.size()) == nullptr)
        __builtin_trap();
}

// What a buffer of chars cells holds after a read of line: its first chars - 1 characters, up to the
// first zero byte.
std::string Prefix(const std::string &line, size_t chars)
{
    return std::string(line.substr(0, chars - 1).c_str());
}

// The log's language name, what %L inserts here.
const char *g_language = "";

void Windows(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "C:\\WINDOWS");
}
void System(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "C:\\WINDOWS\\system32\\");
}
void ProgramFiles(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "C:\\Program Files");
}
void Language(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "%s", g_language);
}

// The expansion gives a path that fits with every backslash run collapsed, or refuses with nothing.
std::string Expand(const char *text, const PathMacroInputs &inputs)
{
    Buffer out(kPathChars, '#');
    const bool ok = ExpandMacroText(text, out.data(), out.size(), inputs);
    CheckTerminated(out);
    if ((!ok && out[0] != '\0') || std::strstr(out.data(), "\\\\") != nullptr)
        __builtin_trap();
    return out.data();
}

// The reads the removal worker makes, and the progress they show.
struct Worker
{
    LineSource &log;
    int32_t total;
    int32_t reads = 0;
    int lastPosition = -1;
    // A read was asked for after the end of the file had been met: a record's continuation lines
    // were cut off by it, and those reads count beyond the total.
    bool readPastEnd = false;

    // As the worker reads a line: a line too long for its buffer is cut there and its rest read and
    // dropped. False for a cut line; tailBackslash tells whether the dropped rest held a backslash.
    bool Read(Buffer &line, bool showProgress, bool *tailBackslash = nullptr)
    {
        if (!log.Good())
            readPastEnd = true;
        bool cut = ReadLine(log, line.data(), line.size()) == 1;
        CheckTerminated(line);
        bool backslash = false;
        for (int more = cut; more == 1;)
        {
            Buffer rest(kTextChars);
            more = ReadLine(log, rest.data(), rest.size());
            CheckTerminated(rest);
            backslash = backslash || std::strchr(rest.data(), '\\') != nullptr;
        }
        if (tailBackslash != nullptr)
            *tailBackslash = backslash;
        ++reads;
        if (showProgress)
        {
            const int position = ProgressPosition(reads, total);
            if (position < lastPosition || position > 100)
                __builtin_trap();
            lastPosition = position;
        }
        return !cut;
    }
};

void CarryOutIniEntry(Worker &worker, const char *operand)
{
    Buffer section(kPathChars, '#');
    Buffer name(kPathChars, '#');
    const bool split = SplitIniRecord(operand, section.data(), section.size(), name.data(), name.size());
    CheckTerminated(section);
    CheckTerminated(name);
    if (!split)
    {
        if (section[0] != '\0' || name[0] != '\0')
            __builtin_trap();
        return;
    }
    if (std::string(section.data()) + "\\" + name.data() != operand)
        __builtin_trap(); // the parts put together give the operand back
    Buffer value(kTextChars);
    if (!worker.Read(value, false))
        return;
    char entry[2 * kTextChars];
    const int length = std::snprintf(entry, sizeof entry, "%s=%s", name.data(), value.data());
    if (length < 0 || static_cast<size_t>(length) >= sizeof entry)
        __builtin_trap(); // a name and a value that fit their buffers always fit the entry
}

void CarryOutProgram(Worker &worker, const char *commandLine)
{
    Buffer second(kPathChars);
    Buffer third(kKeyChars);
    const bool secondWhole = worker.Read(second, false);
    const bool thirdWhole = worker.Read(third, false);
    if (!secondWhole || !thirdWhole)
        return;
    Buffer directory(kPathChars, '#');
    // Which runs of words name a file is the machine's business: here every odd-length one does, so
    // that both the found program and the fallback are walked.
    const FileTest odd = [](const char *path) { return std::strlen(path) % 2 == 1; };
    ProgramWorkingDirectory(commandLine, second.data(), third.data(), odd, directory.data(), directory.size());
    CheckTerminated(directory);
}

// A file the worker deletes, and the directory whose removal waits for the next record: a next file
// that names an entry of it must lie in it, or the worker would keep a directory it could remove.
void CarryOutFile(const char *path, Buffer &dueDirectory)
{
    if (dueDirectory[0] != '\0' && NamesEntryIn(path, dueDirectory.data()))
    {
        Buffer own(kPathChars, '#');
        if (!PathDirectory(path, own.data(), own.size()) || std::strcmp(own.data(), dueDirectory.data()) != 0)
            __builtin_trap();
    }
    if (!PathDirectory(path, dueDirectory.data(), dueDirectory.size()))
        dueDirectory[0] = '\0';
    CheckTerminated(dueDirectory);
}

void CarryOutRegistryValue(const char *path)
{
    Buffer subkey(kRegistrySubkeyChars, '#');
    Buffer name(kRegistryValueNameChars, '#');
    const RegistryRoot root = ParseRegistryPath(path, subkey.data(), subkey.size(), name.data(), name.size());
    CheckTerminated(subkey);
    CheckTerminated(name);
    if (root == RegistryRoot::None && (subkey[0] != '\0' || name[0] != '\0'))
        __builtin_trap();
}

// As the worker passes over a record line too long to carry out, with its continuation lines.
void SkipRecord(Worker &worker, const char *line, bool tailBackslash)
{
    Buffer ignored(kTextChars);
    const RecordKind kind = KindOfRecord(line);
    if (kind == RecordKind::Program)
    {
        Buffer second(kPathChars);
        Buffer third(kKeyChars);
        worker.Read(second, false);
        worker.Read(third, false);
    }
    else if (kind == RecordKind::IniEntry && (tailBackslash || std::strchr(line + 1, '\\') != nullptr))
    {
        worker.Read(ignored, false);
    }
}

// The reads CountLines promises from the start of text: one per line, and one more for each further
// piece of kTextChars - 1 characters of a longer line.
int32_t ExpectedReads(const std::string &text, bool *longLine)
{
    int32_t reads = 0;
    size_t begin = 0;
    *longLine = false;
    for (;;)
    {
        const size_t end = text.find('\n', begin);
        const size_t length = (end == std::string::npos ? text.size() : end) - begin;
        reads += length == 0 ? 1 : static_cast<int32_t>((length + kTextChars - 2) / (kTextChars - 1));
        *longLine = *longLine || length >= kTextChars;
        if (end == std::string::npos)
            return reads;
        begin = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string image(reinterpret_cast<const char *>(data), size);
    TextLineSource log(image);

    // The header, each line cut to its buffer with the rest of it dropped.
    Buffer title(kTextChars, '#');
    Buffer productKey(kKeyChars, '#');
    Buffer language(kTextChars, '#');
    std::vector<std::string> lines;
    size_t begin = 0;
    for (int i = 0; i < 3 && begin <= image.size(); ++i)
    {
        const size_t end = image.find('\n', begin);
        lines.push_back(image.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        begin = end == std::string::npos ? image.size() + 1 : end + 1;
    }
    lines.resize(3);
    Buffer *header[] = {&title, &productKey, &language};
    for (int i = 0; i < 3; ++i)
    {
        ReadWholeLine(log, header[i]->data(), header[i]->size());
        CheckTerminated(*header[i]);
        if (Prefix(lines[i], header[i]->size()) != header[i]->data())
            __builtin_trap();
    }

    // The paths formed from the header: the title stands in for an installation directory (the
    // program takes it from its command line), the product key is what %D inserts.
    g_language = language.data();
    const PathMacroInputs inputs{title.data(), productKey.data(), Windows, System, ProgramFiles, Language, nullptr};
    char formed[kPathChars];
    const int length = std::snprintf(formed, sizeof formed, "%s\\%s", title.data(), "uninstall.log");
    if (length > 0 && static_cast<size_t>(length) < sizeof formed)
    {
        // Text after the macros is copied as it stands: whatever the directory, the name survives.
        const std::string path = Expand(formed, inputs);
        const std::string name = "uninstall.log";
        if (!path.empty() &&
            (path.size() < name.size() || path.compare(path.size() - name.size(), name.size(), name) != 0))
            __builtin_trap();
    }
    Expand("%w\\WININIT.INI", inputs);

    // The progress total, counted from the first record to the end; the stream stays where it was.
    const int32_t total = CountLines(log);
    bool longLine = false;
    const bool hasRecords = begin <= image.size();
    const int32_t expected = hasRecords ? ExpectedReads(image.substr(begin), &longLine) : 0;
    if (total != expected || !log.Good())
        __builtin_trap();

    Worker worker{log, total};
    Buffer dueDirectory(kPathChars);
    dueDirectory[0] = '\0';
    bool first = true;
    for (;;)
    {
        Buffer line(kPathChars, '#');
        bool tailBackslash = false;
        const bool whole = worker.Read(line, true, &tailBackslash);
        if (first && hasRecords)
        {
            const size_t end = image.find('\n', begin);
            if (Prefix(image.substr(begin, end == std::string::npos ? std::string::npos : end - begin), line.size()) !=
                line.data())
                __builtin_trap(); // CountLines went back to the first record
        }
        first = false;
        if (!log.Good())
            break; // a last line without its line end is not carried out
        if (worker.lastPosition >= 100)
            __builtin_trap(); // full before the end
        if (!whole)
        {
            SkipRecord(worker, line.data(), tailBackslash);
            continue;
        }
        // Every operand goes through the expansion too: the program forms its paths from the same texts.
        Expand(line.data(), inputs);
        switch (KindOfRecord(line.data()))
        {
        case RecordKind::Font:
        case RecordKind::Library:
            CarryOutFile(line.data() + 1, dueDirectory);
            break;
        case RecordKind::IniEntry:
            CarryOutIniEntry(worker, line.data() + 1);
            break;
        case RecordKind::RegistryValue:
            CarryOutRegistryValue(line.data() + 1);
            break;
        case RecordKind::Program:
            CarryOutProgram(worker, line.data() + 1);
            break;
        case RecordKind::File:
            CarryOutFile(line.data(), dueDirectory);
            break;
        }
    }
    // A line longer than the count's buffer counts more there than in the reads, and the worker moves
    // the bar to 100 itself after its loop. Without such a line the read that meets the end is full
    // already, and with no record cut off by the end it is the very last one counted. A log that ends
    // within its header counts nothing, and its one read meets the end.
    if (!longLine && worker.lastPosition != 100)
        __builtin_trap();
    if (!hasRecords ? worker.reads != 1 : !longLine && !worker.readPastEnd && worker.reads != total)
        __builtin_trap();
    return 0;
}

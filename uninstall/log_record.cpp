// uninstall/log_record.cpp: what a record line of the uninstall log asks for, and the progress it makes.
#include "uninstall/log_record.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "support/path_split.h"
#include "uninstall/command_line.h"

#include <cstring>

RecordKind KindOfRecord(const char *line)
{
    switch (line[0])
    {
    case '&':
        return RecordKind::Font;
    case '%':
        return RecordKind::Library;
    case '-':
        return RecordKind::IniEntry;
    case ':':
        return RecordKind::RegistryValue;
    case ';':
        return RecordKind::Program;
    default:
        return RecordKind::File;
    }
}

bool SplitIniRecord(const char *operand, char *section, size_t sectionChars, char *name, size_t nameChars)
{
    section[0] = '\0';
    name[0] = '\0';
    const char *last = std::strrchr(operand, '\\');
    if (last == nullptr)
        return false;
    const size_t sectionLength = static_cast<size_t>(last - operand);
    if (sectionLength >= sectionChars || !CopyWhole(name, nameChars, last + 1))
    {
        name[0] = '\0';
        return false;
    }
    std::memcpy(section, operand, sectionLength);
    section[sectionLength] = '\0';
    return true;
}

bool ProgramOfCommandLine(const char *commandLine, FileTest isFile, char *out, size_t outChars)
{
    out[0] = '\0';
    if (commandLine[0] == '"')
    {
        const char *cursor = commandLine;
        bool cut = false;
        if (!NextCommandLineToken(cursor, out, outChars, cut) || cut)
        {
            out[0] = '\0';
            return false;
        }
        return true;
    }
    // Unquoted, a path with spaces is ambiguous: the system takes the first run of words that names a
    // file, so "C:\Program Files\Product\cleanup.exe /s" starts cleanup.exe, not C:\Program.
    char candidate[kPathChars + 4];
    for (size_t end = 1; commandLine[end - 1] != '\0'; ++end)
    {
        const char next = commandLine[end];
        if (next != '\0' && next != ' ' && next != '\t')
            continue;
        if (end >= kPathChars)
            break;
        std::memcpy(candidate, commandLine, end);
        candidate[end] = '\0';
        PathParts parts;
        SplitPath(candidate, parts);
        if (parts.ext[0] == '\0')
            std::memcpy(candidate + end, ".exe", sizeof ".exe");
        if (isFile(candidate))
            return CopyWhole(out, outChars, candidate);
        if (next == '\0')
            break;
    }
    return false;
}

void ProgramWorkingDirectory(const char *commandLine, const char *secondLine, const char *thirdLine, FileTest isFile,
                             char *out, size_t outChars)
{
    out[0] = '\0';
    if (thirdLine[0] == '\0' || thirdLine[1] == '\0')
    {
        // The program's own directory: taken from the program's path, not from the whole command
        // line, whose quotes or arguments would otherwise make a directory that does not exist.
        char program[kPathChars];
        if (ProgramOfCommandLine(commandLine, isFile, program, sizeof program))
            PathDirectory(program, out, outChars);
        else
            PathDirectory(commandLine, out, outChars);
        return;
    }
    if (secondLine[0] != '\0' && secondLine[1] != '\0')
        CopyWhole(out, outChars, secondLine + 1);
}

int ProgressPosition(int32_t read, int32_t total)
{
    if (total <= 0 || read >= total)
        return 100;
    if (read <= 0)
        return 0;
    return static_cast<int>(static_cast<int64_t>(read) * 100 / total);
}

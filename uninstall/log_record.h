// uninstall/log_record.h: what a record line of the uninstall log asks for, and the progress it makes.
#pragma once

#include <cstddef>
#include <cstdint>

enum class RecordKind
{
    Font,          // '&' path
    Library,       // '%' path of a self-registering library
    IniEntry,      // '-' section\name, value on the next line
    RegistryValue, // ':' registry path
    Program,       // ';' command line, working directory and number on the next two lines
    File,          // any other first character: the whole line is the path
};

RecordKind KindOfRecord(const char *line);

// Splits the operand of an INI entry record ("section\name") at its last backslash. False, with
// both outputs empty, when there is none or a part does not fit.
bool SplitIniRecord(const char *operand, char *section, size_t sectionChars, char *name, size_t nameChars);

// Tells whether path names an existing file (not a directory).
using FileTest = bool (*)(const char *path);

// The program a command line starts, found as CreateProcessA finds it: a quoted first token is the
// program; in unquoted text, the shortest run of words ending before a space or tab (or at the end)
// that names an existing file, with ".exe" added to a name that has no extension. False, with out
// empty, when no such file exists or the program does not fit.
bool ProgramOfCommandLine(const char *commandLine, FileTest isFile, char *out, size_t outChars);

// The working directory of a program record: the second line after its marker; but when the third
// line carries nothing after its marker, the directory of the program itself (ProgramOfCommandLine),
// or, when the program cannot be found, the command line up to its last backslash or slash. Empty
// when none is given: the program then inherits the uninstaller's.
void ProgramWorkingDirectory(const char *commandLine, const char *secondLine, const char *thirdLine, FileTest isFile,
                             char *out, size_t outChars);

// The progress bar's position after read of total line reads, 0 to 100.
int ProgressPosition(int32_t read, int32_t total);

// tests/machine_files.h: the machine's directories and files as tests see them, and the links that
// Wine can only make from its Unix side.
#pragma once

#include <string>
#include <vector>

namespace test_machine
{

// The directory of the running test program, ending in a backslash: the build puts every test
// program, library and the uninstaller there.
std::string ModuleDirectory();

std::string SystemDirectory();

// A file of the Windows directory, such as system.ini or WININIT.INI.
std::string WindowsFile(const std::string &name);

// The file's bytes as they stand; empty when it cannot be read.
std::string ReadBytes(const std::string &path);

bool PathExists(const std::string &path);

// The short form of an existing path, as WININIT.INI names it; "<no short form>" otherwise.
std::string ShortPath(const std::string &path);

// The lines of every [rename] section of the INI file at path (WININIT.INI, where the Windows 95
// family keeps what goes at restart), in order, without their line ends.
std::vector<std::string> RenameLines(const std::string &path);

// Removes a directory with everything below it, read-only files included; what is in use stays.
void RemoveTree(const std::string &directory);

// The Unix path of a Windows path when running under Wine; empty elsewhere.
std::string UnixPath(const std::string &windowsPath);

// Text as one word of a Unix shell's command line.
std::string ShellQuote(const std::string &text);

// Starts a Unix command through the shell under Wine, which runs native programs as it runs its own.
// True when it started: Wine gives back no handle to wait on and no exit status, so the caller
// waits for what the command does.
bool StartUnixCommand(const std::string &command);

// Makes link a symbolic link to the directory target. Under Wine it is a Unix link, which Wine shows
// as a directory with FILE_ATTRIBUTE_REPARSE_POINT (its own CreateSymbolicLink makes nothing);
// elsewhere the system's. True when the link is there and leads to a directory.
bool MakeDirectoryLink(const std::string &link, const std::string &target);

// Removes a link that MakeDirectoryLink made, the link alone: Wine's RemoveDirectory would remove the
// directory it leads to instead. True when it is gone.
bool RemoveDirectoryLink(const std::string &link);

} // namespace test_machine

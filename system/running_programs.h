// system/running_programs.h: finds the running programs that use given files, and asks them to close.
#pragma once

#include "support/buffer_sizes.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// The files to look for, handed out one at a time and as often as a finder asks, so that a product
// of a million files is never held in memory. A name is found in any letter case, and in its short
// form.
class FileList
{
public:
    using Take = void (*)(const char *path, void *context);
    virtual ~FileList() = default;
    // Calls take with each file, in order; an empty name is never handed out.
    virtual void Each(Take take, void *context) const = 0;
};

// A list held in memory: a few files.
class FileNameSet : public FileList
{
public:
    void Add(const char *path);
    void Each(Take take, void *context) const override;

private:
    std::vector<std::string> paths_;
};

constexpr size_t kTitleChars = 256;

// One running program that uses a file of the set.
struct RunningProgram
{
    DWORD processId;
    char programPath[kPathChars]; // its program file; empty when the finder could not read it
    wchar_t title[kTitleChars];   // its main window's title; empty when it shows none
};

// One way of finding the programs. The Restart Manager (Windows Vista on) also sees data files held
// open; a look at every process's loaded modules works on every family, but sees only program files
// and libraries.
class ProgramFinder
{
public:
    virtual ~ProgramFinder() = default;
    // Adds the programs that use a file of files to found, other than this process and those already
    // there. False when this way is not to be had here or did not answer; found is then unchanged.
    virtual bool Find(const FileList &files, std::vector<RunningProgram> &found) = 0;
    // Asks the programs this finder found in its last Find to close, without force. False when it
    // cannot: they are then asked through their windows (AskProgramToClose).
    virtual bool AskToClose() = 0;
};

// The Restart Manager, loaded from the system directory; it answers false where there is none.
std::unique_ptr<ProgramFinder> MakeRestartManagerFinder();
// Toolhelp snapshots of processes and their modules; on NT 4, which lacks them, psapi.
std::unique_ptr<ProgramFinder> MakeModuleFinder();

// The two ways the module finder reads a process's modules: the loader's list in the process's memory,
// where this process and it share one layout (no WOW64 on either side), and otherwise Toolhelp, one
// module at a time. Both give the program file first and every name in capitals; empty when that way
// cannot read them. Lets a test hold the two to the same answer.
enum class ModuleRead
{
    LoaderList,
    Toolhelp
};
std::vector<std::string> ProcessModuleNames(DWORD processId, ModuleRead way);

// Every program that uses a file of files, each once, in the order the finders gave them: the
// Restart Manager first, then, when it did not answer or found nobody, the modules. Names each by
// its main window's title.
class RunningPrograms
{
public:
    RunningPrograms();
    // For tests: the finders to ask, in order.
    explicit RunningPrograms(std::vector<std::unique_ptr<ProgramFinder>> finders);

    std::vector<RunningProgram> Find(const FileList &files);
    // Asks every program of the last Find to close: through the finder that found it where it can,
    // otherwise with the end-of-session messages and WM_CLOSE to its top-level windows.
    void AskToClose(const std::vector<RunningProgram> &programs);

private:
    std::vector<std::unique_ptr<ProgramFinder>> finders_;
    ProgramFinder *lastFinder_ = nullptr;
};

// Sends a program's top-level windows WM_QUERYENDSESSION and WM_ENDSESSION (ENDSESSION_CLOSEAPP),
// as the system does at log-off, then posts them WM_CLOSE. A window that does not answer in a few
// seconds is not waited for.
void AskProgramToClose(DWORD processId);

// Waits until every one of the programs has ended, or timeoutMs has passed. Returns true when all
// have ended; a process that cannot be opened counts as ended only when it is gone.
bool WaitForProgramsToEnd(const std::vector<RunningProgram> &programs, DWORD timeoutMs);

// Ends the process by force (TerminateProcess). False when it cannot be opened or ended.
bool EndProgram(DWORD processId);

// The title of the process's first visible top-level window that has one and no owner; empty when
// there is none.
void MainWindowTitle(DWORD processId, wchar_t (&title)[kTitleChars]);

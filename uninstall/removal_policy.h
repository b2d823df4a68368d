// uninstall/removal_policy.h: whether a logged file may go, and the steps around its deletion.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CountJournal;
struct RemovalRun;

// Takes the steps before a logged file's deletion, and returns true when the file at path is to be
// deleted now. A file of the system directory may be shared: its shared-library count is lowered
// (and, for the record at line, written to the run's journal), it stays while others still count on
// it, and the user is asked before it goes, unless an earlier answer holds for all system files; the
// run is paused before the question (see PauseRun) and its page owns it. A file that is to go has its
// read-only attribute cleared. When the file is kept, countLeft (when not null) receives the count
// others still hold, or 0 when an answer kept it. With a line, the count is lowered once for that
// record, however often the removal is started (see LowerSharedCountOnce); line 0 lowers it at once.
bool PrepareFileForDeletion(RemovalRun &run, const char *path, long *countLeft = nullptr, int32_t line = 0);

// True when path's directory is the system directory itself: both compared as full, long paths
// ("..", "." and slashes resolved, 8.3 names made long), without regard to case.
bool InSystemDirectory(const char *path);

// path as a full, long path (see InSystemDirectory); path as given when it cannot be made so. Short
// names are looked up only where the path has a '~': every other path costs no file-system call.
std::string NormalisedPath(const char *path);

// The file's count under SharedDLLs as it stands: -1 when there is none, 0 for a value of another
// type. The count is looked up under the path as the log spells it (the installer wrote it so), and
// under its normalised form when there is none; spelling (when not null) receives the value name
// found, or the path as given when neither is there. Every change below goes to that same value.
long SharedDllCount(const char *path, std::string *spelling = nullptr);

// Adds change to the file's count under SharedDLLs and returns the new count; a count used up
// deletes the value (and the keys it leaves empty) and gives 0. Nothing changes, and 0 is returned,
// for a count of 0, a value of another type, or a missing value with a negative change.
long ChangeSharedDllCount(const char *path, long change);

// Lowers the file's count by one for the record at line and returns the new count, as
// ChangeSharedDllCount does, unless the journal shows that an earlier run already lowered it for this
// record: the count is then left as it stands and returned (0 when there is none). The lowering is
// written to the journal first; when it cannot be, the count is lowered all the same.
long LowerSharedCountOnce(CountJournal &journal, int32_t line, const char *path);

// When the SharedDLLs key was last written (a FILETIME); 0 when it cannot be read.
uint64_t SharedCountsWritten();

// Loads a self-registering library, with the libraries it imports found in its own folder, and lets
// it remove its own registration.
void UnregisterLibrary(const char *path);

// Removes directory (ending in a backslash) and then each parent left empty, stopping at the first
// that cannot be removed, or that is a link to another directory. True when directory itself was
// removed.
bool RemoveEmptyDirectories(const char *directory);

// The system-file question's dialog procedure: ends with 0 Yes, 1 Yes to all, 2 No, 3 No to all.
INT_PTR CALLBACK SystemFileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

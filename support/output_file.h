// support/output_file.h: opens a file the program writes for people and scripts to read (the removal
// log, the plan, the crash report) without being carried onto another file by a link.
#pragma once

#include <windows.h>

// Why the open file must not be written: its last part is a link (symbolic link, junction or other
// reparse point) or a file with more than one hard link. Either would let whoever made it aim an
// elevated append or truncate at a file of their choosing. nullptr for a plain file of its own, or
// when the system cannot say (the Windows 95 family reports no links).
const char *LinkedFileReason(HANDLE file);

// Opens path for access without following a link at its last part: created when missing, kept as it
// is otherwise; truncate empties it, but only once it is known to be a plain file. Returns
// INVALID_HANDLE_VALUE with reason set when it cannot be opened ("cannot be opened", the system's
// error in GetLastError) or is refused (LinkedFileReason); reason is nullptr on success.
HANDLE OpenOutputFile(const char *path, DWORD access, DWORD share, bool truncate, const char *&reason);

// Replaces the contents of path with text, each "\n" written as CR LF, under OpenOutputFile's rule.
// Returns the refusal or failure reason; nullptr when the whole text was written.
const char *WriteOutputText(const char *path, const char *text);

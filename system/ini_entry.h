// system/ini_entry.h: removes an entry line from a section of an INI file.
#pragma once

// Rewrites the INI file at path without the lines of [section] that equal entry (see
// RewriteIniLines), through the temporary file "<path>_". The file is replaced only when the copy
// was read and written completely; otherwise the temporary file is removed and the file stays byte
// for byte. A missing file is not created. On the Windows 95 family a rewrite raises the run's
// restart-needed flag: the system reads these files only when it starts.
void RemoveIniEntry(const char *section, const char *entry, const char *path);

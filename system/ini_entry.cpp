// system/ini_entry.cpp: removes an entry line from a section of an INI file.
#include "system/ini_entry.h"

#include "support/buffer_sizes.h"
#include "system/ini_rewrite.h"
#include "uninstall/context.h"

#include <windows.h>

#include <cstdio>
#include <fstream>

namespace
{

// Puts the rewritten copy in the file's place. On the NT family one call replaces it, so there is
// no moment without the file; the Windows 95 family has no such call, and its file is deleted first.
bool ReplaceFile(const char *temporary, const char *path)
{
    // A read-only file is left as it is, on every system: some replace it regardless.
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    if (g_context.isNt)
        return ::MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!::DeleteFileA(path))
        return false;
    // Should the rename fail, the copy is the only one left: it stays under its own name.
    ::MoveFileA(temporary, path);
    return true;
}

} // namespace

void RemoveIniEntry(const char *section, const char *entry, const char *path)
{
    char temporary[kPathChars];
    char header[kKeyChars];
    const int temporaryLength = std::snprintf(temporary, sizeof temporary, "%s_", path);
    const int headerLength = std::snprintf(header, sizeof header, "[%s]", section);
    // A cut name could be another file, a cut header another section: neither is touched.
    if (temporaryLength < 0 || static_cast<size_t>(temporaryLength) >= sizeof temporary || headerLength < 0 ||
        static_cast<size_t>(headerLength) >= sizeof header)
        return;

    std::ifstream in(path);
    if (!in.is_open())
        return;
    bool copied = false;
    {
        std::ofstream out(temporary, std::ios::out | std::ios::trunc);
        if (out.is_open())
        {
            copied = RewriteIniLines(in, out, header, entry);
            out.close();
            copied = copied && !out.fail();
        }
    }
    in.close();

    if (!copied || !ReplaceFile(temporary, path))
        ::DeleteFileA(temporary);
    if (!g_context.isNt)
        g_context.restartNeeded = true;
}

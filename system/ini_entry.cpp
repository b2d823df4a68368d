// system/ini_entry.cpp: removes an entry line from a section of an INI file, or adds one.
#include "system/ini_entry.h"

#include "support/buffer_sizes.h"
#include "support/windows_family.h"
#include "system/ini_rewrite.h"
// The process context holds the run's restart-needed flag, which a rewrite raises on the Windows 95 family.
#include "uninstall/context.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace
{

using LineCopy = bool (*)(std::istream &in, std::ostream &out, const char *header, const char *entry, size_t *changed);

enum class Original
{
    Read,       // the file was opened and its copy attempted
    Missing,    // there is no such file
    Unreadable, // it exists but could not be opened, or its name or the header does not fit
};

struct Rewrite
{
    Original original;
    bool replaced;  // the copy is in the file's place
    DWORD error;    // why it is not, when the system said
    size_t changed; // the lines the copy left out or added
};

// Puts the rewritten copy in the file's place. On the NT family one call replaces it, so there is
// no moment without the file; the Windows 95 family has no such call, and its file is deleted first.
bool ReplaceFile(const char *temporary, const char *path, bool existed)
{
    if (!existed)
        return ::MoveFileA(temporary, path) != FALSE; // fails, copy discarded, should the file appear meanwhile
    // A read-only file is left as it is, on every system: some replace it regardless.
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    if (IsNtFamily())
        return ::MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!::DeleteFileA(path))
        return false;
    // Should the rename fail, the copy is the only one left: it stays under its own name.
    ::MoveFileA(temporary, path);
    return true;
}

// The whole file with each CR LF read as LF, as a text-mode stream reads it, except that such a
// stream stops at the first Ctrl-Z byte: a rewrite would then lose everything after it.
bool ReadText(std::ifstream &file, std::string &text)
{
    std::ostringstream bytes;
    if (file.peek() != std::char_traits<char>::eof() && !(bytes << file.rdbuf()))
        return false;
    text = bytes.str();
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            text[kept++] = text[i];
    text.resize(kept);
    return !file.bad();
}

// Writes copy's output for the file at path to "<path>_" and puts it in the file's place, only when
// every line was read and written. A missing file is read as empty when createMissing is set.
Rewrite RewriteIniFile(const char *section, const char *entry, const char *path, LineCopy copy, bool createMissing)
{
    Rewrite result = {Original::Unreadable, false, 0, 0};
    char temporary[kPathChars];
    char header[kKeyChars];
    const int temporaryLength = std::snprintf(temporary, sizeof temporary, "%s_", path);
    const int headerLength = std::snprintf(header, sizeof header, "[%s]", section);
    // A cut name could be another file, a cut header another section: neither is touched.
    if (temporaryLength < 0 || static_cast<size_t>(temporaryLength) >= sizeof temporary || headerLength < 0 ||
        static_cast<size_t>(headerLength) >= sizeof header)
        return result;

    std::ifstream file(path, std::ios::binary);
    const bool existed = file.is_open();
    if (!existed)
    {
        // Only a file that is not there at all may be made; one that is locked or denied is left alone.
        const DWORD attributes = ::GetFileAttributesA(path);
        const DWORD error = ::GetLastError();
        const bool missing =
            attributes == INVALID_FILE_ATTRIBUTES && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
        result.error = error;
        if (!missing)
            return result;
        result.original = Original::Missing;
        if (!createMissing)
            return result;
    }
    std::string text;
    bool copied = !existed || ReadText(file, text);
    file.close();
    std::istringstream in(text);
    if (copied)
    {
        copied = false;
        std::ofstream out(temporary, std::ios::out | std::ios::trunc);
        if (out.is_open())
        {
            copied = copy(in, out, header, entry, &result.changed);
            out.close();
            copied = copied && !out.fail();
        }
    }

    result.replaced = copied && ReplaceFile(temporary, path, existed);
    if (!result.replaced)
    {
        result.error = ::GetLastError();
        (void)::DeleteFileA(temporary); // a copy that did not take the file's place is of no use
    }
    result.original = existed ? Original::Read : Original::Missing;
    return result;
}

bool CopyWithout(std::istream &in, std::ostream &out, const char *header, const char *entry, size_t *changed)
{
    return RewriteIniLines(in, out, header, entry, changed);
}

bool CopyWithAddition(std::istream &in, std::ostream &out, const char *header, const char *entry, size_t *changed)
{
    *changed = 1;
    return AddIniLine(in, out, header, entry);
}

} // namespace

IniRemoval RemoveIniEntry(const char *section, const char *entry, const char *path)
{
    const Rewrite rewrite = RewriteIniFile(section, entry, path, CopyWithout, false);
    if (rewrite.original == Original::Read && !IsNtFamily())
        g_context.restartNeeded = true;
    if (rewrite.original == Original::Missing)
        return IniRemoval{IniRemoval::NotThere, rewrite.error};
    if (rewrite.original == Original::Unreadable || !rewrite.replaced)
        return IniRemoval{IniRemoval::Failed, rewrite.error};
    return IniRemoval{rewrite.changed > 0 ? IniRemoval::Removed : IniRemoval::NotThere, 0};
}

bool AddIniEntry(const char *section, const char *entry, const char *path)
{
    return RewriteIniFile(section, entry, path, CopyWithAddition, true).replaced;
}

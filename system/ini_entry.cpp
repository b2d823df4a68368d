// system/ini_entry.cpp: removes an entry line from a section of an INI file, or adds one.
#include "system/ini_entry.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "support/line_file.h"
#include "support/scope_closer.h"
#include "support/windows_family.h"
#include "system/ini_rewrite.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

namespace
{

// Copies an INI file's text from in to out, changed; says whether every line was read.
using LineCopy = std::function<bool(const std::string &in, std::string &out)>;

enum class Original
{
    Read,       // the file was opened and its copy attempted
    Missing,    // there is no such file
    Unreadable, // it exists but could not be opened, or its name or the header does not fit
};

struct Rewrite
{
    Original original;
    bool replaced; // the copy is in the file's place
    DWORD error;   // why it is not, when the system said
};

// "[section]"; false when it does not fit: a cut header would be another section, and nothing is
// touched for it.
bool FormHeader(const char *section, char (&header)[kKeyChars])
{
    return FormatWhole(header, sizeof header, "[%s]", section);
}

// Each CR LF of text read as LF, as a text-mode stream reads a file.
void FoldLineEnds(std::string &text)
{
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            text[kept++] = text[i];
    text.resize(kept);
}

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
bool ReadText(HANDLE file, std::string &text)
{
    char buffer[16384];
    DWORD got = 0;
    do
    {
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr))
            return false;
        text.append(buffer, got);
    } while (got > 0);
    FoldLineEnds(text);
    return true;
}

// Writes copy's output for the file at path to "<path>_" and puts it in the file's place, only when
// every line was read and written. A missing file is read as empty when createMissing is set.
Rewrite RewriteIniFile(const char *path, const LineCopy &copy, bool createMissing)
{
    Rewrite result = {Original::Unreadable, false, 0};
    char temporary[kPathChars];
    // A cut name could be another file: it is not touched.
    if (!FormatWhole(temporary, sizeof temporary, "%s_", path))
        return result;

    // The Windows 95 family's replacement deletes the file before the copy takes its name: a run ended
    // in between left the whole rewritten file under the copy's name and none under its own. The copy
    // is put back first; it was complete, as the file is deleted only once the copy is written.
    const DWORD copyAttributes = ::GetFileAttributesA(temporary);
    if (copyAttributes != INVALID_FILE_ATTRIBUTES && (copyAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        ::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        (void)::MoveFileA(temporary, path); // should it fail, the file is missing as before
    const HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool existed = file != INVALID_HANDLE_VALUE;
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
    if (existed)
        (void)::CloseHandle(file); // only read: nothing is lost when closing fails
    std::string changed;
    copied = copied && copy(text, changed) && WriteTextFile(temporary, changed);

    result.replaced = copied && ReplaceFile(temporary, path, existed);
    if (!result.replaced)
    {
        result.error = ::GetLastError();
        (void)::DeleteFileA(temporary); // a copy that did not take the file's place is of no use
    }
    result.original = existed ? Original::Read : Original::Missing;
    return result;
}

// What a removal reports after the rewrite of its file, removed lines counted.
IniRemoval RemovalResult(const Rewrite &rewrite, size_t removedLines)
{
    // Only a file that was replaced reads differently at the restart; one left as it was needs none.
    const bool restartNeeded = rewrite.original == Original::Read && rewrite.replaced && !IsNtFamily();
    if (rewrite.original == Original::Missing)
        return IniRemoval{IniRemoval::NotThere, rewrite.error, restartNeeded};
    if (rewrite.original == Original::Unreadable || !rewrite.replaced)
        return IniRemoval{IniRemoval::Failed, rewrite.error, restartNeeded};
    return IniRemoval{removedLines > 0 ? IniRemoval::Removed : IniRemoval::NotThere, 0, restartNeeded};
}

} // namespace

bool ReadIniText(const char *path, std::string &text)
{
    text.clear();
    // Only read: nothing is lost when closing fails.
    const HandleCloser file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file != INVALID_HANDLE_VALUE && ReadText(file, text);
}

IniRemoval RemoveIniEntry(const char *section, const char *entry, const char *path)
{
    char header[kKeyChars];
    if (!FormHeader(section, header))
        return IniRemoval{IniRemoval::Failed, 0, false};
    size_t removed = 0;
    const Rewrite rewrite = RewriteIniFile(
        path,
        [&](const std::string &in, std::string &out) {
            TextLineSource source(in);
            return RewriteIniLines(source, out, header, entry, &removed);
        },
        false);
    return RemovalResult(rewrite, removed);
}

bool AddIniEntry(const char *section, const char *entry, const char *path)
{
    char header[kKeyChars];
    if (!FormHeader(section, header))
        return false;
    return RewriteIniFile(
               path,
               [&](const std::string &in, std::string &out) {
                   TextLineSource source(in);
                   return AddIniLine(source, out, header, entry);
               },
               true)
        .replaced;
}

void IniRemovals::Add(const char *section, const char *entry, const char *path)
{
    if (queued_.empty())
        path_ = path;
    char header[kKeyChars];
    const bool fits = FormHeader(section, header);
    queued_.push_back(Queued{fits ? header : "", entry, fits, 0});
}

std::vector<IniRemoval> IniRemovals::Finish()
{
    Rewrite rewrite = {Original::Unreadable, false, 0};
    if (std::any_of(queued_.begin(), queued_.end(), [](const Queued &queued) { return queued.fits; }))
    {
        rewrite = RewriteIniFile(
            path_.c_str(),
            [&](const std::string &in, std::string &out) {
                // Each removal reads what the one before it would have left in the file: its output as it
                // stands. The file stores each LF as CR LF, and the next rewrite's reading folds exactly
                // those back.
                out = in;
                for (Queued &queued : queued_)
                {
                    if (!queued.fits)
                        continue;
                    TextLineSource before(out);
                    std::string after;
                    if (!RewriteIniLines(before, after, queued.header.c_str(), queued.entry.c_str(), &queued.removed))
                        return false;
                    out.swap(after);
                }
                return true;
            },
            false);
    }
    std::vector<IniRemoval> results;
    for (const Queued &queued : queued_)
        results.push_back(queued.fits ? RemovalResult(rewrite, queued.removed)
                                      : IniRemoval{IniRemoval::Failed, 0, false});
    queued_.clear();
    path_.clear();
    return results;
}

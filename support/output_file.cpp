// support/output_file.cpp: opens a file the program writes for people and scripts to read (the removal
// log, the plan, the crash report) without being carried onto another file by a link.
#include "support/output_file.h"

#include "support/windows_family.h"

const char *LinkedFileReason(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!::GetFileInformationByHandle(file, &information))
        return nullptr; // nothing to judge by: the open itself already refused what it could
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return "the path is a link to another file";
    if (information.nNumberOfLinks > 1)
        return "the file has more than one hard link";
    return nullptr;
}

HANDLE OpenOutputFile(const char *path, DWORD access, DWORD share, bool truncate, const char *&reason)
{
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself rather than what it points at, so the check
    // below sees the link, and nothing reached through it has been created or emptied yet. The
    // Windows 95 family has no links and does not know the flag.
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (IsNtFamily() ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    const HANDLE file = ::CreateFileA(path, access, share, nullptr, OPEN_ALWAYS, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        reason = "cannot be opened";
        return INVALID_HANDLE_VALUE;
    }
    reason = LinkedFileReason(file);
    if (reason == nullptr && truncate && (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 || !::SetEndOfFile(file)))
        reason = "cannot be opened";
    if (reason == nullptr)
        return file;
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

const char *WriteOutputText(const char *path, const char *text)
{
    const char *reason = nullptr;
    const HANDLE file = OpenOutputFile(path, GENERIC_WRITE, FILE_SHARE_READ, true, reason);
    if (file == INVALID_HANDLE_VALUE)
        return reason;
    // Written a line at a time: the text is as long as a report is, and no buffer of ours holds it twice.
    bool whole = true;
    for (const char *line = text; *line != '\0' && whole;)
    {
        const char *end = line;
        while (*end != '\0' && *end != '\n')
            ++end;
        DWORD written = 0;
        const DWORD length = static_cast<DWORD>(end - line);
        whole = (length == 0 || (::WriteFile(file, line, length, &written, nullptr) && written == length));
        if (whole && *end == '\n')
            whole = ::WriteFile(file, "\r\n", 2, &written, nullptr) && written == 2;
        line = *end == '\n' ? end + 1 : end;
    }
    ::CloseHandle(file);
    return whole ? nullptr : "cannot be written";
}

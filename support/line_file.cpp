// support/line_file.cpp: text files read and written over Win32 handles, as the C runtime's text mode
// treats them, for the line functions.
#include "support/line_file.h"

namespace
{

// Large enough that a big log costs few reads, small enough to stay out of the working set's way.
constexpr size_t kChunkBytes = 64 * 1024;

} // namespace

bool FileLineSource::Open(const char *path)
{
    Close();
    handle_ = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return IsOpen();
}

void FileLineSource::Close()
{
    if (IsOpen())
        (void)::CloseHandle(handle_); // a file only read: nothing is lost when closing fails
    handle_ = INVALID_HANDLE_VALUE;
    filePointer_ = 0;
    Reset();
}

bool FileLineSource::Load(uint64_t offset, const char *&window, size_t &length)
{
    length = 0;
    if (!IsOpen())
        return true; // a file that could not be opened reads as empty, as a failed stream reads
    if (offset != filePointer_)
    {
        LONG high = static_cast<LONG>(offset >> 32);
        const DWORD low = ::SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
        if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
            return false;
        filePointer_ = offset;
    }
    buffer_.resize(kChunkBytes);
    DWORD read = 0;
    if (!::ReadFile(handle_, buffer_.data(), static_cast<DWORD>(buffer_.size()), &read, nullptr))
        return false;
    filePointer_ += read;
    window = buffer_.data();
    length = read;
    return true;
}

bool WriteTextFile(const char *path, const std::string &text)
{
    const HANDLE file = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (const char c : text)
    {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    DWORD written = 0;
    const bool whole =
        bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                          written == bytes.size());
    return (::CloseHandle(file) != FALSE) && whole;
}

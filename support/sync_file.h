// support/sync_file.h: a file over a Win32 handle whose reads are serialised and whose failures stick.
#pragma once

#include <windows.h>

#include <cstdint>

// Open flags, combined by OR.
constexpr uint32_t SF_READ = 1;     // GENERIC_READ
constexpr uint32_t SF_WRITE = 2;    // GENERIC_WRITE
constexpr uint32_t SF_CREATE = 4;   // CREATE_ALWAYS
constexpr uint32_t SF_EXISTING = 8; // OPEN_EXISTING unless SF_CREATE; with neither, OPEN_ALWAYS

// Failures are not reported one by one: the first sets the error flag, after which Read and Size
// return 0 and Seek does nothing. The owner checks IsOpen() or HasError() when it cares.
class SyncFile
{
public:
    SyncFile();
    ~SyncFile();
    SyncFile(const SyncFile &) = delete;
    SyncFile &operator=(const SyncFile &) = delete;

    // Called once per object; takes no lock. Returns what CreateFileA returned.
    HANDLE Open(const char *fileName, uint32_t flags);
    // Moves to position bytes from the start; does nothing once the error flag is set.
    void Seek(int32_t position);
    // Reads count bytes at position (a negative position reads where the file stands) as one step
    // under the lock. Returns the bytes read: 0 without reading when the error flag is set, -1 when
    // ReadFile fails; a short read returns what it got and sets the error flag.
    int32_t Read(void *buffer, uint32_t count, int32_t position);
    // The file's size (low 32 bits); 0 when the error flag is set; INVALID_FILE_SIZE on failure.
    uint32_t Size();
    void Close();

    bool IsOpen() const { return open_ != 0; }
    bool HasError() const { return error_ != 0; }

private:
    HANDLE handle_;
    int32_t open_;
    int32_t error_;
    CRITICAL_SECTION lock_;
};

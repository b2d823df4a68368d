// support/sync_file.cpp: a file over a Win32 handle whose reads are serialised and whose failures stick.
#include "support/sync_file.h"

#include "support/error_state.h"

namespace
{

// Takes the lock only while no fatal error is being handled: a thread that the error facility has
// parked may hold it, and the exit must never wait for that thread. The decision is made once, so
// the lock is left exactly when it was taken.
class ErrorAwareLock
{
public:
    explicit ErrorAwareLock(CRITICAL_SECTION &lock) : lock_(lock), taken_(CurrentErrorState() == ErrorState::None)
    {
        if (taken_)
            ::EnterCriticalSection(&lock_);
    }
    ~ErrorAwareLock()
    {
        if (taken_)
            ::LeaveCriticalSection(&lock_);
    }
    ErrorAwareLock(const ErrorAwareLock &) = delete;
    ErrorAwareLock &operator=(const ErrorAwareLock &) = delete;

private:
    CRITICAL_SECTION &lock_;
    bool taken_;
};

} // namespace

SyncFile::SyncFile() : handle_(INVALID_HANDLE_VALUE), open_(0), error_(0)
{
    ::InitializeCriticalSection(&lock_);
}

SyncFile::~SyncFile()
{
    {
        ErrorAwareLock guard(lock_);
        Close();
    }
    ::DeleteCriticalSection(&lock_);
}

HANDLE SyncFile::Open(const char *fileName, uint32_t flags)
{
    DWORD access = 0;
    if (flags & SF_READ)
        access |= GENERIC_READ;
    if (flags & SF_WRITE)
        access |= GENERIC_WRITE;
    DWORD disposition = OPEN_ALWAYS;
    if (flags & SF_CREATE)
        disposition = CREATE_ALWAYS;
    else if (flags & SF_EXISTING)
        disposition = OPEN_EXISTING;

    handle_ = ::CreateFileA(fileName, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool valid = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
    open_ = valid ? 1 : 0;
    error_ = valid ? 0 : 1;
    return handle_;
}

void SyncFile::Seek(int32_t position)
{
    if (error_)
        return;
    if (::SetFilePointer(handle_, position, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        error_ = 1;
}

int32_t SyncFile::Read(void *buffer, uint32_t count, int32_t position)
{
    if (error_)
        return 0;
    ErrorAwareLock guard(lock_);
    if (position >= 0)
    {
        Seek(position);
        if (error_)
            return 0;
    }
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, count, &got, nullptr))
    {
        error_ = 1;
        return -1;
    }
    if (got < count)
        error_ = 1;
    return static_cast<int32_t>(got);
}

uint32_t SyncFile::Size()
{
    if (error_)
        return 0;
    const DWORD size = ::GetFileSize(handle_, nullptr);
    if (size == INVALID_FILE_SIZE)
        error_ = 1;
    return size;
}

void SyncFile::Close()
{
    if (!open_)
        return;
    if (!::CloseHandle(handle_))
        error_ = 1;
    open_ = 0;
}

// support/scope_closer.h: closes a handle, a registry key or a file search when its scope ends.
#pragma once

#include <windows.h>

// Holds what an opening call gave and closes it with Close when the scope ends; null and
// INVALID_HANDLE_VALUE, what the opening calls give on failure, are never closed. Close's result is not
// read: a handle whose closing can lose data (a file written) is closed by hand, where it is read.
template <typename Handle, auto Close> class ScopeCloser
{
public:
    ScopeCloser() = default;
    explicit ScopeCloser(Handle handle) : handle_(handle) {}
    ~ScopeCloser()
    {
        if (handle_ != nullptr && handle_ != reinterpret_cast<Handle>(INVALID_HANDLE_VALUE))
            (void)Close(handle_);
    }
    ScopeCloser(const ScopeCloser &) = delete;
    ScopeCloser &operator=(const ScopeCloser &) = delete;

    operator Handle() const { return handle_; }
    // Where a call hands the handle back through a pointer (RegOpenKeyExA's last parameter).
    Handle *Receive() { return &handle_; }

private:
    Handle handle_ = nullptr;
};

using KeyCloser = ScopeCloser<HKEY, ::RegCloseKey>;
using HandleCloser = ScopeCloser<HANDLE, ::CloseHandle>;

// support/windows_family.cpp: tells the NT family of Windows from the Windows 95 family.
#include "support/windows_family.h"

#include <windows.h>

#include <atomic>

namespace
{

enum Family : int
{
    kUnknown,
    kNt,
    kWindows95
};

// Two threads detecting at once find the same answer: a plain atomic store is enough.
std::atomic<int> g_family{kUnknown};

} // namespace

bool IsNtFamily()
{
    int family = g_family.load();
    if (family == kUnknown)
    {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version; // 148: the plain structure, which every family knows
        const bool nt = ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
        family = nt ? kNt : kWindows95;
        g_family.store(family);
    }
    return family == kNt;
}

void SetNtFamilyForTest(bool isNt)
{
    g_family.store(isNt ? kNt : kWindows95);
}

// support/windows_family.cpp: tells the NT family of Windows from the Windows 95 family.
#include "support/windows_family.h"

#include <windows.h>

bool DetectNtFamily()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version; // 148: the plain structure, which every family knows
    return ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

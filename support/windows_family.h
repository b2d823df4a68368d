// support/windows_family.h: tells the NT family of Windows from the Windows 95 family.
#pragma once

// True when GetVersionExA succeeds and reports VER_PLATFORM_WIN32_NT; false on the Windows 95
// family and when the call fails. Cheap enough to call once per object that needs it.
bool DetectNtFamily();

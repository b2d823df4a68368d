// support/windows_family.h: tells the NT family of Windows from the Windows 95 family.
#pragma once

// True when GetVersionExA succeeds and reports VER_PLATFORM_WIN32_NT; false on the Windows 95
// family and when the call fails. Detected on the first call, from any thread, and remembered: every
// part of the program that differs between the families reads it here.
bool IsNtFamily();

// Makes IsNtFamily answer isNt from now on, so that a test runs the other family's road in-process.
void SetNtFamilyForTest(bool isNt);

// uninstall/context.h: the one process-wide record of the run's shared state.
#pragma once

#include "support/buffer_sizes.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <fstream>

static_assert(sizeof(wchar_t) == 2, "user-interface text is UTF-16");

// Filled by the preparation, read by the wizard and the removal worker; zero at start and never
// freed. Text fields are fixed arrays, terminated; ANSI texts are in the system's ANSI code page.
struct UninstallContext
{
    HINSTANCE instance;
    char installDir[kTextChars];     // ends in a backslash; empty when the command line named none usable
    char ownProgramPath[kTextChars]; // the running uninstaller, scheduled for removal at the end
    char optionText[kPathChars];     // the first option token, upper-cased during preparation
    char logPath[kPathChars];
    char wideLogPath[kPathChars];
    std::ifstream logStream; // text mode; after preparation it stands at the first record
    char ansiTitle[kTextChars];
    wchar_t displayTitle[kTextChars];
    char productKey[kKeyChars];
    char systemIniPath[kPathChars];
    std::atomic<bool> restartNeeded; // RestartNeeded: raised only by an INI rewrite on the Windows 95 family
    HWND sheetWindow;
    HWND pageWindow;
    int32_t linesRead;
    int32_t linesTotal;
    int systemFileAnswer; // 0 ask, 1 delete all further system files, 2 keep them
    HFONT headingFont;
    HFONT bodyFont;
};

extern UninstallContext g_context;

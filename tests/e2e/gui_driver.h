// tests/e2e/gui_driver.h: runs a program and drives its windows from outside, as a user would:
// records every top-level window it shows and answers dialogs and message boxes by their text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DriverAnswer
{
    std::string match; // UTF-8 text that the window's caption or one of its controls contains
    int button;        // the control to press: IDYES, IDNO, IDOK, IDCANCEL or a dialog's own id
};

struct DriverOptions
{
    std::wstring program;    // full path of the program
    std::wstring arguments;  // appended after the quoted program path
    std::wstring currentDir; // empty: this process's
    std::vector<DriverAnswer> answers;
    DWORD timeoutMs = 120000; // the program is ended and the run marked timed out after this
};

struct ObservedWindow
{
    std::string className; // UTF-8
    std::string caption;
    std::vector<std::string> texts; // the texts of its child controls, in z-order
    int pressed = 0;                // the button the driver pressed, 0 for none
};

struct DriverResult
{
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::vector<ObservedWindow> windows; // in the order they appeared
};

DriverResult DriveProgram(const DriverOptions &options);

// "yes", "no", "ok", "cancel" or a number; 0 when it is none of these.
int ButtonFromName(const std::string &name);

std::string ToUtf8(const std::wstring &text);
std::wstring FromUtf8(const std::string &text);

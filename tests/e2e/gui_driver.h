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
    DWORD timeoutMs = 120000;  // the program is ended and the run marked timed out after this
    bool finishWizard = false; // press Finish once it has stayed enabled for a moment
    // With finishWizard: press Finish as soon as it is enabled while the page shows its success text,
    // look every 10 ms rather than every 100 and leave the progress bar alone, so that a timed run
    // ends when the program's own work does.
    bool finishAtOnce = false;
    bool tryCancel = false;  // press Cancel when the wizard appears and again before Finish
    bool tryClosing = false; // before answering a dialog, try Escape and the close box on it
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
    std::vector<int> progress;           // the progress bar's positions as sampled, each change once
    ObservedWindow wizardAtEnd;          // the wizard just before Finish was pressed
    bool finishPressed = false;
    int cancelsRefused = 0; // Cancel presses after which the wizard was still there
    int closesRefused = 0;  // dialogs still open after Escape and the close box
};

DriverResult DriveProgram(const DriverOptions &options);

// "yes", "no", "ok", "cancel" or a number; 0 when it is none of these.
int ButtonFromName(const std::string &name);

std::string ToUtf8(const std::wstring &text);
std::wstring FromUtf8(const std::string &text);

// tests/e2e/gui_driver.h: runs a program and drives its windows from outside, as a user would:
// records every top-level window it shows and answers dialogs and message boxes by their text.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct ObservedWindow;

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
    // With finishWizard: press Finish as soon as the page is done (Finish enabled, the progress bar
    // at 100 and the success text shown), look every 10 ms rather than every 100 and sample the
    // progress bar only then, so that a timed run ends when the program's own work does.
    bool finishAtOnce = false;
    bool tryCancel = false;  // press Cancel when the wizard appears and again before Finish
    bool tryClosing = false; // before answering a dialog, try Escape and the close box on it
    // A held run: a program of the log creates heldFile once it runs and then waits until
    // releaseFile exists. When heldFile appears while the wizard is up, the driver records the
    // wizard (DriverResult::wizardHeld), tries Cancel and the close box on it, then creates
    // releaseFile.
    std::wstring heldFile;
    std::wstring releaseFile;
    // Before each answer and before Finish, load fit_probe.dll (beside the driver) into the program
    // and keep its report in DriverResult::fit.
    bool measureFit = false;
    // Called with a window's observation just before its answer is pressed: a test looks at the
    // machine while the program waits on the question.
    std::function<void(const ObservedWindow &)> beforeAnswer;
};

struct ObservedWindow
{
    std::string className; // UTF-8
    std::string caption;
    std::vector<std::string> texts; // the texts of its visible child controls, in z-order, and a list's lines
    LONG style = 0;                 // GWL_STYLE and GWL_EXSTYLE when the driver looked at it
    LONG exStyle = 0;
    // For a message box, the MB_ flags the program passed; -1 for any other window or when they
    // could not be read.
    long messageBoxStyle = -1;
    int pressed = 0;       // the button the driver pressed, 0 for none
    int missingButton = 0; // an answer's button that the window does not have: nothing was pressed
};

// The wizard as the driver saw it at one moment.
struct WizardState
{
    ObservedWindow window;
    int progress = -1; // the progress bar's position
    bool finishEnabled = false;
    bool successShown = false;  // the page's success text is visible
    bool cancelRefused = false; // still there after Cancel was pressed
    bool closeRefused = false;  // still there after its close box was used
};

struct DriverResult
{
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::vector<ObservedWindow> windows; // in the order they appeared
    std::vector<int> progress;           // the progress bar's positions as sampled, each change once
    ObservedWindow wizardAtEnd;          // the wizard just before Finish was pressed
    bool finishFocused = false;          // then Finish had the keyboard focus: Enter would press it
    bool finishPressed = false;
    int cancelsRefused = 0; // Cancel presses after which the wizard was still there
    int closesRefused = 0;  // dialogs still open after Escape and the close box
    bool held = false;      // heldFile appeared while the wizard was up: wizardHeld is what it showed
    WizardState wizardHeld;
    // With measureFit, one line per text the program showed at each of those moments: "fits" or
    // "cut", the control's class, the size the text needs with the control's font, the size it has,
    // and the text. A probe that could not report leaves a line beginning "probe failed".
    std::vector<std::string> fit;
    // An answer named a button that its window does not have: nothing was pressed and the program
    // was ended (exit code 255), so that a wrong answer can never pass for a right one.
    bool answerRefused = false;
};

DriverResult DriveProgram(const DriverOptions &options);

// "yes", "no", "ok", "cancel" or a number; 0 when it is none of these.
int ButtonFromName(const std::string &name);

// The first window the run showed with exactly this caption; nullptr when there was none.
const ObservedWindow *FindWindowByCaption(const DriverResult &result, const std::string &caption);
// Whether one of the window's texts is exactly text.
bool WindowShows(const ObservedWindow &window, const std::string &text);

std::string ToUtf8(const std::wstring &text);
std::wstring FromUtf8(const std::string &text);

// ui/wizard.h: the one-page wizard that shows the removal, and what the dialogs share.
#pragma once

#include "ui/language.h"

#include <windows.h>

#include <cstdint>

// One control's text: the language string it shows and whether it takes the heading font.
struct DialogTextRow
{
    int32_t controlId;
    LangString stringNumber;
    int32_t headingFont;
};

// The window class UNINSTALL_CLASS that the dialog resources name; registered before either is shown.
void RegisterUninstallClass(HINSTANCE instance);
LRESULT CALLBACK UninstallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The fonts the wizard and the dialogs share: Arial, bold for headings. CreateUiFonts makes them before
// the first dialog (which may come before the wizard) and DeleteUiFonts as the process ends; until then
// and afterwards WizardFonts holds nulls, which leave each control its template's font.
struct UiFonts
{
    HFONT heading;
    HFONT body;
};
void CreateUiFonts();
void DeleteUiFonts();
UiFonts WizardFonts();

// Centres the window's client area on the screen and shows it; makes it topmost when asked.
void CenterWindowOnScreen(HWND window, bool topmost);

// Gives each row's control its language string and font.
void SetDialogTexts(HWND dialog, int count, const DialogTextRow *rows);

// Widens each of the row's buttons (control ids, in any order) whose text is wider than the button,
// measured with its font, and moves the others so the row keeps its gaps, within the window: from its
// right edge leftwards when keepRightEdge, else about its middle. A row whose texts fit is left alone.
void FitButtonRow(HWND parent, const int *ids, int count, bool keepRightEdge);

// Puts the language string number, expanded, on the wizard's Finish button; nothing before the sheet is shown.
void SetFinishText(LangString number);

// Shows text (UTF-16) under the page's success text, which moves up to make room: what the removal
// left behind. Called at the end of the removal, from any thread.
void ShowLeftBehind(HWND page, const wchar_t *text);

// The removal's own record, which the wizard only carries to onPageReady.
struct RemovalSetup;

// Called on the main thread once the page is set up and its progress bar has its range; sheet is the
// wizard's window, which owns the Finish button, and lives until Finish is pressed.
using PageReady = void (*)(HWND sheet, HWND page, const RemovalSetup &setup);

// Shows the wizard modally, from the resources of instance and with title (UTF-16) as its caption and
// the page's, and calls onPageReady (the removal's start) with setup from the page's set-up. Returns
// when the user pressed Finish: true when the page was set up and onPageReady called, false when the
// wizard could not be shown.
bool RunWizard(HINSTANCE instance, const wchar_t *title, const RemovalSetup &setup, PageReady onPageReady);

int CALLBACK WizardSheetCallback(HWND sheet, UINT message, LPARAM data);
INT_PTR CALLBACK WizardPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

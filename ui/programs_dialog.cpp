// ui/programs_dialog.cpp: the question about the running programs that use the product's files.
#include "ui/programs_dialog.h"

#include "ui/language.h"
#include "ui/resource.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"

#include <cstdio>
#include <cstring>

namespace
{

struct DialogText
{
    int controlId;
    LangString stringNumber;
    const wchar_t *english; // for a language file written before the string existed
    bool heading;
};

const DialogText kTexts[] = {
    {IDC_IN_USE_HEADING, kStringInUseHeading, L"Programs are using files of %p", true},
    {IDC_IN_USE_TEXT, kStringInUseText,
     L"The programs below use files that the uninstallation removes. Close them, then press Retry. Ignore goes on: "
     L"their files are removed at the next restart. Cancel ends the uninstallation with nothing changed.",
     false},
    {IDRETRY, kStringRetry, L"&Retry", false},
    {IDIGNORE, kStringIgnore, L"&Ignore", false},
    {IDCANCEL, kStringCancel, L"Cancel", false},
};

struct DialogState
{
    std::vector<RunningProgram> *programs;
    const std::function<std::vector<RunningProgram>()> *findAgain;
};

void FillList(HWND dialog, const std::vector<RunningProgram> &programs)
{
    wchar_t process[64];
    GetLangStringOr(kStringProcess, L"process", sizeof process / sizeof process[0], process);
    (void)WideSendDlgItemMessage(dialog, IDC_IN_USE_LIST, LB_RESETCONTENT, 0, 0); // it has no result
    for (const RunningProgram &program : programs)
    {
        wchar_t name[kTitleChars];
        ProgramDisplayName(program, name);
        wchar_t item[kTitleChars + 96];
        std::swprintf(item, sizeof item / sizeof item[0], L"%ls (%ls %lu)", name, process,
                      static_cast<unsigned long>(program.processId));
        (void)WideSendDlgItemMessage(dialog, IDC_IN_USE_LIST, LB_ADDSTRING, 0,
                                     reinterpret_cast<LPARAM>(item)); // a line that does not fit is left out
    }
}

void OnInit(HWND dialog, DialogState *state)
{
    (void)WideSetWindowLong(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state)); // read back by the commands
    wchar_t text[kTextChars];
    GetLangStringOr(kStringInUseCaption, L"Files in use", kTextChars, text);
    (void)WideSetWindowText(dialog, text); // a dialog without its caption still asks
    const UiFonts fonts = WizardFonts();
    for (const DialogText &row : kTexts)
    {
        GetLangStringOr(row.stringNumber, row.english, kTextChars, text);
        (void)WideSetDlgItemText(dialog, row.controlId, text);
        const HFONT font = row.heading ? fonts.heading : fonts.body;
        (void)WideSendDlgItemMessage(dialog, row.controlId, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    (void)WideSendDlgItemMessage(dialog, IDC_IN_USE_LIST, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.body), TRUE);
    // A language's button texts can be wider than the buttons: they widen, the row keeps its right edge.
    const int buttons[] = {IDRETRY, IDIGNORE, IDCANCEL};
    FitButtonRow(dialog, buttons, sizeof buttons / sizeof buttons[0], true);
    FillList(dialog, *state->programs);
    CenterWindowOnScreen(dialog, true);
}

INT_PTR CALLBACK ProgramsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        OnInit(dialog, reinterpret_cast<DialogState *>(lParam));
        return TRUE;
    case WM_COMMAND: {
        DialogState *const state = reinterpret_cast<DialogState *>(::GetWindowLongPtrA(dialog, DWLP_USER));
        switch (LOWORD(wParam))
        {
        case IDRETRY: {
            const HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
            *state->programs = (*state->findAgain)();
            ::SetCursor(previous);
            if (state->programs->empty())
                ::EndDialog(dialog, static_cast<INT_PTR>(ProgramsAnswer::NoneLeft));
            else
                FillList(dialog, *state->programs);
            return TRUE;
        }
        case IDIGNORE:
            ::EndDialog(dialog, static_cast<INT_PTR>(ProgramsAnswer::Ignore));
            return TRUE;
        case IDCANCEL: // Escape and the close box too: the answer that changes nothing
            ::EndDialog(dialog, static_cast<INT_PTR>(ProgramsAnswer::Cancel));
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

} // namespace

ProgramsAnswer AskAboutProgramsInUse(HINSTANCE instance, std::vector<RunningProgram> &programs,
                                     const std::function<std::vector<RunningProgram>()> &findAgain)
{
    DialogState state{&programs, &findAgain};
    const INT_PTR answer = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROGRAMS_IN_USE), nullptr,
                                             ProgramsDialogProc, reinterpret_cast<LPARAM>(&state));
    switch (answer)
    {
    case static_cast<INT_PTR>(ProgramsAnswer::NoneLeft):
        return ProgramsAnswer::NoneLeft;
    case static_cast<INT_PTR>(ProgramsAnswer::Ignore):
        return ProgramsAnswer::Ignore;
    default:
        return ProgramsAnswer::Cancel;
    }
}

void ProgramDisplayName(const RunningProgram &program, wchar_t (&name)[kTitleChars])
{
    if (program.title[0] != L'\0')
    {
        std::wcsncpy(name, program.title, kTitleChars - 1);
        name[kTitleChars - 1] = L'\0';
        return;
    }
    const char *slash = std::strrchr(program.programPath, '\\');
    const char *file = slash != nullptr ? slash + 1 : program.programPath;
    if (WideMultiByteToWideChar(CP_ACP, 0, file, -1, name, kTitleChars) == 0)
        name[0] = L'\0';
    name[kTitleChars - 1] = L'\0';
}

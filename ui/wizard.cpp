// ui/wizard.cpp: the one-page wizard that shows the removal, and what the dialogs share.
#include "ui/wizard.h"

#include "ui/language.h"
#include "ui/resource.h"
#include "ui/wide_functions.h"

#include <commctrl.h>
#include <prsht.h>

namespace
{

constexpr int kTextUnits = 1024;

// The property sheet's own buttons.
constexpr int kSheetBack = 0x3023;
constexpr int kSheetNext = 0x3024;
constexpr int kSheetFinish = 0x3025;

const DialogTextRow kPageTexts[] = {{IDC_HEADING, kStringPageHeading, 1},
                                    {IDC_INTRODUCTION, kStringPageIntroduction, 0},
                                    {IDC_PLEASE_WAIT, kStringPleaseWait, 0},
                                    {IDC_SUCCESS_TEXT, kStringSuccess, 0}};

// What the page's set-up hands on, carried to it in the page's lParam: its title, the caller's removal
// and whether it was started.
struct PageStart
{
    const wchar_t *title;
    PageReady onPageReady;
    const RemovalSetup *setup;
    bool started;
};

// The sheet, set by its callback before the page is set up and read afterwards, also by the worker
// that the set-up starts (its thread's creation makes the write visible to it). Null until the sheet
// is shown: messages to it then go nowhere.
HWND g_sheetWindow = nullptr;
// Made before the first dialog, deleted as the process ends (see CreateUiFonts); read by every thread
// in between.
UiFonts g_fonts = {};

HFONT CreateArial(LONG height, LONG weight)
{
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_STROKE_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_DONTCARE;
    ::lstrcpynA(font.lfFaceName, "Arial", LF_FACESIZE);
    return ::CreateFontIndirectA(&font);
}

// What a push button needs beside its text: its edges and the focus rectangle inside them.
constexpr int kButtonPadding = 12;
// The least room kept between two buttons, and between a button and the window's edge.
constexpr int kButtonGap = 4;

// The width the button's text needs with the button's own font, padding included; 0 when the text
// cannot be read or measured (the button then keeps its width).
int NeededButtonWidth(HWND button)
{
    wchar_t text[kTextUnits] = L"";
    (void)WideSendMessage(button, WM_GETTEXT, kTextUnits, reinterpret_cast<LPARAM>(text));
    // The '&' of a mnemonic is not drawn.
    wchar_t shown[kTextUnits];
    int length = 0;
    for (const wchar_t *c = text; *c != L'\0'; ++c)
    {
        if (*c == L'&' && c[1] != L'\0')
            ++c;
        shown[length++] = *c;
    }
    if (length == 0)
        return 0;
    const HDC dc = ::GetDC(button);
    if (dc == nullptr)
        return 0;
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(button, WM_GETFONT, 0, 0)));
    SIZE size = {};
    const BOOL measured = ::GetTextExtentPoint32W(dc, shown, length, &size);
    (void)::SelectObject(dc, old); // it gives back the font this code put in
    (void)::ReleaseDC(button, dc); // a DC not released is released with the window
    return measured ? size.cx + kButtonPadding : 0;
}

struct RowButton
{
    HWND window;
    RECT place; // in the parent's client coordinates
};

void SetDialogResult(HWND page, LONG_PTR result)
{
    // It returns the value it replaces; a page that cannot set its answer has no other way to give it.
    (void)WideSetWindowLong(page, DWLP_MSGRESULT, result);
}

bool IsCurrentPage(HWND page)
{
    return reinterpret_cast<HWND>(::SendMessageA(g_sheetWindow, PSM_GETCURRENTPAGEHWND, 0, 0)) == page;
}

INT_PTR OnPageNotify(HWND page, const NMHDR &header)
{
    switch (header.code)
    {
    case PSN_SETACTIVE:
        // Finish stays disabled until the removal worker has gone through the whole log.
        // Posting fails only to a sheet that is gone or whose queue is full: nothing is left to do then.
        (void)::PostMessageA(g_sheetWindow, PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
        SetFinishText(kStringFinish);
        return 0;
    case PSN_WIZFINISH:
        if (!IsCurrentPage(page))
            return 0;
        SetDialogResult(page, 0);
        return TRUE;
    case PSN_QUERYCANCEL:
        // A half-done uninstallation leaves a product that neither works nor can be removed again.
        if (!IsCurrentPage(page))
            return 0;
        SetDialogResult(page, TRUE);
        return TRUE;
    default:
        return 0;
    }
}

void OnPageInit(HWND page, PageStart &start)
{
    CenterWindowOnScreen(g_sheetWindow, false);
    SetDialogTexts(page, sizeof kPageTexts / sizeof kPageTexts[0], kPageTexts);
    (void)WideSetWindowText(page, start.title); // a page without its title still removes the product
    CenterWindowOnScreen(page, true);
    (void)::SendDlgItemMessageA(page, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100)); // it returns the old range
    start.onPageReady(g_sheetWindow, page, *start.setup);
    start.started = true;
}

} // namespace

LRESULT CALLBACK UninstallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The class is registered with wide texts where the system has them; the ANSI procedure would
    // read a wide caption as ANSI and keep only its first letter.
    if (::IsWindowUnicode(window))
        return WideDefDlgProc(window, message, wParam, lParam);
    return ::DefDlgProcA(window, message, wParam, lParam);
}

void RegisterUninstallClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC | CS_DBLCLKS;
    windowClass.lpfnWndProc = UninstallWindowProc;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_UNINSTALL));
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = L"" UNINSTALL_CLASS;
    windowClass.hIconSm = windowClass.hIcon;
    // Without the class the dialogs that name it cannot be created; their creation is where that shows.
    (void)WideRegisterClassEx(&windowClass);
}

void CreateUiFonts()
{
    g_fonts.heading = CreateArial(-14, FW_BOLD);
    g_fonts.body = CreateArial(-12, FW_NORMAL);
}

void DeleteUiFonts()
{
    // The process ends next and takes its objects with it: a font left over costs nothing.
    if (g_fonts.heading != nullptr)
        (void)::DeleteObject(g_fonts.heading);
    if (g_fonts.body != nullptr)
        (void)::DeleteObject(g_fonts.body);
    g_fonts = UiFonts{};
}

UiFonts WizardFonts()
{
    return g_fonts;
}

void FitButtonRow(HWND parent, const int *ids, int count, bool keepRightEdge)
{
    // Left to right, as they stand; a button that is missing or hidden takes no room.
    RowButton row[8];
    int buttons = 0;
    for (int i = 0; i < count && buttons < 8; ++i)
    {
        const HWND button = ::GetDlgItem(parent, ids[i]);
        if (button == nullptr || !::IsWindowVisible(button))
            continue;
        RowButton entry = {button, {}};
        (void)::GetWindowRect(button, &entry.place);
        (void)::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&entry.place), 2);
        int at = buttons++;
        for (; at > 0 && row[at - 1].place.left > entry.place.left; --at)
            row[at] = row[at - 1];
        row[at] = entry;
    }
    if (buttons == 0)
        return;
    int widths[8];
    int growth = 0;
    for (int i = 0; i < buttons; ++i)
    {
        const int width = row[i].place.right - row[i].place.left;
        const int needed = NeededButtonWidth(row[i].window);
        widths[i] = needed > width ? needed : width;
        growth += widths[i] - width;
    }
    if (growth == 0)
        return; // every text fits: the row stays as it was drawn
    RECT client = {};
    (void)::GetClientRect(parent, &client);
    const int oldLeft = row[0].place.left;
    const int oldRight = row[buttons - 1].place.right;
    // The gaps as drawn; when the wider buttons need their room, narrowed from the left down to the
    // least gap.
    int gaps[8] = {};
    for (int i = 1; i < buttons; ++i)
        gaps[i] = row[i].place.left - row[i - 1].place.right;
    int total = oldRight - oldLeft + growth;
    const int room = client.right - client.left - 2 * kButtonGap;
    for (int i = 1; i < buttons && total > room; ++i)
    {
        const int spare = gaps[i] > kButtonGap ? gaps[i] - kButtonGap : 0;
        const int take = spare < total - room ? spare : total - room;
        gaps[i] -= take;
        total -= take;
    }
    int left = keepRightEdge ? oldRight - total : oldLeft - growth / 2;
    if (left + total > client.right - kButtonGap)
        left = client.right - kButtonGap - total;
    if (left < client.left + kButtonGap)
        left = client.left + kButtonGap;
    for (int i = 0; i < buttons; ++i)
    {
        left += gaps[i];
        // A button left where it was still works; only its text is cut.
        (void)::SetWindowPos(row[i].window, nullptr, left, row[i].place.top, widths[i],
                             row[i].place.bottom - row[i].place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        left += widths[i];
    }
}

void CenterWindowOnScreen(HWND window, bool topmost)
{
    RECT client = {};
    (void)::GetClientRect(window, &client); // a failure leaves it empty: the corner is centred instead
    const int x = (::GetSystemMetrics(SM_CXSCREEN) + client.left - client.right) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) + client.top - client.bottom) / 2;
    // A window left where it opened works all the same.
    (void)::SetWindowPos(window, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | (topmost ? 0 : SWP_NOZORDER));
}

void SetDialogTexts(HWND dialog, int count, const DialogTextRow *rows)
{
    for (int i = 0; i < count; ++i)
    {
        wchar_t text[kTextUnits];
        GetLangString(rows[i].stringNumber, kTextUnits, text);
        // A control that keeps its template's text or font still says what it is for; WM_SETFONT has
        // no result.
        (void)WideSetDlgItemText(dialog, rows[i].controlId, text);
        const HFONT font = rows[i].headingFont != 0 ? g_fonts.heading : g_fonts.body;
        (void)WideSendDlgItemMessage(dialog, rows[i].controlId, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

void SetFinishText(LangString number)
{
    wchar_t text[kTextUnits];
    wchar_t expanded[kTextUnits];
    GetLangString(number, kTextUnits, text);
    ExpandLangText(expanded, kTextUnits, text);
    // The message has no result.
    (void)WideSendMessage(g_sheetWindow, PSM_SETFINISHTEXTW, 0, reinterpret_cast<LPARAM>(expanded));
    // A long product title or language makes the text wider than the button: the row of the sheet's
    // buttons widens it, keeping its right edge where the system put it.
    const int sheetButtons[] = {kSheetBack, kSheetNext, kSheetFinish, IDCANCEL, IDHELP};
    FitButtonRow(g_sheetWindow, sheetButtons, sizeof sheetButtons / sizeof sheetButtons[0], true);
}

int CALLBACK WizardSheetCallback(HWND sheet, UINT message, LPARAM data)
{
    if (message == PSCB_PRECREATE && data != 0)
    {
        // No help button in the caption: there is no help to give.
        WORD *words = reinterpret_cast<WORD *>(data);
        DWORD *style = words[1] == 0xFFFF ? reinterpret_cast<DWORD *>(words + 6) : reinterpret_cast<DWORD *>(words);
        *style &= ~static_cast<DWORD>(DS_CONTEXTHELP);
    }
    else if (message == PSCB_INITIALIZED)
    {
        g_sheetWindow = sheet;
    }
    return 1;
}

INT_PTR CALLBACK WizardPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    switch (message)
    {
    case WM_INITDIALOG:
        // The page's lParam is the one RunWizard gave its template: its own PageStart.
        OnPageInit(page, *reinterpret_cast<PageStart *>(reinterpret_cast<const PROPSHEETPAGEW *>(lParam)->lParam));
        return TRUE;
    case WM_NOTIFY:
        return OnPageNotify(page, *reinterpret_cast<const NMHDR *>(lParam));
    case WM_CLOSE:
        return TRUE;
    default:
        return 0;
    }
}

void ShowLeftBehind(HWND page, const wchar_t *text)
{
    // Just below the progress bar; the left-behind text's own place in the template is under it.
    RECT place = {19, 126, 279, 8};
    // Best effort, as for every control of the page: the removal is over by now, and there is nothing
    // else to do on failure. WM_SETFONT has no result and ShowWindow's says only whether the control
    // was visible before.
    (void)::MapDialogRect(page, &place);
    (void)::SetWindowPos(::GetDlgItem(page, IDC_SUCCESS_TEXT), nullptr, place.left, place.top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const HWND leftBehind = ::GetDlgItem(page, IDC_LEFT_BEHIND);
    (void)WideSetWindowText(leftBehind, text);
    (void)::SendMessageA(leftBehind, WM_SETFONT, reinterpret_cast<WPARAM>(g_fonts.body), TRUE);
    (void)::ShowWindow(leftBehind, SW_SHOW);
}

bool RunWizard(HINSTANCE instance, const wchar_t *title, const RemovalSetup &setup, PageReady onPageReady)
{
    PageStart start{title, onPageReady, &setup, false};
    PROPSHEETPAGEW page = {};
    page.dwSize = PROPSHEETPAGEW_V1_SIZE; // the oldest form, which every comctl32 accepts
    page.dwFlags = PSP_USETITLE;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEW(IDD_WIZARD_PAGE);
    page.pszTitle = title;
    page.pfnDlgProc = WizardPageProc;
    page.lParam = reinterpret_cast<LPARAM>(&start);

    PROPSHEETHEADERW header = {};
    header.dwSize = PROPSHEETHEADERW_V1_SIZE;
    header.dwFlags = PSH_WIZARD | PSH_PROPSHEETPAGE | PSH_USEICONID | PSH_USECALLBACK;
    header.hInstance = instance;
    header.pszIcon = MAKEINTRESOURCEW(IDI_UNINSTALL);
    header.pszCaption = title;
    header.nPages = 1;
    header.nStartPage = 0;
    header.ppsp = &page;
    header.pfnCallback = WizardSheetCallback;
    // The sheet ends only through Finish; the run goes on to its end from here whatever it returns.
    (void)::PropertySheetW(&header);
    return start.started;
}

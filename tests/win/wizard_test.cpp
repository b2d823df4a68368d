// The sheet callback takes the help button away whatever form the system's sheet template has:
// Wine's wizard template never asks for one, so the whole-program run cannot show that it goes.
#include "ui/wizard.h"

#include <gtest/gtest.h>

#include <prsht.h>

#include <cstring>

TEST(Wizard, SheetTemplateLosesOnlyItsHelpButtonInBothForms)
{
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

    // A plain template begins with its style, then its extended style.
    DWORD plain[6] = {style | DS_CONTEXTHELP, WS_EX_DLGMODALFRAME, 0x00010002, 0x00040003, 0, 0};
    EXPECT_EQ(1, WizardSheetCallback(nullptr, PSCB_PRECREATE, reinterpret_cast<LPARAM>(plain)));
    EXPECT_EQ(style, plain[0]);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_DLGMODALFRAME), plain[1]);

    // An extended one: version 1 and 0xFFFF, help id, extended style, then the style.
    WORD extended[16] = {1,
                         0xFFFF,
                         0x1111,
                         0x2222,
                         LOWORD(WS_EX_DLGMODALFRAME),
                         HIWORD(WS_EX_DLGMODALFRAME),
                         LOWORD(style | DS_CONTEXTHELP),
                         HIWORD(style | DS_CONTEXTHELP),
                         2,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0};
    WORD expected[16];
    std::memcpy(expected, extended, sizeof expected);
    expected[6] = LOWORD(style);
    EXPECT_EQ(1, WizardSheetCallback(nullptr, PSCB_PRECREATE, reinterpret_cast<LPARAM>(extended)));
    EXPECT_EQ(0, std::memcmp(expected, extended, sizeof expected));
}

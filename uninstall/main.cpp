// uninstall/main.cpp: the uninstaller's entry point.
#include "support/buffer_sizes.h"
#include "ui/language.h"
#include "uninstall/context.h"
#include "uninstall/startup.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_context.instance = instance;
    PrepareUninstall();
    // Fetched now: the worker deletes lang.ini, and the question comes after the wizard.
    wchar_t restartText[kTextChars];
    wchar_t restartCaption[kKeyChars];
    GetLangString(97, kTextChars, restartText);
    GetLangString(96, kKeyChars, restartCaption);
    // Next come the wizard with the removal worker, the own file's removal at restart and the
    // restart question with these texts (wizard and deferred removal issues).
    ExitUninstaller();
}

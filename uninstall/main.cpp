// uninstall/main.cpp: the uninstaller's entry point.
#include "uninstall/context.h"
#include "uninstall/startup.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_context.instance = instance;
    PrepareUninstall();
    // Next come the restart question's texts, the wizard with the removal worker, the own file's
    // removal at restart and the restart question (language, wizard and deferred removal issues).
    ExitUninstaller();
}

// tests/win/context_probe.cpp: reads its own command line as the uninstaller does and prints what
// it found, one field per line, for tests that need a real process command line.
#include "support/ascii_text.h"
#include "uninstall/command_line.h"
#include "uninstall/context.h"
#include "uninstall/startup.h"

#include <cstdio>

int main()
{
    ParseCommandLine();
    UpperCaseAscii(g_context.optionText);
    char keyName[kKeyChars];
    MissingLogKeyName(g_context.optionText, g_context.installDir, keyName, sizeof keyName);
    std::printf("installDir=%s\n", g_context.installDir);
    std::printf("ownProgramPath=%s\n", g_context.ownProgramPath);
    std::printf("option=%s\n", g_context.optionText);
    std::printf("keyName=%s\n", keyName);
    return 0;
}

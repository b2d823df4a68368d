// tests/e2e/drive_uninstall.cpp: the GUI driver as a command, for scripts.
//   drive_uninstall [--answer TEXT=yes|no|ok|cancel|ID]... [--finish] [--at-once] [--try-cancel]
//                   [--timeout SECONDS] [--cd DIR] PROGRAM [ARGS...]
// --at-once presses Finish as soon as the page says it is done (for timing; see DriverOptions).
// Prints each window the program showed (class, caption, control texts, a message box's MB_ flags,
// the button pressed) as UTF-8 lines, then "exit N", and exits with the program's exit code (255 when
// it could not run, timed out, or an answer named a button that its window does not have).
#include "gui_driver.h"

#include <cstdio>
#include <cstdlib>
#include <shellapi.h>

int main()
{
    int argc = 0;
    wchar_t **argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    DriverOptions options;
    int i = 1;
    for (; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        if (arg == L"--answer" && i + 1 < argc)
        {
            const std::string spec = ToUtf8(argv[++i]);
            const size_t equals = spec.rfind('=');
            if (equals == std::string::npos)
                continue;
            options.answers.push_back({spec.substr(0, equals), ButtonFromName(spec.substr(equals + 1))});
        }
        else if (arg == L"--timeout" && i + 1 < argc)
            options.timeoutMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10) * 1000);
        else if (arg == L"--finish")
            options.finishWizard = true;
        else if (arg == L"--at-once")
            options.finishAtOnce = true;
        else if (arg == L"--try-cancel")
            options.tryCancel = true;
        else if (arg == L"--cd" && i + 1 < argc)
            options.currentDir = argv[++i];
        else
            break;
    }
    if (i >= argc)
    {
        std::fprintf(stderr, "usage: drive_uninstall [--answer TEXT=BUTTON]... [--finish] [--at-once] [--try-cancel] "
                             "[--timeout S] [--cd DIR] PROGRAM [ARGS]\n");
        return 255;
    }
    options.program = argv[i++];
    for (; i < argc; ++i)
        options.arguments += (options.arguments.empty() ? L"\"" : L" \"") + std::wstring(argv[i]) + L"\"";

    const DriverResult result = DriveProgram(options);
    if (!result.started)
    {
        std::printf("could not start %s (error %lu)\n", ToUtf8(options.program).c_str(), ::GetLastError());
        return 255;
    }
    for (const ObservedWindow &window : result.windows)
    {
        std::printf("window [%s] \"%s\"\n", window.className.c_str(), window.caption.c_str());
        for (const std::string &text : window.texts)
            std::printf("  text \"%s\"\n", text.c_str());
        if (window.messageBoxStyle >= 0)
            std::printf("  message box style 0x%lX\n", window.messageBoxStyle);
        if (window.pressed != 0)
            std::printf("  pressed %d\n", window.pressed);
        if (window.missingButton != 0)
            std::printf("  has no button %d: nothing pressed, the program ended\n", window.missingButton);
    }
    if (!result.progress.empty())
    {
        std::printf("progress");
        for (int position : result.progress)
            std::printf(" %d", position);
        std::printf("\n");
    }
    if (result.finishPressed)
    {
        std::printf("wizard at the end [%s] \"%s\"\n", result.wizardAtEnd.className.c_str(),
                    result.wizardAtEnd.caption.c_str());
        for (const std::string &text : result.wizardAtEnd.texts)
            std::printf("  text \"%s\"\n", text.c_str());
        std::printf("  pressed Finish\n");
    }
    if (options.tryCancel)
        std::printf("cancel refused %d times\n", result.cancelsRefused);
    if (result.timedOut || result.answerRefused)
    {
        std::printf(result.timedOut ? "timed out\n" : "answer refused\n");
        return 255;
    }
    std::printf("exit %lu\n", result.exitCode);
    std::fflush(stdout);
    return static_cast<int>(result.exitCode);
}

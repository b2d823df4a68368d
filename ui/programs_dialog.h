// ui/programs_dialog.h: the question about the running programs that use the product's files.
#pragma once

#include "system/running_programs.h"

#include <functional>
#include <vector>

enum class ProgramsAnswer
{
    // Not 0 or -1, which the dialog's creation returns when it fails.
    NoneLeft = 1, // Retry found nobody any more
    Ignore,       // go on: their files wait for the restart
    Cancel,       // end the run with nothing changed (Cancel, Escape or the close box)
};

// Lists programs, in the dialog from the resources of instance, and waits for the person. Retry calls
// findAgain and ends the question when it finds nobody; otherwise the list shows what it found, which
// programs then holds. Returns Cancel when the dialog cannot be shown: nothing has been changed yet, and
// nothing is then removed under a program that nobody was told about.
ProgramsAnswer AskAboutProgramsInUse(HINSTANCE instance, std::vector<RunningProgram> &programs,
                                     const std::function<std::vector<RunningProgram>()> &findAgain);

// How the list and the removal log name a program: its main window's title, else its file name.
void ProgramDisplayName(const RunningProgram &program, wchar_t (&name)[kTitleChars]);

// uninstall/path_macros_win.h: expands the path macros with this run's directories and values.
#pragma once

#include "support/buffer_sizes.h"

// Expands path in place (see ExpandMacroText) with the installation directory and product key of
// g_context, the Windows and system directories, and the Program Files directory. A result that
// does not fit leaves path empty, so that nothing is opened under a cut name.
void ExpandPathMacros(char (&path)[kPathChars]);

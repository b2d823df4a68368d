// support/version.h: the program's version, for its version resource and its removal log. Plain
// defines: the resource compiler reads this file too.
#pragma once

#define UNINSTALL_VERSION_NUMBERS 1, 1, 0, 0
#define UNINSTALL_VERSION_TEXT "1.1.0.0"

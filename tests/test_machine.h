// tests/test_machine.h: the looks at the machine that Win32 and whole-program tests share, in one
// include: its files, its registry, the programs a test starts, and putting it back afterwards.
#pragma once

#include "tests/child_process.h"
#include "tests/machine_files.h"
#include "tests/machine_registry.h"
#include "tests/machine_restore.h"

// The standard streams came with this header when it held the code itself; tests still take them from it.
#include <fstream>

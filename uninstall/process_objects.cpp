// uninstall/process_objects.cpp: the process-wide objects, defined in one place so that they are
// constructed in this order before WinMain runs and destroyed in the reverse order at exit. Objects
// in different translation units would be built in whatever order the linker chose.
#include "system/registry_access.h"
#include "ui/language.h"
#include "uninstall/context.h"

// The crash handler and the main thread's record come first (support library issue).

// Holds the log stream, constructed closed.
UninstallContext g_context;

// The language tables, empty until the preparation loads lang.ini.
UnicodeIni g_langStrings;
UnicodeIni g_namedStrings;

// The error facility's pending list and timer and the run log's directory come here, in this order,
// as their modules arrive.

// The removal worker's registry access, with no key prefix.
RegistryAccess g_registry(nullptr);

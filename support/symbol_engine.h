// support/symbol_engine.h: the system's debug-help library, loaded at run time, and the module list
// that it is fed with; the crash report and the error diagnostics name functions and modules with it.
#pragma once

#include <windows.h>

#include <dbghelp.h>

#include <cstddef>

// The 32-bit program walks with the 32-bit records and functions; the 64-bit build of the same
// sources with their 64-bit forms, which the same names stand for in <dbghelp.h>.
using SymAddress = decltype(STACKFRAME{}.AddrPC.Offset);

// Loads dbghelp.dll, else imagehlp.dll, from the system directory and resolves its nine functions,
// all or none. Tried once per process; true when the functions are there.
bool LoadSymbolLibrary();

// Feeds every module of the process to the symbol engine. Runs again and again: at installation,
// in the crash filter and before every description and frame, so modules loaded since are known.
void SymbolEngineInit();
// Ends the engine's session if SymbolEngineInit loaded modules into it.
void SymbolEngineCleanup();

// The base address of the module that holds address; 0 when unknown or without the library.
SymAddress SymbolModuleBase(SymAddress address);

// The name of the function at address and the distance into it. False, with name empty, when the
// library or the symbol is missing. The name is cut to fit and terminated.
bool SymbolAt(SymAddress address, char *name, size_t nameChars, int &displacement);

// The source file and line at address. False, with file empty, when unknown or when dbghelp.dll is
// not the library in use. The file name is cut to fit and terminated.
bool SourceLineAt(SymAddress address, char *file, size_t fileChars, int &line, int &displacement);

// One step of the stack walk over frame and context (which the walk updates). False at the end of
// the stack, when the walk fails or without the library.
bool WalkStackStep(STACKFRAME &frame, CONTEXT &context);

// The module handles (base addresses) of a process: NT 4 asks PSAPI.DLL, every other system the
// toolhelp functions. With capacity 0 only the count is given. Fails with last error
// ERROR_INVALID_PARAMETER for pointers that cannot be written, ERROR_DLL_INIT_FAILED when the
// functions are missing, ERROR_INSUFFICIENT_BUFFER when more modules than the capacity exist; the
// count is set in every case it can be learnt. Success sets last error 0.
BOOL EnumModules(DWORD processId, DWORD capacity, HMODULE *handles, DWORD *count);

// The file name of module (nullptr: the program) without its directory, cut to size - 1 characters
// and terminated. Returns its length; 0 with buffer empty when unknown.
DWORD ModuleBaseName(HANDLE process, HMODULE module, char *buffer, DWORD size);

// The table of functions bound at run time: every name is one the system exports, taken from the
// system directory, and an entry that stands for a library the process has not loaded stays unbound.
#include "support/bound_functions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace
{

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ModuleDirectoryOf(HMODULE module)
{
    char path[MAX_PATH] = "";
    const DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    const std::string full(path, length < sizeof path ? length : 0);
    return Lower(full.substr(0, full.find_last_of('\\') + 1));
}

} // namespace

TEST(BoundFunctions, EveryEntryResolvesFromTheSystemDirectory)
{
    char system[MAX_PATH] = "";
    ::GetSystemDirectoryA(system, sizeof system);
    const std::string systemDirectory = Lower(std::string(system) + "\\");
    // A misspelt name would leave its feature silently off: each must be found where the table says.
    for (int i = 0; i < static_cast<int>(BoundFunction::SymGetLineFromAddr64); ++i)
    {
        const BoundFunction entry = static_cast<BoundFunction>(i);
        EXPECT_NE(nullptr, ResolveBoundFunction(entry)) << "entry " << i;
        EXPECT_EQ(systemDirectory, ModuleDirectoryOf(BoundFunctionSource(entry))) << "entry " << i;
    }
    // Source lines come only from a dbghelp the symbol engine loaded itself.
    if (::GetModuleHandleA("dbghelp.dll") == nullptr)
    {
        EXPECT_EQ(nullptr, ResolveBoundFunction(BoundFunction::SymGetLineFromAddr64));
        EXPECT_EQ(nullptr, ::GetModuleHandleA("dbghelp.dll")) << "looking it up loaded it";
    }
    EXPECT_EQ(nullptr, ResolveBoundFunction(BoundFunction::Count));
}

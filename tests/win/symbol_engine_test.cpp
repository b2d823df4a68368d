// The module list and module names, in this process.
#include "support/symbol_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(SymbolEngine, EnumModulesCountsFillsAndRefuses)
{
    const DWORD self = ::GetCurrentProcessId();
    DWORD count = 0;
    ASSERT_TRUE(EnumModules(self, 0, nullptr, &count));
    ASSERT_GT(count, 2u);

    std::vector<HMODULE> modules(count + 8);
    DWORD listed = 0;
    ::SetLastError(12345);
    ASSERT_TRUE(EnumModules(self, static_cast<DWORD>(modules.size()), modules.data(), &listed));
    EXPECT_EQ(0u, ::GetLastError());
    modules.resize(listed);
    EXPECT_NE(modules.end(), std::find(modules.begin(), modules.end(), ::GetModuleHandleA(nullptr)));
    EXPECT_NE(modules.end(), std::find(modules.begin(), modules.end(), ::GetModuleHandleA("kernel32.dll")));

    HMODULE one[1] = {};
    EXPECT_FALSE(EnumModules(self, 1, one, &listed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), ::GetLastError());
    EXPECT_EQ(count, listed); // the count is learnt all the same

    EXPECT_FALSE(EnumModules(self, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError());
    EXPECT_FALSE(EnumModules(self, 4, nullptr, &listed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError());
}

TEST(SymbolEngine, ModuleBaseNameIsTheFileNameCutToTheBuffer)
{
    char name[MAX_PATH];
    EXPECT_EQ(19u, ModuleBaseName(::GetCurrentProcess(), nullptr, name, sizeof name));
    EXPECT_STREQ("win_error_tests.exe", name);
    char small[5];
    EXPECT_EQ(4u, ModuleBaseName(::GetCurrentProcess(), nullptr, small, sizeof small));
    EXPECT_STREQ("win_", small);
    ModuleBaseName(::GetCurrentProcess(), ::GetModuleHandleA("kernel32.dll"), name, sizeof name);
    EXPECT_STREQ("kernel32.dll", CharLowerA(name));
}

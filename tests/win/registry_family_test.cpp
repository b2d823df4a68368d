// Key deletion with subkeys on both families of Windows: the NT family through the shell's tree
// deletion, the Windows 95 family through its own RegDeleteKeyA, in a probe that Wine runs as
// Windows 98.
#include "registry_test_keys.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr char kProbe[] = "registry_probe.exe";
constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\registry_probe.exe";

std::string ProbePath()
{
    return test_machine::ModuleDirectory() + kProbe;
}

// Runs the probe on a registry path; its exit code, or -1 when it did not run.
long RunProbe(const std::string &path)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Unquoted: a backslash before a closing quote would escape it. Sandbox paths hold no spaces.
    std::string commandLine = "\"" + ProbePath() + "\" " + path;
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    ::WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    return static_cast<long>(code);
}

// Wine reports the Windows version of this key's program to it while the key exists.
class Windows98Mode
{
public:
    Windows98Mode()
    {
        restore_.KeepKey(HKEY_CURRENT_USER, kAppDefaults);
        SetString(HKEY_CURRENT_USER, kAppDefaults, "Version", "win98");
    }

private:
    test_machine::MachineRestore restore_;
};

void MakeProducts(const SandboxKey &sandbox)
{
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product\\Sub\\Deeper"), "Value", "x");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product"), "DisplayName", "x");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other\\Sub"), "DisplayName", "x");
}

} // namespace

TEST(RegistryFamilies, DeleteKeyTakesSubkeysOnBothFamiliesAndNeverTheParent)
{
    {
        SandboxKey sandbox("nt");
        MakeProducts(sandbox);
        EXPECT_EQ(2, RunProbe(sandbox.Path("Uninstall\\"))); // NT family, refused
        EXPECT_EQ(3, RunProbe(sandbox.Path("Uninstall\\Product")));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other\\Sub")));
    }
    {
        SandboxKey sandbox("win98");
        MakeProducts(sandbox);
        const Windows98Mode win98;
        // The Windows 95 family's RegDeleteKeyA deletes a whole tree: an empty key name there would
        // have taken the Uninstall key with every product in it.
        EXPECT_EQ(0, RunProbe(sandbox.Path("Uninstall\\")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other\\Sub")));
        EXPECT_EQ(1, RunProbe(sandbox.Path("Uninstall\\Product")));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other\\Sub")));
    }
}

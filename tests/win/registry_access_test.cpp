// Registry access by textual path on the real registry: reads, writes, deletions and the pruning of
// emptied keys; key deletion also on the Windows 95 family, in a probe that Wine runs as Windows 98.
#include "system/registry_access.h"

#include "registry_test_keys.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

DWORD QueryType(HKEY root, const std::string &subkey, const char *valueName)
{
    HKEY key = nullptr;
    DWORD type = REG_NONE;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS)
    {
        ::RegQueryValueExA(key, valueName, nullptr, &type, nullptr, nullptr);
        ::RegCloseKey(key);
    }
    return type;
}

constexpr char kProbeAppDefaults[] = "Software\\Wine\\AppDefaults\\registry_probe.exe";

// Runs registry_probe.exe on a registry path: its exit code, or -1 when it did not run to its end.
long RunRegistryProbe(const std::string &path)
{
    // Unquoted: a backslash before a closing quote would escape it. Sandbox paths hold no spaces.
    return test_machine::RunAndWait("\"" + test_machine::ModuleDirectory() + "registry_probe.exe\" " + path, "", 60000);
}

// Wine reports the Windows version of this key's program to it while the key exists.
class Windows98Mode
{
public:
    Windows98Mode()
    {
        restore_.KeepKey(HKEY_CURRENT_USER, kProbeAppDefaults);
        SetString(HKEY_CURRENT_USER, kProbeAppDefaults, "Version", "win98");
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

TEST(RegistryAccess, PathsWithoutAKnownRootOrASplitTouchNothing)
{
    SandboxKey sandbox("roots");
    SetString(HKEY_CURRENT_USER, sandbox.Subkey(), "Value", "data");
    const RegistryAccess registry(nullptr);
    char buffer[64];

    // The same value through a lower-case root, and a root alone, are not registry paths.
    const std::string lower = "hkey_current_user\\" + sandbox.Sub("Value");
    for (const std::string &path : {lower, std::string("HKEY_LOCAL_MACHINE"), std::string("HKEY_CURRENT_USER\\")})
    {
        EXPECT_EQ(0u, registry.ReadValue(path.c_str(), buffer, sizeof buffer)) << path;
        EXPECT_EQ(0u, registry.GetValueSize(path.c_str())) << path;
        EXPECT_FALSE(registry.ValueExists(path.c_str())) << path;
        EXPECT_FALSE(registry.DeleteValue(path.c_str())) << path;
        EXPECT_FALSE(registry.DeleteKey(path.c_str())) << path;
        EXPECT_FALSE(registry.WriteMultiString(path.c_str(), "a\0", 3)) << path;
    }
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, sandbox.Subkey(), "Value"));
    EXPECT_TRUE(registry.ValueExists(sandbox.Path("Value").c_str()));

    // A key directly below a root has no split: it is neither deleted nor written to.
    char top[MAX_PATH];
    std::snprintf(top, sizeof top, "UninstallTestsTop-%lu", ::GetCurrentProcessId());
    CreateKey(HKEY_CURRENT_USER, std::string(top) + "\\Child");
    EXPECT_FALSE(registry.DeleteKey((std::string("HKEY_CURRENT_USER\\") + top).c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(top) + "\\Child"));
    EXPECT_FALSE(registry.WriteMultiString((std::string("HKEY_CURRENT_USER\\x") + top).c_str(), "a\0", 3));
    EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, "", top));
    ::SHDeleteKeyA(HKEY_CURRENT_USER, top);
}

TEST(RegistryAccess, ValueReadsAndMultiStringWrites)
{
    SandboxKey sandbox("values");
    const RegistryAccess registry(nullptr);
    SetString(HKEY_CURRENT_USER, sandbox.Subkey(), "Text", "abcdef");
    SetString(HKEY_CURRENT_USER, sandbox.Subkey(), nullptr, "unnamed");

    char buffer[16] = {};
    EXPECT_EQ(7u, registry.ReadValue(sandbox.Path("Text").c_str(), buffer, sizeof buffer));
    EXPECT_STREQ("abcdef", buffer);
    EXPECT_EQ(7u, registry.ReadValue(sandbox.Path("Text").c_str(), buffer, 7));
    EXPECT_EQ(0u, registry.ReadValue(sandbox.Path("Text").c_str(), buffer, 6)); // does not fit
    EXPECT_EQ(7u, registry.GetValueSize(sandbox.Path("Text").c_str()));
    EXPECT_EQ(0u, registry.GetValueSize(sandbox.Path("Missing").c_str()));
    EXPECT_FALSE(registry.ValueExists(sandbox.Path("Missing").c_str()));
    EXPECT_FALSE(registry.ValueExists(sandbox.Path("NoKey\\Text").c_str()));

    // "(default)" in any letter case, and an empty last component, reach the unnamed value.
    for (const char *name : {"(default)", "(DEFAULT)", "(DeFault)", ""})
    {
        std::memset(buffer, 0, sizeof buffer);
        EXPECT_EQ(8u, registry.ReadValue(sandbox.Path(name).c_str(), buffer, sizeof buffer)) << name;
        EXPECT_STREQ("unnamed", buffer);
        EXPECT_TRUE(registry.ValueExists(sandbox.Path(name).c_str())) << name;
    }

    // The key chain is made on the way; the bytes go in exactly as given.
    const char data[] = "one\0two\0"; // with the array's own terminator: the closing empty string
    ASSERT_TRUE(registry.WriteMultiString(sandbox.Path("New\\Chain\\List").c_str(), data, sizeof data));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), QueryType(HKEY_CURRENT_USER, sandbox.Sub("New\\Chain"), "List"));
    char back[16] = {};
    EXPECT_EQ(sizeof data, registry.ReadValue(sandbox.Path("New\\Chain\\List").c_str(), back, sizeof back));
    EXPECT_EQ(0, std::memcmp(data, back, sizeof data));
}

TEST(RegistryAccess, DeletingTheUnnamedValuePrunesItsKey)
{
    SandboxKey sandbox("unnamed");
    const RegistryAccess registry(nullptr);
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Keep"), "Other", "x");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Keep\\Only"), nullptr, "unnamed");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Keep\\Cased"), nullptr, "unnamed");
    CreateKey(HKEY_CURRENT_USER, sandbox.Sub("Keep\\NoUnnamed"));

    // A record ending in a backslash: the unnamed value goes, and its key with it.
    EXPECT_TRUE(registry.DeleteValue(sandbox.Path("Keep\\Only\\").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Keep\\Only")));
    EXPECT_TRUE(registry.DeleteValue(sandbox.Path("Keep\\Cased\\(DEFAULT)").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Keep\\Cased")));
    // Without an unnamed value nothing changes, not even in an empty key.
    EXPECT_FALSE(registry.DeleteValue(sandbox.Path("Keep\\NoUnnamed\\").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Keep\\NoUnnamed")));
    EXPECT_FALSE(registry.DeleteValue(sandbox.Path("Keep\\NoUnnamed\\Missing").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Keep\\NoUnnamed")));
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, sandbox.Sub("Keep"), "Other"));
}

TEST(RegistryAccess, PruningClimbsEmptiedKeysAndStopsAtAFullOneOrBelowTheRoot)
{
    const RegistryAccess registry(nullptr);
    // Three levels below the root: the leaf and the middle key go, the first-level key stays.
    char top[MAX_PATH];
    std::snprintf(top, sizeof top, "UninstallTestsPrune-%lu", ::GetCurrentProcessId());
    const std::string topKey = top;
    SetString(HKEY_CURRENT_USER, topKey + "\\Mid\\Leaf", "Value", "x");
    EXPECT_TRUE(registry.DeleteValue(("HKEY_CURRENT_USER\\" + topKey + "\\Mid\\Leaf\\Value").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, topKey + "\\Mid"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, topKey));
    ::SHDeleteKeyA(HKEY_CURRENT_USER, top);

    SandboxKey sandbox("prune");
    // A key holding a value stops the climb; so does one holding another subkey.
    SetString(HKEY_CURRENT_USER, sandbox.Sub("A"), "Stay", "x");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("A\\B\\C"), "Value", "x");
    CreateKey(HKEY_CURRENT_USER, sandbox.Sub("A\\B\\Sibling"));
    EXPECT_TRUE(registry.DeleteValue(sandbox.Path("A\\B\\C\\Value").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("A\\B\\C")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("A\\B\\Sibling")));
    SetString(HKEY_CURRENT_USER, sandbox.Sub("A\\D"), "Value", "x");
    EXPECT_TRUE(registry.DeleteValue(sandbox.Path("A\\D\\Value").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("A\\D")));
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, sandbox.Sub("A"), "Stay"));

    // Names longer than the enumeration buffer still count: such a key is not empty.
    const std::string longName(150, 'L');
    SetString(HKEY_CURRENT_USER, sandbox.Sub("E\\F"), "Value", "x");
    CreateKey(HKEY_CURRENT_USER, sandbox.Sub("E\\" + longName));
    SetString(HKEY_CURRENT_USER, sandbox.Sub("G\\H"), "Value", "x");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("G"), longName.c_str(), "x");
    EXPECT_TRUE(registry.DeleteValue(sandbox.Path("E\\F\\Value").c_str()));
    EXPECT_TRUE(registry.DeleteValue(sandbox.Path("G\\H\\Value").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("E\\" + longName)));
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, sandbox.Sub("G"), longName.c_str()));
}

TEST(RegistryAccess, DeleteKeyTakesTheSubtreeButNeverTheParentsOtherChildren)
{
    SandboxKey sandbox("deletekey");
    const RegistryAccess registry(nullptr);
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product\\Sub\\Deeper"), "Value", "x");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product"), "DisplayName", "x");
    SetString(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other"), "DisplayName", "x");

    EXPECT_TRUE(registry.DeleteKey(sandbox.Path("Uninstall\\Product").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product")));
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other"), "DisplayName"));
    EXPECT_FALSE(registry.DeleteKey(sandbox.Path("Uninstall\\Product").c_str())); // already gone

    // An empty key name would name the Uninstall key itself, with every product in it.
    EXPECT_FALSE(registry.DeleteKey(sandbox.Path("Uninstall\\").c_str()));
    EXPECT_FALSE(registry.DeleteKey(sandbox.Path("Uninstall\\\\").c_str()));
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other"), "DisplayName"));

    // A key name longer than a value name may be, as long as the registry allows one.
    const std::string longKey(200, 'K');
    CreateKey(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\" + longKey + "\\Sub"));
    EXPECT_TRUE(registry.DeleteKey(sandbox.Path("Uninstall\\" + longKey).c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\" + longKey)));

    // The last product gone, the emptied Uninstall key is pruned.
    EXPECT_TRUE(registry.DeleteKey(sandbox.Path("Uninstall\\Other").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall")));
}

TEST(RegistryAccess, DeleteKeyTakesSubkeysOnBothFamiliesAndNeverTheParent)
{
    {
        SandboxKey sandbox("nt");
        MakeProducts(sandbox);
        EXPECT_EQ(2, RunRegistryProbe(sandbox.Path("Uninstall\\"))); // NT family, refused
        EXPECT_EQ(3, RunRegistryProbe(sandbox.Path("Uninstall\\Product")));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other\\Sub")));
    }
    {
        SandboxKey sandbox("win98");
        MakeProducts(sandbox);
        const Windows98Mode win98;
        // The Windows 95 family's RegDeleteKeyA deletes a whole tree: an empty key name there would
        // have taken the Uninstall key with every product in it.
        EXPECT_EQ(0, RunRegistryProbe(sandbox.Path("Uninstall\\")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other\\Sub")));
        EXPECT_EQ(1, RunRegistryProbe(sandbox.Path("Uninstall\\Product")));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Product")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Uninstall\\Other\\Sub")));
    }
}

TEST(RegistryAccess, OverLongNamesAreRefusedRatherThanCutToAnotherName)
{
    SandboxKey sandbox("long");
    const RegistryAccess registry(nullptr);
    // A value whose name is the first 99 characters of a longer one must not be taken for it.
    const std::string cut(99, 'v');
    SetString(HKEY_CURRENT_USER, sandbox.Subkey(), cut.c_str(), "x");
    EXPECT_FALSE(registry.DeleteValue(sandbox.Path(cut + "v").c_str()));
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, sandbox.Subkey(), cut.c_str()));
    EXPECT_TRUE(registry.ValueExists(sandbox.Path(cut).c_str()));

    const std::string longSubkey(1100, 's');
    EXPECT_FALSE(registry.ValueExists(("HKEY_CURRENT_USER\\Software\\" + longSubkey + "\\v").c_str()));
    EXPECT_FALSE(registry.WriteMultiString(("HKEY_CURRENT_USER\\Software\\" + longSubkey + "\\v").c_str(), "", 1));

    // Prefix, backslash and subkey hold at most 255 characters for the DWORD operations.
    const RegistryAccess prefixed(sandbox.Subkey().c_str());
    const std::string fits(255 - sandbox.Subkey().size() - 1, 'd');
    EXPECT_TRUE(prefixed.WriteDword(HKEY_CURRENT_USER, fits.c_str(), "Count", 3));
    EXPECT_EQ(3u, prefixed.ReadDword(HKEY_CURRENT_USER, fits.c_str(), "Count", 9));
    EXPECT_FALSE(prefixed.WriteDword(HKEY_CURRENT_USER, (fits + "d").c_str(), "Count", 3));
    EXPECT_EQ(9u, prefixed.ReadDword(HKEY_CURRENT_USER, (fits + "d").c_str(), "Count", 9));
}

TEST(RegistryAccess, DwordReadsWritesAndDeletionByRoot)
{
    SandboxKey sandbox("dword");
    const RegistryAccess registry(nullptr);
    const std::string counts = sandbox.Sub("Shared\\Counts");

    EXPECT_EQ(static_cast<DWORD>(-1), registry.ReadDword(HKEY_CURRENT_USER, counts.c_str(), "lib.dll", -1));
    ASSERT_TRUE(registry.WriteDword(HKEY_CURRENT_USER, counts.c_str(), "lib.dll", 2));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), QueryType(HKEY_CURRENT_USER, counts, "lib.dll"));
    EXPECT_EQ(2u, registry.ReadDword(HKEY_CURRENT_USER, counts.c_str(), "lib.dll", -1));

    // Another type that fits in 4 bytes reads as 0; a longer one as the default.
    SetString(HKEY_CURRENT_USER, counts, "short", "abc");
    SetString(HKEY_CURRENT_USER, counts, "long", "abcdefgh");
    EXPECT_EQ(0u, registry.ReadDword(HKEY_CURRENT_USER, counts.c_str(), "short", 7));
    EXPECT_EQ(7u, registry.ReadDword(HKEY_CURRENT_USER, counts.c_str(), "long", 7));

    // "(default)" is an ordinary value name for the DWORD operations.
    SetString(HKEY_CURRENT_USER, counts, nullptr, "unnamed");
    ASSERT_TRUE(registry.WriteDword(HKEY_CURRENT_USER, counts.c_str(), "(default)", 5));
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, counts, "(default)"));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), QueryType(HKEY_CURRENT_USER, counts, nullptr));
    EXPECT_EQ(5u, registry.ReadDword(HKEY_CURRENT_USER, counts.c_str(), "(DEFAULT)", 0));

    // The key prefix goes before the subkey, with one backslash whether or not it ends in one.
    for (const std::string &prefix : {sandbox.Subkey(), sandbox.Subkey() + "\\"})
    {
        const RegistryAccess prefixed(prefix.c_str());
        EXPECT_EQ(2u, prefixed.ReadDword(HKEY_CURRENT_USER, "Shared\\Counts", "lib.dll", -1)) << prefix;
    }

    // Deletion by root ignores the prefix, translates "(default)" and prunes.
    const RegistryAccess prefixed("Nowhere");
    for (const char *name : {"lib.dll", "short", "long", "(Default)"})
        EXPECT_TRUE(prefixed.DeleteValueAndPrune(HKEY_CURRENT_USER, counts.c_str(), name)) << name;
    EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, counts, nullptr));
    EXPECT_FALSE(prefixed.DeleteValueAndPrune(HKEY_CURRENT_USER, counts.c_str(), "lib.dll"));
    // The value literally named "(default)" still holds the key.
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, counts, "(default)"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, counts.c_str(), 0, KEY_ALL_ACCESS, &key));
    ::RegDeleteValueA(key, "(default)");
    ::RegCloseKey(key);
    SetString(HKEY_CURRENT_USER, counts, "last", "x");
    EXPECT_TRUE(prefixed.DeleteValueAndPrune(HKEY_CURRENT_USER, counts.c_str(), "last"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox.Sub("Shared")));
}

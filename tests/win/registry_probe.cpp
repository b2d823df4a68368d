// Deletes the key named by its one argument and reports in its exit code what it saw: bit 0 set when
// the key was deleted, bit 1 set on the NT family. Run with Wine set to an older Windows, it shows
// what the Windows 95 family's branch does.
#include "support/windows_family.h"
#include "system/registry_access.h"

int main(int argc, char **argv)
{
    if (argc != 2)
        return 100;
    const RegistryAccess registry(nullptr);
    const bool deleted = registry.DeleteKey(argv[1]);
    return (IsNtFamily() ? 2 : 0) | (deleted ? 1 : 0);
}

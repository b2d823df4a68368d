// tests/machine_restore.h: puts back what a test changed on the machine, however the test ends.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace test_machine
{

// Puts back the parts of the machine that a test changes, as they stood when each was kept, when
// the guard goes: at the end of the test however it ends, a failed assertion included. The last
// kept is put back first. Putting back is best effort: its results are not checked, as there is no
// test left to fail.
class MachineRestore
{
public:
    MachineRestore() = default;
    ~MachineRestore();
    MachineRestore(const MachineRestore &) = delete;
    MachineRestore &operator=(const MachineRestore &) = delete;

    // A file's bytes, or that it was not there.
    MachineRestore &KeepFile(const std::string &path);

    // A key with its values and subkeys, or that it was not there.
    MachineRestore &KeepKey(HKEY root, const std::string &path);

    // One value of a key that stays, such as the pending renames of the session manager. Its bytes are
    // kept as stored: read and written through the wide calls, a list of paths in any script comes
    // back as it was.
    MachineRestore &KeepValue(HKEY root, const std::string &path, const std::string &name);

    // Anything else to put back, in the same order as the rest.
    MachineRestore &Later(std::function<void()> undo);

    MachineRestore &KeepCurrentDirectory();

private:
    std::vector<std::function<void()>> undo_;
};

} // namespace test_machine

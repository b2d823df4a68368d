// tests/e2e/machine_snapshot.h: everything a program could change on this machine, taken before and
// after it runs: every file under C:\ (path, size, times, attributes and a hash of its bytes) and
// every key and value of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
#pragma once

#include <map>
#include <string>
#include <vector>

struct MachineSnapshot
{
    std::map<std::string, std::string> files;    // path -> "size times attributes hash"
    std::map<std::string, std::string> registry; // key path or key path\value -> type and data
};

// Takes the snapshot; paths under any of skipped (prefixes, compared without regard to case) are
// left out, such as the file a test expects the program to write.
MachineSnapshot TakeMachineSnapshot(const std::vector<std::string> &skipped = {});

// One line per difference ("changed FILE", "added KEY\\VALUE", ...); empty when they are the same.
std::vector<std::string> SnapshotDifferences(const MachineSnapshot &before, const MachineSnapshot &after);

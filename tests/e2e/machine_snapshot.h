// tests/e2e/machine_snapshot.h: everything a program could change on this machine, taken before and
// after it runs: every file under C:\ (path, size, times, attributes and a hash of its bytes) and
// every key and value of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER as the registry exports them.
#pragma once

#include <map>
#include <string>
#include <vector>

// One entry of the file system. A directory's size, time and hash are left out: they change with its
// entries, which are compared themselves.
struct FileFacts
{
    unsigned long long size = 0;
    unsigned long long writeTime = 0;
    unsigned long attributes = 0;
    std::string hash; // "dir" for a directory
    bool operator==(const FileFacts &other) const
    {
        return size == other.size && writeTime == other.writeTime && attributes == other.attributes &&
               hash == other.hash;
    }
    bool operator!=(const FileFacts &other) const { return !(*this == other); }
};

// Paths and names are UTF-8. A value is keyed by its key's path, a backslash and its name (empty for
// the unnamed value); a key by its path alone, with "key" as its data.
struct MachineSnapshot
{
    std::map<std::string, FileFacts> files;      // "C:\dir\name" -> facts
    std::map<std::string, std::string> registry; // "HKEY_...\key[\value]" -> "key" or "<type>:<bytes>"
};

// Takes the snapshot; paths under any of skipped (prefixes, compared without regard to case) are
// left out, such as the file a test expects the program to write. A file's bytes are hashed again
// only when its size, write time or change time moved since this process last hashed it: the last
// of these is the file system's own and moves with every write, whatever the program sets its
// times to.
MachineSnapshot TakeMachineSnapshot(const std::vector<std::string> &skipped = {});

struct SnapshotChange
{
    enum Kind
    {
        Added,
        Removed,
        Changed,
    } kind;
    bool registry;    // a key or value; otherwise a file or directory
    std::string path; // as the snapshot keys it
};

// Every difference, files first, each in the order of its map.
std::vector<SnapshotChange> SnapshotChanges(const MachineSnapshot &before, const MachineSnapshot &after);

// "added PATH", "removed PATH" or "changed PATH".
std::string DescribeChange(const SnapshotChange &change);

// One line per difference ("changed FILE", "added KEY\\VALUE", ...); empty when they are the same.
std::vector<std::string> SnapshotDifferences(const MachineSnapshot &before, const MachineSnapshot &after);

// The registry value's type and bytes from a snapshot's data ("<type>:<bytes>"); false for a key or
// a missing entry.
bool SnapshotValue(const MachineSnapshot &snapshot, const std::string &path, unsigned long &type, std::string &bytes);

// Case-insensitive forms of paths and names, as Windows compares them: UTF-8 in upper case.
std::string UpperUtf8(const std::string &utf8);

// Text of a code page (CP_UTF8, CP_ACP) as UTF-16; empty for empty text.
std::wstring FromCodePage(const std::string &text, unsigned codePage);

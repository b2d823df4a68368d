// system/registry_access.h: every change and read the uninstaller makes in the registry, addressed by
// textual registry paths such as "HKEY_LOCAL_MACHINE\SOFTWARE\Maker\Product\Value".
#pragma once

#include "system/registry_path.h"

#include <windows.h>

#include <string>
#include <vector>

// Path operations parse their path (see ParseRegistryPath), open the key anew, and close it before
// returning; the object holds no key. Every one fails (0 or false) when the path has an unknown root,
// no split below the root, or a part too long for its buffer, when the key cannot be opened or
// created, or when the platform call fails. Value paths name the key's unnamed value with a last
// component of "(default)" in any letter case, or with an empty one (a path ending in a backslash).
class RegistryAccess
{
public:
    // keyPrefix (null or empty for none) is put before the subkey of ReadDword and WriteDword. On the
    // NT family the tree deletion of the shell's light-weight utility library is looked up by the first
    // DeleteKey.
    explicit RegistryAccess(const char *keyPrefix);
    RegistryAccess(const RegistryAccess &) = delete;
    RegistryAccess &operator=(const RegistryAccess &) = delete;

    // Returns the bytes stored in buffer; 0 on failure, and 0 when the value does not fit.
    DWORD ReadValue(const char *path, void *buffer, DWORD capacity) const;
    // Returns the size of the value's data in bytes; 0 on failure.
    DWORD GetValueSize(const char *path) const;
    bool ValueExists(const char *path) const;
    // Writes size bytes as REG_MULTI_SZ (the caller supplies the closing empty string), creating the
    // key chain when it is missing.
    bool WriteMultiString(const char *path, const void *data, DWORD size) const;
    // The NT family keeps a REG_MULTI_SZ as UTF-16, and other programs' texts in it may hold characters
    // no ANSI code page has: these two move it as it is stored. Reading returns false, with data
    // empty, when the value is missing, unreadable, of another type, or of an odd number of bytes (not
    // UTF-16 text: nothing in it can be edited safely). Writing stores units code units as
    // REG_MULTI_SZ, creating the key chain when it is missing.
    bool ReadMultiStringUtf16(const char *path, std::vector<char16_t> &data) const;
    bool WriteMultiStringUtf16(const char *path, const char16_t *data, size_t units) const;
    // Deletes the value and then every key it leaves empty, up to but never including the key
    // directly below the root. False when the value could not be deleted; nothing is pruned then.
    bool DeleteValue(const char *path) const;
    // DeleteValue with the system's answer: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when the value or its
    // key is not there, another error code when it could not be deleted; ERROR_INVALID_PARAMETER
    // for a refused path.
    LONG DeleteValueStatus(const char *path) const;
    // What DeleteValue would do, changing nothing: ERROR_SUCCESS when the value is there, with
    // prunedKeys the keys (below the root, in the order they would go) that its deletion would leave
    // empty and remove; otherwise the status DeleteValueStatus would give, with prunedKeys empty.
    LONG PlanDeleteValue(const char *path, std::vector<std::string> &prunedKeys) const;
    // Deletes the key named by the path's last component with all its subkeys, then prunes its
    // emptied ancestors. An empty last component is refused: it would name the parent key and with
    // it every sibling.
    bool DeleteKey(const char *path) const;

    // The key prefix, a backslash and subkey name the key; valueName goes to the platform as it is
    // ("(default)" is an ordinary name here). Returns the REG_DWORD value, 0 for a value of another
    // type that fits in 4 bytes, and otherwise defaultValue.
    DWORD ReadDword(HKEY root, const char *subkey, const char *valueName, DWORD defaultValue) const;
    bool WriteDword(HKEY root, const char *subkey, const char *valueName, DWORD value) const;
    // Deletes a value by root and subkey (the key prefix does not apply) and prunes as DeleteValue.
    bool DeleteValueAndPrune(HKEY root, const char *subkey, const char *valueName) const;

private:
    friend class ValueDeletions;

    LONG DeleteValueAndPruneStatus(HKEY root, const char *subkey, const char *valueName) const;
    bool PrefixedKey(const char *subkey, char *out, size_t outChars) const;
    void Prune(HKEY root, const char *keyPath, bool knownEmpty = false) const;

    bool isNt_;
    std::string keyPrefix_;
};

// Where a removal writes down, on the disk, each key whose values it begins to delete. Ended between a
// key's last value and its pruning, the removal leaves the key empty; a run started again finds the
// values not there, which by itself prunes nothing (the key may have been empty before the product
// came), and prunes the key only when it was written down. key: the root's number and the subkey.
class EmptiedKeyNotes
{
public:
    // line: the record of the first value; false when the note could not be written.
    virtual bool NoteKey(int32_t line, const char *key) = 0;
    virtual bool NotedEarlier(const char *key) const = 0;

protected:
    ~EmptiedKeyNotes() = default;
};

// Deletes values one after another as DeleteValueStatus does, with the same answers and the same keys
// pruned, at less cost: consecutive values of one key share one opening of it, and whether the key was
// left empty is decided once, when a value of another key comes or Settle is called, not after every
// value. Between two values of one key nothing but their deletions happens, so the key ends as empty,
// and is pruned as far, as it would be after its last value one deletion at a time. The owner calls
// Settle before it does anything else in between (another kind of change, a question, another program).
class ValueDeletions
{
public:
    explicit ValueDeletions(const RegistryAccess &registry, EmptiedKeyNotes *notes = nullptr)
        : registry_(registry), notes_(notes)
    {
    }
    ~ValueDeletions() { Settle(); }
    ValueDeletions(const ValueDeletions &) = delete;
    ValueDeletions &operator=(const ValueDeletions &) = delete;

    // Deletes the value: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when the value or its key is not there,
    // another error code when it could not be deleted or its key opened; ERROR_INVALID_PARAMETER for
    // a refused path. The key stays open for the next value. With notes, the key is written down
    // before its first value that is there goes (line: that value's record).
    LONG Delete(const char *path, int32_t line = 0);
    // Prunes the open key when a deletion left it empty, and closes it. Nothing happens when no key is
    // open.
    void Settle();

private:
    void NoteKey(const char *valueName, int32_t line);
    bool NotedEarlier() const;
    void PruneNearestAncestor() const;

    const RegistryAccess &registry_;
    EmptiedKeyNotes *notes_;
    bool noted_ = false;   // the key is written down, or needs no note
    bool held_ = false;    // root_ and subkey_ name the key of the last value
    LONG openStatus_ = 0;  // the answer of the key's opening; key_ is open when it is ERROR_SUCCESS
    bool deleted_ = false; // a value of the key was deleted
    HKEY root_ = nullptr;
    HKEY key_ = nullptr;
    char subkey_[kRegistrySubkeyChars] = "";
};

// The removal worker's instance, with no key prefix; it lives from before WinMain until the process
// ends and is defined with the other process-wide objects.
extern RegistryAccess g_registry;

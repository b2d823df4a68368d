// tests/win/registry_test_keys.h: sandbox keys for tests that work on the real registry.
#pragma once

#include <windows.h>

#include <shlwapi.h>

#include "tests/test_machine.h"

#include <cstdio>
#include <string>

// A key of its own below HKEY_CURRENT_USER\Software, removed with its whole tree at the end.
class SandboxKey
{
public:
    explicit SandboxKey(const char *purpose)
    {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "Software\\UninstallTests-%lu-%s", ::GetCurrentProcessId(), purpose);
        subkey_ = name;
        ::SHDeleteKeyA(HKEY_CURRENT_USER, subkey_.c_str());
    }
    ~SandboxKey() { ::SHDeleteKeyA(HKEY_CURRENT_USER, subkey_.c_str()); }
    SandboxKey(const SandboxKey &) = delete;
    SandboxKey &operator=(const SandboxKey &) = delete;

    // The subkey below HKEY_CURRENT_USER, and the textual path of something below it.
    const std::string &Subkey() const { return subkey_; }
    std::string Path(const std::string &below) const { return "HKEY_CURRENT_USER\\" + subkey_ + "\\" + below; }
    std::string Sub(const std::string &below) const { return subkey_ + "\\" + below; }

private:
    std::string subkey_;
};

using test_machine::HasValue;
using test_machine::KeyExists;
using test_machine::SetString;

inline void CreateKey(HKEY root, const std::string &subkey)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ::RegCloseKey(key);
}

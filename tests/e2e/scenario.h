// tests/e2e/scenario.h: a product directory with the uninstaller in it, for whole-program tests.
#pragma once

#include "gui_driver.h"

#include <string>

class ProductDir
{
public:
    // Makes DIR\<name> under the temporary directory and copies the uninstaller beside this test
    // program into it.
    explicit ProductDir(const std::string &name);
    ~ProductDir();
    ProductDir(const ProductDir &) = delete;
    ProductDir &operator=(const ProductDir &) = delete;

    const std::string &Path() const { return path_; } // ends in a backslash
    std::string Uninstaller() const { return path_ + "uninstall.exe"; }
    // Writes bytes as they stand to a file below the product directory, making its directories.
    void Write(const std::string &name, const std::string &bytes) const;
    // Writes UTF-8 text as UTF-16LE, with a byte-order mark when asked.
    void WriteUtf16(const std::string &name, const std::string &utf8, bool byteOrderMark) const;
    // Copies a file from beside this test program (a path relative to its directory) into the product.
    void CopyFromTests(const std::string &source, const std::string &name) const;
    bool Exists(const std::string &name) const;

private:
    std::string root_;
    std::string path_;
};

// Runs the product's uninstaller with arguments to its end: the wizard's Finish is pressed once
// enabled. options gives the answers and what else to try on the way.
DriverResult RunUninstall(const ProductDir &product, const std::string &arguments, DriverOptions options = {});

// Runs program with arguments, answering the windows named in answers and finishing the wizard.
DriverResult RunDriven(const std::string &program, const std::string &arguments,
                       const std::vector<DriverAnswer> &answers, const std::string &currentDir = "");

// A lang.ini image as the installer writes it: UTF-16LE with its mark, lines ended by CR LF.
std::string LangIni(const std::string &utf8Lines);

// The few English strings a run without a question about files shows, for LangIni.
extern const char kShortEnglish[];

// The first line the uninstaller gives its lowered-counts record for the log at logPath as it stands.
std::string CountsHeadingOf(const std::string &logPath, const std::string &productKey);

// Per-program Wine settings under HKCU\Software\Wine\AppDefaults\<program>, removed again when
// the object goes. Wine reads them when the program starts.
class WineAppDefaults
{
public:
    explicit WineAppDefaults(const std::string &programName);
    ~WineAppDefaults();
    WineAppDefaults(const WineAppDefaults &) = delete;
    WineAppDefaults &operator=(const WineAppDefaults &) = delete;

    // Makes the program see the Windows 95 family (GetVersionExA reports win98).
    void Windows98();
    // Loads only a unicows.dll found on the search path, never Wine's own, as on a real Windows 98.
    void OnlyNativeUnicodeLayer();
    // Both, for a product that carries the test's Unicode layer beside its uninstaller.
    void Windows95Product(const ProductDir &product);
    // Sets how Wine loads the library for the program: "native", "native,builtin", or "" for not at
    // all. False when the setting could not be stored.
    bool OverrideDll(const std::string &library, const std::string &how);

private:
    std::string key_;
};

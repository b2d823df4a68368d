// tests/e2e/scenario.cpp: a product directory with the uninstaller in it, for whole-program tests.
#include "scenario.h"
#include "tests/test_bytes.h"
#include "tests/test_machine.h"
#include "uninstall/lowered_counts.h"

#include <cstdio>
#include <shellapi.h>

using test_machine::ModuleDirectory;

ProductDir::ProductDir(const std::string &name)
{
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    static unsigned counter = 0;
    char root[MAX_PATH];
    std::snprintf(root, sizeof root, "%se2e-%lu-%u", temp, ::GetCurrentProcessId(), ++counter);
    root_ = root;
    path_ = root_ + "\\" + name + "\\";
    ::CreateDirectoryA(root_.c_str(), nullptr);
    ::CreateDirectoryA(path_.c_str(), nullptr);
    ::CopyFileA((ModuleDirectory() + "uninstall.exe").c_str(), Uninstaller().c_str(), FALSE);
}

ProductDir::~ProductDir()
{
    test_machine::RemoveTree(root_); // the uninstaller may have left files or not
}

void ProductDir::Write(const std::string &name, const std::string &bytes) const
{
    for (size_t slash = name.find('\\'); slash != std::string::npos; slash = name.find('\\', slash + 1))
        ::CreateDirectoryA((path_ + name.substr(0, slash)).c_str(), nullptr);
    std::FILE *f = std::fopen((path_ + name).c_str(), "wb");
    if (f == nullptr)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void ProductDir::WriteUtf16(const std::string &name, const std::string &utf8, bool byteOrderMark) const
{
    Write(name, Utf16Image(FromUtf8(utf8), byteOrderMark));
}

void ProductDir::CopyFromTests(const std::string &source, const std::string &name) const
{
    ::CopyFileA((ModuleDirectory() + source).c_str(), (path_ + name).c_str(), FALSE);
}

bool ProductDir::Exists(const std::string &name) const
{
    return ::GetFileAttributesA((path_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

DriverResult RunUninstall(const ProductDir &product, const std::string &arguments, DriverOptions options)
{
    options.program = FromUtf8(product.Uninstaller());
    options.arguments = FromUtf8(arguments);
    options.finishWizard = true;
    return DriveProgram(options);
}

DriverResult RunDriven(const std::string &program, const std::string &arguments,
                       const std::vector<DriverAnswer> &answers, const std::string &currentDir)
{
    DriverOptions options;
    options.program = FromUtf8(program);
    options.arguments = FromUtf8(arguments);
    options.currentDir = FromUtf8(currentDir);
    options.answers = answers;
    options.finishWizard = true; // a run that gets as far as the wizard is taken to its end
    return DriveProgram(options);
}

std::string LangIni(const std::string &utf8Lines)
{
    std::string text;
    for (char c : utf8Lines)
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return Utf16Image(FromUtf8(text));
}

WineAppDefaults::WineAppDefaults(const std::string &programName) : key_("Software\\Wine\\AppDefaults\\" + programName)
{
}

WineAppDefaults::~WineAppDefaults()
{
    ::RegDeleteKeyA(HKEY_CURRENT_USER, (key_ + "\\DllOverrides").c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
}

void WineAppDefaults::Windows98()
{
    test_machine::SetString(HKEY_CURRENT_USER, key_, "Version", "win98");
}

void WineAppDefaults::Windows95Product(const ProductDir &product)
{
    Windows98();
    OnlyNativeUnicodeLayer();
    product.CopyFromTests("unicode_layer\\unicows.dll", "unicows.dll");
}

void WineAppDefaults::OnlyNativeUnicodeLayer()
{
    (void)OverrideDll("unicows", "native"); // a test that needs the layer's own copy sees it missing
}

bool WineAppDefaults::OverrideDll(const std::string &library, const std::string &how)
{
    return test_machine::SetString(HKEY_CURRENT_USER, key_ + "\\DllOverrides", library.c_str(), how);
}

std::string CountsHeadingOf(const std::string &logPath, const std::string &productKey)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    (void)::GetFileAttributesExA(logPath.c_str(), GetFileExInfoStandard,
                                 &data); // a missing log gives a heading no run writes
    return LoweredCountsHeading((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                                (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                    data.ftLastWriteTime.dwLowDateTime,
                                productKey);
}

const char kShortEnglish[] = "[English]\r\n"
                             "str52=Finish\r\n"
                             "str71=Uninstall\r\n"
                             "str72=Remove the product?\r\n"
                             "str76=%p was removed.\r\n"
                             "str96=Restart\r\n"
                             "str97=Restart Windows now?\r\n";

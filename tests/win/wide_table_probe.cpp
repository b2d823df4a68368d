// tests/win/wide_table_probe.cpp: resolves every entry of the wide-function table as the uninstaller
// would, converts a text through it, and writes what it found to wide_table.txt beside itself, one
// "name=module file" line per entry, then the layer's call count and the converted text.
#include "tests/test_machine.h"
#include "ui/wide_functions.h"

#include <cctype>
#include <cstdio>
#include <string>

using test_machine::ModuleDirectory;

namespace
{

const char *const kNames[] = {"MessageBoxW",     "MultiByteToWideChar", "WideCharToMultiByte", "RegisterClassExW",
                              "SetDlgItemTextW", "SendDlgItemMessageW", "SendMessageW",        "SetWindowTextW",
                              "SetWindowLongA",  "GetProcAddress",      "DefDlgProcW"};
// The wide entries come first in the table, DefDlgProcW the last of them.
static_assert(sizeof kNames / sizeof kNames[0] == static_cast<size_t>(BoundFunction::DefDlgProcW) + 1,
              "a name per entry");

// The module's file name in lower case, "none" for no module.
std::string FileName(HMODULE module)
{
    char path[MAX_PATH] = "none";
    if (module != nullptr && ::GetModuleFileNameA(module, path, sizeof path) == 0)
        return "unknown";
    std::string name = path;
    name = name.substr(name.find_last_of('\\') + 1);
    for (char &c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

int main()
{
    std::FILE *out = std::fopen((ModuleDirectory() + "wide_table.txt").c_str(), "w");
    if (out == nullptr)
        return 2;
    for (int i = 0; i <= static_cast<int>(BoundFunction::DefDlgProcW); ++i)
    {
        const BoundFunction entry = static_cast<BoundFunction>(i);
        const bool resolved = ResolveBoundFunction(entry) != nullptr;
        std::fprintf(out, "%s=%s\n", kNames[i], resolved ? FileName(BoundFunctionSource(entry)).c_str() : "unresolved");
    }

    wchar_t converted[16] = L"";
    WideMultiByteToWideChar(CP_ACP, 0, "layer", -1, converted, 16);
    long calls = -1;
    HMODULE layer = ::GetModuleHandleA("unicows.dll");
    FARPROC count = layer != nullptr ? WideGetProcAddress(layer, "LayerCallCount") : nullptr;
    if (count != nullptr)
        calls = reinterpret_cast<LONG(WINAPI *)()>(reinterpret_cast<void (*)()>(count))();
    char back[16] = "";
    ::WideCharToMultiByte(CP_ACP, 0, converted, -1, back, sizeof back, nullptr, nullptr);
    std::fprintf(out, "layerLoaded=%s\nlayerCalls=%ld\nconverted=%s\n", layer != nullptr ? "yes" : "no", calls, back);
    std::fclose(out);
    return 0;
}

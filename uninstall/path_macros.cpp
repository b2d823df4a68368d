// uninstall/path_macros.cpp: expands %W, %S, %P and the other path macros in the paths the uninstaller forms.
#include "uninstall/path_macros.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"

#include <cstring>

namespace
{

// Room for an installation directory (up to kTextChars) with the rest of a path around it: the
// doubled backslashes that the last step collapses may make the text briefly longer than its result.
constexpr size_t kWorkChars = 4 * kTextChars;

struct Output
{
    char text[kWorkChars];
    size_t length;
    bool overflow;
};

void Append(Output &out, const char *text)
{
    const size_t length = std::strlen(text);
    if (out.length + length >= kWorkChars)
    {
        out.overflow = true;
        return;
    }
    std::memcpy(out.text + out.length, text, length + 1);
    out.length += length;
}

void AppendFrom(Output &out, void (*source)(char *, size_t))
{
    if (source == nullptr)
        return;
    char value[kTextChars] = "";
    source(value, sizeof value);
    value[sizeof value - 1] = '\0';
    Append(out, value);
}

void AppendMacro(Output &out, char letter, const PathMacroInputs &inputs)
{
    switch (AsciiUpper(letter))
    {
    case '%':
        Append(out, "%");
        break;
    case 'A':
        if (inputs.applicationMissing != nullptr)
            inputs.applicationMissing();
        break;
    case 'D':
        Append(out, inputs.productKey);
        break;
    case 'F':
    case 'I':
        Append(out, inputs.installDir);
        break;
    case 'K': {
        const char drive[2] = {inputs.installDir[0], '\0'};
        Append(out, drive);
        break;
    }
    case 'L':
        AppendFrom(out, inputs.regLang);
        break;
    case 'P':
        AppendFrom(out, inputs.programFilesDir);
        break;
    case 'S':
        AppendFrom(out, inputs.systemDir);
        break;
    case 'W':
        AppendFrom(out, inputs.windowsDir);
        break;
    default: // %C and %U read fields nothing fills; unknown letters vanish with their '%'
        break;
    }
}

} // namespace

bool ExpandMacroText(const char *in, char *out, size_t outChars, const PathMacroInputs &inputs)
{
    Output work;
    work.text[0] = '\0';
    work.length = 0;
    work.overflow = false;

    for (const char *p = in; *p != '\0' && !work.overflow; ++p)
    {
        if (*p != '%')
        {
            const char single[2] = {*p, '\0'};
            Append(work, single);
            continue;
        }
        if (p[1] == '\0') // a trailing '%' is dropped
            break;
        AppendMacro(work, p[1], inputs);
        ++p;
    }

    out[0] = '\0';
    if (work.overflow)
        return false;
    size_t length = 0;
    for (size_t i = 0; i < work.length; ++i)
    {
        if (work.text[i] == '\\' && length > 0 && out[length - 1] == '\\')
            continue;
        if (length + 1 >= outChars)
        {
            out[0] = '\0';
            return false;
        }
        out[length++] = work.text[i];
    }
    out[length] = '\0';
    return true;
}

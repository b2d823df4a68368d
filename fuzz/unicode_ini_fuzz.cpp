// Any file image as lang.ini: parsing never overruns, and every lookup, choice of language and
// expansion gives a terminated text within its buffer.
#include "ui/lang_text.h"
#include "ui/unicode_ini.h"

#include <cstdint>
#include <string>

namespace
{

size_t Length(const char16_t *text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length] != u'\0')
        ++length;
    return length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    UnicodeIni ini;
    // Half the runs get the mark, so the parser itself is reached whatever the input starts with.
    std::string image(reinterpret_cast<const char *>(data), size);
    if (size > 0 && (data[0] & 1) != 0)
        image.insert(0, "\xFF\xFE", 2);
    if (!ini.ParseBuffer(image.data(), image.size()) && !ini.Empty())
        __builtin_trap();

    char16_t language[kLanguageUnits] = u"English";
    SelectLanguage(ini, language);
    if (Length(language, kLanguageUnits) >= kLanguageUnits)
        __builtin_trap();

    const LangTextInputs inputs{"C:\\Dir\\", u"Title %p \\n"};
    for (unsigned number : {0u, 1u, 71u, 72u})
    {
        char16_t key[16];
        FormStringKey(number, key);
        for (size_t outChars : {size_t{1}, size_t{7}, size_t{128}, size_t{1024}})
        {
            std::u16string out(outChars + 1, u'#');
            LookUpLangText(ini, language, key, &inputs, &out[0], outChars);
            if (Length(out.c_str(), outChars) >= outChars || out[outChars] != u'#')
                __builtin_trap();
        }
    }
    return 0;
}

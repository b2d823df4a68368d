// ui/lang_text.cpp: the language file's portable half: choosing the language, forming string keys,
// and expanding the placeholders of a looked-up text.
#include "ui/lang_text.h"

#include "support/buffer_sizes.h"

namespace
{

// %n stands for a count that this uninstaller always holds at one.
constexpr char16_t kCountText[] = u"1";
// Enough for "name"; a longer value still counts as present.
constexpr size_t kNameUnits = 128;

// Appends to out while there is room, always leaving space for the terminator.
class BoundedText
{
public:
    BoundedText(char16_t *out, size_t outChars) : out_(out), limit_(outChars - 1) {}
    void Put(char16_t unit)
    {
        if (used_ < limit_)
            out_[used_++] = unit;
    }
    void Put(const char16_t *text)
    {
        for (; text != nullptr && *text != u'\0'; ++text)
            Put(*text);
    }
    void Finish() { out_[used_] = u'\0'; }

private:
    char16_t *out_;
    size_t limit_;
    size_t used_ = 0;
};

void CopyUnits(char16_t *out, size_t outChars, const char16_t *in)
{
    BoundedText text(out, outChars);
    text.Put(in);
    text.Finish();
}

} // namespace

void ExpandLangText(char16_t *out, size_t outChars, const char16_t *in, const LangTextInputs &inputs)
{
    if (outChars == 0)
        return;
    BoundedText text(out, outChars);
    while (*in != u'\0')
    {
        if (*in == u'%')
        {
            // Only lower-case letters are placeholders; the pair vanishes otherwise, "%%" included.
            const char16_t letter = in[1];
            if (letter == u'\0')
                break; // a lone '%' at the end: dropped, and the terminator not skipped
            if (letter == u'd')
            {
                // Each byte of the drive is taken as one code unit, as the installer wrote it.
                for (size_t i = 0; i < 2 && inputs.installDir != nullptr && inputs.installDir[i] != '\0'; ++i)
                    text.Put(static_cast<char16_t>(static_cast<unsigned char>(inputs.installDir[i])));
            }
            else if (letter == u'n')
                text.Put(kCountText);
            else if (letter == u'p')
                text.Put(inputs.displayTitle);
            in += 2;
        }
        else if (*in == u'\\' && in[1] == u'n')
        {
            text.Put(u'\n');
            in += 2;
        }
        else
            text.Put(*in++);
    }
    text.Finish();
}

void SelectLanguage(const UnicodeIni &strings, char16_t (&language)[kLanguageUnits])
{
    char16_t name[kNameUnits] = u"";
    if (strings.GetText(language, u"name", name, kNameUnits) && name[0] != u'\0')
        return;
    if (!strings.GetText(u"general", u"default", language, kLanguageUnits))
        CopyUnits(language, kLanguageUnits, u"English");
}

void FormStringKey(unsigned number, char16_t (&key)[16])
{
    char16_t digits[12];
    size_t count = 0;
    do
    {
        digits[count++] = static_cast<char16_t>(u'0' + number % 10);
        number /= 10;
    } while (number != 0);
    size_t used = 0;
    for (const char16_t *prefix = u"str"; *prefix != u'\0'; ++prefix)
        key[used++] = *prefix;
    while (count > 0)
        key[used++] = digits[--count];
    key[used] = u'\0';
}

void LookUpLangText(const UnicodeIni &table, const char16_t *section, const char16_t *key, const LangTextInputs *inputs,
                    char16_t *out, size_t outChars)
{
    if (outChars == 0)
        return;
    char16_t work[kTextChars];
    if (!table.GetText(section, key, work, kTextChars))
        CopyUnits(work, kTextChars, kStringNotFound);
    if (inputs != nullptr)
        ExpandLangText(out, outChars, work, *inputs);
    else
        CopyUnits(out, outChars, work);
}

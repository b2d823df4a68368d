// support/error_table.cpp: the numbered messages of the fatal-error facility and how they are worded.
#include "support/error_table.h"

#include <cstdio>
#include <cstring>

namespace
{

// Rows are filled by the programs that raise them; the uninstaller raises none, so only the
// library's own rows are here and the other numbers stay free.
struct NumberedRow
{
    uint32_t number;
    const char *text;
};

constexpr NumberedRow kRows[] = {
    {0, "3"},
    {1, "2SUPPORT: Not enough memory for %u bytes."},
    {2, "4SUPPORT: Cannot open the file %s."},
    {3, "3SUPPORT: %s"},
    {4, "1SUPPORT: Invalid value %u at position %u."},
    {5, "4SUPPORT: Cannot load the system library %s (%s)"},
    {6, "2SUPPORT: Cannot read %u bytes of %s: %s"},
    {7, "3SUPPORT: The operation was stopped."},
};

const char *const kTemplates[] = {
    "You have made nonstandard operation,\nwhich caused serious program error.\nNevertheless, the application is "
    "alright and usable.\n\nError:\n%s",
    "Application has detected the system does not satisfy it's requirements.\nPossible cause is low system or disk "
    "drive memory.\nPlease, free some by closing other applications or \nby restarting the system.\n\nError:\n%s",
    "%s",
    "Application is poorly installed.\nPlease reinstall it.\n\nError:\n%s",
};

// Appends length characters of text to out at *used, cutting at the end of out.
void Put(char *out, size_t outChars, size_t &used, const char *text, size_t length)
{
    if (used + 1 >= outChars)
        return;
    const size_t kept = length < outChars - 1 - used ? length : outChars - 1 - used;
    std::memcpy(out + used, text, kept);
    used += kept;
    out[used] = '\0';
}

} // namespace

const char *ErrorRow(uint32_t errorNumber)
{
    if (errorNumber >= kErrorRows)
        return nullptr;
    for (const NumberedRow &row : kRows)
    {
        if (row.number == errorNumber)
            return row.text;
    }
    return nullptr;
}

const char *SeverityTemplate(char digit)
{
    if (digit >= '1' && digit <= '4')
        return kTemplates[digit - '1'];
    return "%s";
}

void FormatErrorRow(const char *row, const ErrorValue *values, size_t valueCount, char *out, size_t outChars)
{
    if (outChars == 0)
        return;
    out[0] = '\0';
    size_t used = 0;
    size_t next = 0;
    for (const char *p = row; *p != '\0';)
    {
        if (*p != '%')
        {
            const char *end = std::strchr(p, '%');
            const size_t length = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
            Put(out, outChars, used, p, length);
            p += length;
            continue;
        }
        if (p[1] == '%')
        {
            Put(out, outChars, used, "%", 1);
            p += 2;
            continue;
        }
        const char *conversion = p + 1;
        if (*conversion == 'l')
            ++conversion;
        const char kind = *conversion;
        if (kind != 's' && kind != 'u' && kind != 'd' && kind != 'x' && kind != 'X')
        {
            Put(out, outChars, used, p, 1); // not ours to interpret: copied as it stands
            ++p;
            continue;
        }
        p = conversion + 1;
        if (next >= valueCount)
            continue;
        const ErrorValue value = values[next++];
        if (kind == 's')
        {
            const char *text = value != 0 ? reinterpret_cast<const char *>(value) : "(null)";
            Put(out, outChars, used, text, std::strlen(text));
            continue;
        }
        // The values are 32-bit in the calls; a wider one is cut the same way.
        const uint32_t number = static_cast<uint32_t>(value);
        char digits[16];
        if (kind == 'd')
            std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(static_cast<int32_t>(number)));
        else
            std::snprintf(digits, sizeof digits, kind == 'u' ? "%lu" : (kind == 'x' ? "%lx" : "%lX"),
                          static_cast<unsigned long>(number));
        Put(out, outChars, used, digits, std::strlen(digits));
    }
}

void FormatErrorBoxText(const char *message, char *out, size_t outChars)
{
    if (outChars == 0)
        return;
    out[0] = '\0';
    // A message without a severity digit (the plain "error" text) is shown whole.
    const char digit = message[0];
    const char *text = (digit >= '1' && digit <= '4') ? message + 1 : message;
    const ErrorValue value = reinterpret_cast<ErrorValue>(text);
    FormatErrorRow(SeverityTemplate(digit), &value, 1, out, outChars);
}

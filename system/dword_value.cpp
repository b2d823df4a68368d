// system/dword_value.cpp: what a registry value read into a DWORD's four bytes stands for.
#include "system/dword_value.h"

uint32_t DwordFromValue(bool read, uint32_t type, const unsigned char *data, size_t size, uint32_t defaultValue)
{
    if (!read || size > 4)
        return defaultValue;
    if (type != kDwordValueType)
        return 0;
    // Assembled byte by byte: the registry stores the number little-endian whatever the host is.
    uint32_t value = 0;
    for (size_t i = size; i > 0; --i)
        value = (value << 8) | data[i - 1];
    return value;
}

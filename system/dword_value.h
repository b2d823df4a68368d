// system/dword_value.h: what a registry value read into a DWORD's four bytes stands for.
#pragma once

#include <cstddef>
#include <cstdint>

// The registry's type number of a little-endian DWORD (REG_DWORD).
constexpr uint32_t kDwordValueType = 4;

// The DWORD a value read into a 4-byte buffer gives. read tells whether the read succeeded (a value
// longer than 4 bytes fails it); data holds the size bytes it returned. A value of type REG_DWORD
// gives its bytes as a little-endian number, missing high bytes taken as 0; a value of any other
// type that fits gives 0; a value that is missing, could not be read, or holds more than 4 bytes
// gives defaultValue. data is read only when read is true, and never past size.
uint32_t DwordFromValue(bool read, uint32_t type, const unsigned char *data, size_t size, uint32_t defaultValue);

// support/exception_names.h: the names the crash report gives to the system's exception codes.
#pragma once

#include <cstdint>

// The symbolic name of a system exception code, such as "EXCEPTION_ACCESS_VIOLATION"; nullptr for
// a code the table does not know (the report then asks the system for the code's text).
const char *ExceptionName(uint32_t code);

// support/error_table.h: the numbered messages of the fatal-error facility and how they are worded.
#pragma once

#include <cstddef>
#include <cstdint>

// Rows 0 to 443. Every row starts with its severity digit '1' to '4', then as a rule an upper-case
// module tag, a colon, a blank and the text, which may hold %s and %u placeholders. Row 0 is "3".
constexpr uint32_t kErrorRows = 444;

// A value of an error call: a number, or the address of a text for a %s placeholder.
using ErrorValue = uintptr_t;

// The row for an error number; nullptr for a number outside the table or a row no program of ours
// fills.
const char *ErrorRow(uint32_t errorNumber);

// The message template for a severity digit; each holds one %s for the text after the digit. A
// digit outside '1' to '4' gets the bare "%s".
const char *SeverityTemplate(char digit);

// Formats a row's placeholders (%s, %u, %d, %x, %X, %%, with an optional l) with values in order.
// A %s value is the address of a text; 0 shows as "(null)". A placeholder with no value left shows
// nothing, and any other % sequence is copied as it stands, so a row can never read past what the
// call supplied. The result is cut to fit and always terminated.
void FormatErrorRow(const char *row, const ErrorValue *values, size_t valueCount, char *out, size_t outChars);

// The text of the error box: the template for the message's first character formatted with the
// rest of the message. Cut to fit and always terminated.
void FormatErrorBoxText(const char *message, char *out, size_t outChars);

// Writing the catalogue's texts to the standard streams in the console's encoding.
#pragma once

#include <cstddef>

#include "console/messages.h"

// Write a text, formatted with the arguments its format names, to standard output
// or standard error. Standard output is flushed before anything goes to standard
// error. Fixed text is written as Shift_JIS, or as UTF-8 when the locale's codeset
// (LC_CTYPE) is UTF-8; arguments are written as given.
void consoleOut(Text text, ...);
void consoleErr(Text text, ...);

// Converts UTF-8 text made of ASCII and the catalogue's characters to Shift_JIS,
// NUL-terminated, into out. Returns -1 for any other character or when out is too small.
int toShiftJis(const char* utf8, char* out, size_t outSize);

// Writing the catalogue's texts to the standard streams in the console's encoding.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <type_traits>

#include "console/messages.h"

// Room for one converted format; every catalogue text is far shorter.
using ConsoleFormat = std::array<char, 512>;

// True when the locale's character type (LC_CTYPE) uses UTF-8.
bool consoleUsesUtf8();

// The format of a text in the console's encoding: the catalogue's UTF-8 as it is,
// or converted to Shift_JIS into buffer. Flushes standard output first when the
// text is bound for standard error. Null if the text cannot be converted.
const char* consoleFormat(FILE* stream, Text text, ConsoleFormat& buffer);

// Converts UTF-8 text made of ASCII and the catalogue's characters to Shift_JIS,
// NUL-terminated, into out. Returns -1 for any other character or when out is too small.
int toShiftJis(const char* utf8, char* out, size_t outSize);

// Writes a text, formatted with the arguments its format names (numbers and
// C strings only), to the stream. Arguments are written as given, never converted,
// and are never used as a format.
template <typename... Args>
void consoleWrite(FILE* stream, Text text, Args... args)
{
    static_assert(((std::is_arithmetic_v<Args> || std::is_same_v<Args, const char*>)&&...),
                  "console texts take numbers and C strings only");
    ConsoleFormat buffer;
    const char* format = consoleFormat(stream, text, buffer);
    if (format != nullptr) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
        std::fprintf(stream, format, args...);
#pragma GCC diagnostic pop
    }
}

template <typename... Args>
void consoleOut(Text text, Args... args)
{
    consoleWrite(stdout, text, args...);
}

template <typename... Args>
void consoleErr(Text text, Args... args)
{
    consoleWrite(stderr, text, args...);
}

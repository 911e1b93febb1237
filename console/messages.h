// The catalogue of every text the program writes to the console.
#pragma once

#include <cstddef>

// One identifier per text. The texts are printf formats in UTF-8; console.h writes
// them in the console's encoding.
enum class Text {
    Usage,
    BadDelay,
    BadGain,
    NotMono,
    InputTooLarge,
    NoMemory,
    InputChanged,
    Converted,
    ReadOpenFailed,
    FileName,
    ReadFailedAt,
    NoWave,
    NotRiff,
    FmtLength,
    DataLength,
    ChunkLength,
    DataReadFailed,
    Time,
    TimeUnknown,
    FormatTag,
    Channels,
    SampleRate,
    ByteRate,
    BlockAlign,
    BitsPerSample,
    PcmOnly,
    FormatIs,
    BitsOnly,
    BitsIs,
    WriteOpenFailed,
    HeaderWriteFailed,
    DataWriteError,
    WriteFailed,
};

inline constexpr size_t kTextCount = static_cast<size_t>(Text::WriteFailed) + 1;

// The UTF-8 format of a text.
const char* textFormat(Text text);

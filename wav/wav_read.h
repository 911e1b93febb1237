// Reading a WAVE file into a stream description, with a report of its chunks
// and PCM format on the console.
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/wav_info.h"

// The first 16 bytes of a "fmt " chunk's body.
struct FmtChunk {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
};

// Reads the file at path into info, reporting as it goes. On 0, info owns a buffer
// of dataSize bytes (when a "data" chunk was found); on -1, samples is null.
int wavFileRead(const char* path, WavInfo& info);

// Reads, prints and checks the 16-byte format record at the stream's position.
// Only uncompressed PCM of 8 or 16 bits passes. A record cut short fails silently.
int wavFmtRead(FILE* stream, FmtChunk& fmt);

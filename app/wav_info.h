// The records every stage of a conversion shares: one WAVE stream's description
// and the whole conversion job.
#pragma once

#include <cstdint>

// One WAVE stream as read from the input or as it is to be written out.
// A description starts cleared: every field 0 and no sample buffer.
struct WavInfo {
    uint32_t sampleRate = 0;     // frames per second, from "fmt "
    uint16_t bitsPerSample = 0;  // 8 or 16 once the reader has accepted the file
    uint32_t dataSize = 0;       // length of the sample data in bytes
    uint16_t channels = 0;       // channel count
    uint32_t bytesPerSec = 0;    // average byte rate as "fmt " states it
    uint8_t* samples = nullptr;  // owned heap buffer of dataSize bytes, or null
};

// The conversion: output description, input description and the effect parameters,
// both kept in single precision as the rule computes with them.
struct StereoJob {
    WavInfo out;
    WavInfo in;
    float echoGain = 0.3f;
    float delaySec = 0.03f;
};

// Allocates a sample buffer of size bytes, to be released by wavRelease.
// A request for 0 bytes fails like any other: both give null.
uint8_t* wavAllocate(uint32_t size);

// Frees the description's sample buffer, if any, and clears the pointer,
// so that a second release does nothing.
void wavRelease(WavInfo& info);

// Builds WAVE files byte by byte for the tests: chunks in any order, any declared
// lengths, any truncation, so that each fixture shows exactly the fault it is for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

void appendU16le(Bytes& b, uint16_t v);
void appendU32le(Bytes& b, uint32_t v);
void appendText(Bytes& b, const std::string& text);

// A chunk: identifier, declared length and body; the body need not match the length.
Bytes chunk(const std::string& id, uint32_t declaredLength, const Bytes& body);
// A chunk whose declared length is its body's length (no pad byte is added).
Bytes chunk(const std::string& id, const Bytes& body);

// The 16-byte PCM format record.
Bytes fmtBody(uint16_t formatTag, uint16_t channels, uint32_t sampleRate, uint32_t bytesPerSec,
              uint16_t blockAlign, uint16_t bitsPerSample);
// A consistent "fmt " chunk for PCM of the given shape.
Bytes fmtChunk(uint16_t channels, uint32_t sampleRate, uint16_t bitsPerSample);

// "RIFF" <length> "WAVE" followed by the chunks; the RIFF length is computed unless given.
Bytes riffWave(const std::vector<Bytes>& chunks);
Bytes riffWave(const std::vector<Bytes>& chunks, uint32_t riffLength);

// A plain mono PCM file: "fmt " then "data".
Bytes monoWave(uint32_t sampleRate, uint16_t bitsPerSample, const Bytes& data);

// 16-bit samples as little-endian bytes.
Bytes samples16(const std::vector<int16_t>& values);

Bytes concat(const std::vector<Bytes>& parts);

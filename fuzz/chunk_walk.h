// What the fuzz targets need to know about an input before and after the reader
// sees it: a cheap walk over the chunk headers, the way the reader walks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wav/wav_bytes.h"

// Largest "data" length a fuzz input may declare. The reader allocates the
// declared length before it learns whether the file holds that many bytes, so a
// 56-byte input declaring 0xFFFFFFFF asks malloc for 4 GiB. That is the reader's
// documented way of working, not a fault, but libFuzzer's -malloc_limit_mb (and
// -rss_limit_mb) would report it as out-of-memory and stop the run on every such
// input. Inputs declaring more are skipped; the "declared more than the file
// holds" path is still fuzzed with every length up to this cap.
inline constexpr uint32_t kMaxDeclaredData = 16u << 20;

// The chunk walk of an input, as far as the targets check the reader's results.
struct ChunkWalk {
    bool riffWave = false;       // the first 12 bytes are "RIFF" <length> "WAVE"
    bool hugeData = false;       // some "data" header declares more than kMaxDeclaredData
    bool hasData = false;        // a "data" chunk was met whose body the file holds whole
    size_t dataOffset = 0;       // where the last such chunk's body starts
    uint32_t dataLength = 0;     // its length
    bool hasFmt = false;         // a "fmt " chunk with a whole 16-byte record was met
    uint16_t bitsPerSample = 0;  // from the last such record
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
};

// Every chunk header follows the previous header plus its declared length: the
// reader neither adds a pad byte after an odd length nor stops at the RIFF
// length, and it goes on to the end of the file. A "fmt " chunk shorter than its
// 16-byte record still has the record read, and the walk goes back to the end of
// the declared body. Whenever the reader returns 0, the last whole "data" chunk
// of this walk is the one it kept.
inline ChunkWalk walkChunks(const uint8_t* bytes, size_t size)
{
    ChunkWalk walk;
    if (size < 12) {
        return walk;
    }
    walk.riffWave = std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WAVE", 4) == 0;
    uint64_t pos = 12;
    while (pos + 8 <= size) {
        const uint8_t* header = bytes + pos;
        const uint32_t length = bytesToU32le(header + 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(header, "data", 4) == 0) {
            if (length > kMaxDeclaredData) {
                walk.hugeData = true;
            }
            if (body + length <= size) {
                walk.hasData = true;
                walk.dataOffset = static_cast<size_t>(body);
                walk.dataLength = length;
            }
        } else if (std::memcmp(header, "fmt ", 4) == 0 && body + 16 <= size) {
            walk.hasFmt = true;
            walk.channels = bytesToU16le(bytes + body + 2);
            walk.sampleRate = bytesToU32le(bytes + body + 4);
            walk.bitsPerSample = bytesToU16le(bytes + body + 14);
        }
        pos = body + length;
    }
    return walk;
}

// The WAVE reader: checks the RIFF header, walks the chunk list to the end of the
// file, keeps the format fields and a copy of the sample data, and reports each
// chunk on the console as it meets it.
#include "wav/wav_read.h"

#include <array>
#include <cstring>

#include "console/console.h"
#include "wav/wav_bytes.h"

namespace {

constexpr size_t kRiffHeaderSize = 12;
constexpr size_t kChunkHeaderSize = 8;
constexpr size_t kFmtRecordSize = 16;

// Chunk lengths are reported as signed 32-bit numbers, so lengths of 2 GiB and
// more show negative: existing logs and the scripts that read them expect that.
long signedLength(uint32_t length)
{
    return static_cast<long>(static_cast<int32_t>(length));
}

// Moves the stream from position *pos to target. Past the end of a file this
// succeeds, and the next read ends the walk. Streams that cannot seek (pipes)
// are moved forward by reading.
void skipTo(FILE* stream, uint64_t* pos, uint64_t target)
{
    if (target <= static_cast<uint64_t>(INT64_MAX) &&
        fseeko(stream, static_cast<off_t>(target), SEEK_SET) == 0) {
        *pos = target;
        return;
    }
    std::array<uint8_t, 4096> scratch{};
    while (*pos < target) {
        const uint64_t left = target - *pos;
        const size_t want = left < scratch.size() ? static_cast<size_t>(left) : scratch.size();
        const size_t got = std::fread(scratch.data(), 1, want, stream);
        *pos += got;
        if (got != want) {
            return;
        }
    }
}

void closeAndRelease(FILE* stream, WavInfo& info)
{
    std::fclose(stream);
    wavRelease(info);
}

// The "data" chunk: a fresh heap copy of its body. A later "data" chunk replaces
// an earlier one.
int readDataChunk(FILE* stream, uint64_t* pos, uint32_t length, WavInfo& info)
{
    info.dataSize = length;
    consoleErr(Text::DataLength, signedLength(length));
    wavRelease(info);
    info.samples = wavAllocate(length);
    if (info.samples == nullptr) {
        consoleErr(Text::NoMemory);
        return -1;
    }
    const size_t got = std::fread(info.samples, 1, length, stream);
    *pos += got;
    if (got != length) {
        consoleErr(Text::DataReadFailed);
        wavRelease(info);
        return -1;
    }
    return 0;
}

}  // namespace

int wavFmtRead(FILE* stream, FmtChunk& fmt)
{
    std::array<uint8_t, kFmtRecordSize> record{};
    if (std::fread(record.data(), 1, record.size(), stream) != record.size()) {
        return -1;
    }
    fmt.wFormatTag = bytesToU16le(&record[0]);
    fmt.nChannels = bytesToU16le(&record[2]);
    fmt.nSamplesPerSec = bytesToU32le(&record[4]);
    fmt.nAvgBytesPerSec = bytesToU32le(&record[8]);
    fmt.nBlockAlign = bytesToU16le(&record[12]);
    fmt.wBitsPerSample = bytesToU16le(&record[14]);

    // The whole format is shown before it is judged, so a refused file still shows it.
    consoleOut(Text::FormatTag, static_cast<unsigned>(fmt.wFormatTag));
    consoleOut(Text::Channels, static_cast<unsigned>(fmt.nChannels));
    consoleOut(Text::SampleRate, static_cast<unsigned long>(fmt.nSamplesPerSec));
    consoleOut(Text::ByteRate, static_cast<unsigned long>(fmt.nAvgBytesPerSec));
    consoleOut(Text::BlockAlign, static_cast<unsigned>(fmt.nBlockAlign));
    consoleOut(Text::BitsPerSample, static_cast<unsigned>(fmt.wBitsPerSample));

    if (fmt.wFormatTag != 1) {
        consoleErr(Text::PcmOnly);
        consoleErr(Text::FormatIs, static_cast<unsigned>(fmt.wFormatTag));
        return -1;
    }
    if (fmt.wBitsPerSample != 8 && fmt.wBitsPerSample != 16) {
        consoleErr(Text::BitsOnly);
        consoleErr(Text::BitsIs, static_cast<int>(fmt.wBitsPerSample));
        return -1;
    }
    return 0;
}

int wavFileRead(const char* path, WavInfo& info)
{
    wavRelease(info);
    FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        consoleErr(Text::ReadOpenFailed, path);
        return -1;
    }
    consoleOut(Text::FileName, path);

    // Positions are counted here in 64 bits rather than asked of the stream, so
    // that the walk also works on streams that cannot tell or seek.
    uint64_t pos = 0;
    std::array<uint8_t, kRiffHeaderSize> riff{};
    pos = std::fread(riff.data(), 1, riff.size(), stream);
    if (pos != riff.size()) {
        consoleErr(Text::ReadFailedAt, static_cast<long>(pos));
        std::fclose(stream);
        return -1;
    }
    // The form type is judged before the tag.
    if (std::memcmp(&riff[8], "WAVE", 4) != 0) {
        consoleErr(Text::NoWave);
        std::fclose(stream);
        return -1;
    }
    if (std::memcmp(&riff[0], "RIFF", 4) != 0) {
        consoleErr(Text::NotRiff);
        std::fclose(stream);
        return -1;
    }

    // The walk ends only where a chunk header cannot be read whole. Each step moves
    // to the 64-bit position after the chunk body, so no length can make it go back.
    std::array<uint8_t, kChunkHeaderSize> header{};
    while (std::fread(header.data(), 1, header.size(), stream) == header.size()) {
        pos += header.size();
        const uint32_t length = bytesToU32le(&header[4]);
        const uint64_t next = pos + length;
        switch (bytesToU32le(&header[0])) {
        case fourCc("fmt "): {
            consoleErr(Text::FmtLength, signedLength(length));
            FmtChunk fmt;
            if (wavFmtRead(stream, fmt) != 0) {
                closeAndRelease(stream, info);
                return -1;
            }
            pos += kFmtRecordSize;
            info.sampleRate = fmt.nSamplesPerSec;
            info.bitsPerSample = fmt.wBitsPerSample;
            info.channels = fmt.nChannels;
            info.bytesPerSec = fmt.nAvgBytesPerSec;
            skipTo(stream, &pos, next);
            break;
        }
        case fourCc("data"):
            // The next header is read where the data ends: no seek, no pad byte.
            if (readDataChunk(stream, &pos, length, info) != 0) {
                std::fclose(stream);
                return -1;
            }
            break;
        default:
            consoleOut(Text::ChunkLength, header[0], header[1], header[2], header[3],
                       signedLength(length));
            skipTo(stream, &pos, next);
            break;
        }
    }
    std::fclose(stream);

    if (info.bytesPerSec == 0) {
        consoleOut(Text::TimeUnknown);
    } else {
        consoleOut(Text::Time,
                   static_cast<double>(info.dataSize) / static_cast<double>(info.bytesPerSec));
    }
    return 0;
}

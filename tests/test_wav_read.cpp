// Tests for the WAVE reader: which files it accepts, the fields and sample copy it
// keeps, how it walks the chunk list, and the ownership of the sample buffer.
// The report text itself is checked end to end in test_e2e_report.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/wav_info.h"
#include "support/report_text.h"
#include "support/run_program.h"
#include "support/wav_builder.h"
#include "wav/wav_read.h"

namespace {

Bytes pattern(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return b;
}

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// The first n bytes.
Bytes head(const Bytes& b, size_t n)
{
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

// Bytes from n on.
Bytes tail(const Bytes& b, size_t n)
{
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(n), b.end());
}

// A cleared description that still owns a buffer: the reader must release it
// whatever the outcome (the address sanitizer reports it otherwise).
WavInfo infoWithBuffer()
{
    WavInfo info;
    info.samples = static_cast<uint8_t*>(std::malloc(16));
    std::memset(info.samples, 0xEE, 16);
    return info;
}

struct Fields {
    uint32_t sampleRate;
    uint16_t bitsPerSample;
    uint16_t channels;
    uint32_t bytesPerSec;
    uint32_t dataSize;
};

struct AcceptedCase {
    std::string name;
    Bytes file;
    Fields fields;
    std::optional<Bytes> samples;  // none: no "data" chunk, so no buffer
};

std::vector<AcceptedCase> acceptedCases()
{
    const Bytes d1 = pattern(100, 1);
    const Bytes d2 = pattern(20, 2);
    const Bytes fmtMono16 = fmtChunk(1, 8000, 16);
    std::vector<AcceptedCase> cases;
    cases.push_back({"16-bit mono", monoWave(44100, 16, d1), {44100, 16, 1, 88200, 100}, d1});
    cases.push_back({"8-bit mono", monoWave(8000, 8, d2), {8000, 8, 1, 8000, 20}, d2});
    // Channel count is the entry's business, not the reader's.
    cases.push_back({"stereo",
                     riffWave({fmtChunk(2, 22050, 16), chunk("data", d2)}),
                     {22050, 16, 2, 88200, 20},
                     d2});
    cases.push_back({"data before fmt",
                     riffWave({chunk("data", d2), fmtMono16}),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back({"last fmt wins",
                     riffWave({fmtChunk(2, 22050, 8), chunk("data", d2), fmtChunk(1, 11025, 16)}),
                     {11025, 16, 1, 22050, 20},
                     d2});
    cases.push_back({"last data wins",
                     riffWave({fmtMono16, chunk("data", d1), chunk("data", d2)}),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back({"fmt of 18 bytes",
                     riffWave({chunk("fmt ", concat({fmtBody(1, 1, 8000, 16000, 2, 16), {0, 0}})),
                               chunk("data", d2)}),
                     {8000, 16, 1, 16000, 20},
                     d2});
    // The 24 bytes after the record look like a "data" chunk: they must be skipped.
    const Bytes decoy = concat({chunk("data", text("ABCD")), pattern(12, 9)});
    cases.push_back({"fmt of 40 bytes",
                     riffWave({chunk("fmt ", concat({fmtBody(1, 1, 8000, 16000, 2, 16), decoy})),
                               chunk("data", d2)}),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back({"unknown chunk hiding a data header",
                     riffWave({fmtMono16, chunk("junk", decoy), chunk("data", d2)}),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back({"odd unknown chunk without pad byte",
                     riffWave({fmtMono16, chunk("odd ", text("abc")), chunk("data", d2)}),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back({"odd data followed directly by fmt",
                     riffWave({chunk("data", text("abc")), fmtMono16}),
                     {8000, 16, 1, 16000, 3},
                     text("abc")});
    // After the pad byte the next header is read one byte early: "\0fmt" is no "fmt ".
    cases.push_back({"pad byte after odd data",
                     riffWave({fmtMono16, chunk("data", text("abc")), {0}, fmtChunk(2, 44100, 8)}),
                     {8000, 16, 1, 16000, 3},
                     text("abc")});
    cases.push_back(
        {"case variants are other chunks",
         riffWave({fmtMono16, chunk("data", d2), chunk("DATA", d1),
                   chunk("Fmt ", fmtBody(1, 2, 44100, 176400, 4, 16)),
                   chunk(std::string("fmt\0", 4), fmtBody(1, 2, 44100, 176400, 4, 16))}),
         {8000, 16, 1, 16000, 20},
         d2});
    cases.push_back({"trailing piece under a header",
                     concat({riffWave({fmtMono16, chunk("data", d2)}), text("data\x01\x00\x00")}),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back({"RIFF length 0 is not examined",
                     riffWave({fmtMono16, chunk("data", d2)}, 0),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back({"RIFF length too large is not examined",
                     riffWave({fmtMono16, chunk("data", d2)}, 0xFFFFFFFFu),
                     {8000, 16, 1, 16000, 20},
                     d2});
    cases.push_back(
        {"no data chunk", riffWave({fmtMono16}), {8000, 16, 1, 16000, 0}, std::nullopt});
    cases.push_back({"no fmt chunk", riffWave({chunk("data", d2)}), {0, 0, 0, 0, 20}, d2});
    cases.push_back({"no chunks", riffWave({}), {0, 0, 0, 0, 0}, std::nullopt});
    // Lengths that reach past the end of the file end the walk there: the "data"
    // chunk behind them is inside their declared body.
    for (const uint32_t length : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFF8u}) {
        char name[64];
        std::snprintf(name, sizeof name, "unknown chunk of length 0x%08X", length);
        cases.push_back(
            {name,
             riffWave({fmtMono16, chunk("data", d2), chunk("junk", length, {}), chunk("data", d1)}),
             {8000, 16, 1, 16000, 20},
             d2});
    }
    cases.push_back(
        {"fmt of length 0xFFFFFFF0",
         riffWave({chunk("data", d2), chunk("fmt ", 0xFFFFFFF0u, fmtBody(1, 1, 8000, 16000, 2, 16)),
                   chunk("data", d1)}),
         {8000, 16, 1, 16000, 20},
         d2});
    return cases;
}

struct Captured {
    int status = 0;
    std::string out;
    std::string err;
};

Captured readCaptured(const std::string& path, WavInfo& info)
{
    Captured c;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    c.status = wavFileRead(path.c_str(), info);
    c.out = testing::internal::GetCapturedStdout();
    c.err = testing::internal::GetCapturedStderr();
    return c;
}

TEST(WavFileRead, AcceptedFilesGiveTheirFieldsAndData)
{
    for (const AcceptedCase& c : acceptedCases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("in.wav");
        writeFile(path, c.file);
        WavInfo info = infoWithBuffer();
        const Captured run = readCaptured(path, info);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(info.sampleRate, c.fields.sampleRate);
        EXPECT_EQ(info.bitsPerSample, c.fields.bitsPerSample);
        EXPECT_EQ(info.channels, c.fields.channels);
        EXPECT_EQ(info.bytesPerSec, c.fields.bytesPerSec);
        EXPECT_EQ(info.dataSize, c.fields.dataSize);
        if (c.samples) {
            ASSERT_NE(info.samples, nullptr);
            EXPECT_EQ(Bytes(info.samples, info.samples + info.dataSize), *c.samples);
        } else {
            EXPECT_EQ(info.samples, nullptr);
        }
        wavRelease(info);
    }
}

struct RefusedCase {
    std::string name;
    std::optional<Bytes> file;  // none: the path does not exist
};

std::vector<RefusedCase> refusedCases()
{
    const Bytes fmtMono16 = fmtChunk(1, 8000, 16);
    const Bytes record = fmtBody(1, 1, 8000, 16000, 2, 16);
    const Bytes data = chunk("data", pattern(20, 3));
    const auto withFmt = [](uint16_t tag, uint16_t bits) {
        const auto align = static_cast<uint16_t>(bits / 8);
        return riffWave({chunk("fmt ", fmtBody(tag, 1, 8000, 8000u * align, align, bits)),
                         chunk("data", pattern(8, 4))});
    };
    const Bytes riff = riffWave({fmtMono16, data});
    std::vector<RefusedCase> cases = {
        {"missing file", std::nullopt},
        {"empty file", Bytes{}},
        {"5 bytes", head(riff, 5)},
        {"11 bytes", head(riff, 11)},
        {"RIFX", concat({text("RIFX"), tail(riff, 4)})},
        {"no WAVE", concat({head(riff, 8), text("AVI "), tail(riff, 12)})},
        {"RIFX and no WAVE",
         concat({text("RIFX"), tail(head(riff, 8), 4), text("AVI "), tail(riff, 12)})},
        {"tag 0xFFFE", withFmt(0xFFFE, 16)},
        {"tag 3", withFmt(3, 32)},
        {"tag 0", withFmt(0, 16)},
        {"24 bits", withFmt(1, 24)},
        {"32 bits", withFmt(1, 32)},
        {"12 bits", withFmt(1, 12)},
        {"0 bits", withFmt(1, 0)},
        {"fmt of 14 bytes before data", riffWave({chunk("fmt ", head(record, 14)), data})},
        {"fmt record cut short", riffWave({chunk("fmt ", 16, head(record, 10))})},
        {"data of length 0", riffWave({fmtMono16, chunk("data", Bytes{})})},
        {"data past the end", riffWave({fmtMono16, chunk("data", 100, pattern(40, 5))})},
        // Failures after a data chunk was copied must not leave its buffer behind.
        {"data, then a refused fmt",
         riffWave({data, chunk("fmt ", fmtBody(1, 1, 8000, 24000, 3, 24))})},
        {"data, then data of length 0", riffWave({fmtMono16, data, chunk("data", Bytes{})})},
        {"data, then data past the end",
         riffWave({fmtMono16, data, chunk("data", 100, pattern(40, 5))})},
        {"data, then fmt cut short", riffWave({data, chunk("fmt ", 16, pattern(6, 6))})},
    };
    return cases;
}

TEST(WavFileRead, RefusedFilesLeaveNoBuffer)
{
    for (const RefusedCase& c : refusedCases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("in.wav");
        if (c.file) {
            writeFile(path, *c.file);
        }
        WavInfo info = infoWithBuffer();
        const Captured run = readCaptured(path, info);
        EXPECT_EQ(run.status, -1);
        EXPECT_EQ(info.samples, nullptr);
        wavRelease(info);
    }
}

// wavFmtRead on a stream holding the record and whatever follows it.
struct FmtStream {
    explicit FmtStream(const Bytes& bytes) : file(std::tmpfile())
    {
        if (!bytes.empty()) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
        }
        std::rewind(file);
    }
    ~FmtStream() { std::fclose(file); }
    FmtStream(const FmtStream&) = delete;
    FmtStream& operator=(const FmtStream&) = delete;
    FILE* file;
};

TEST(WavFmtRead, ReadsTheLittleEndianRecordAndOnlyIt)
{
    const Bytes record = {0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00,
                          0x10, 0xB1, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00};
    FmtStream stream(concat({record, text("data")}));
    FmtChunk fmt;
    testing::internal::CaptureStdout();
    const int status = wavFmtRead(stream.file, fmt);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fmt.wFormatTag, 1);
    EXPECT_EQ(fmt.nChannels, 2);
    EXPECT_EQ(fmt.nSamplesPerSec, 44100u);
    EXPECT_EQ(fmt.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(fmt.nBlockAlign, 4);
    EXPECT_EQ(fmt.wBitsPerSample, 16);
    EXPECT_EQ(std::ftell(stream.file), 16);
    EXPECT_EQ(out, Transcript().format(1, 2, 44100, 176400, 4, 16).out());
}

TEST(WavFmtRead, JudgesTagThenBits)
{
    const struct {
        uint16_t tag;
        uint16_t bits;
        int status;
    } cases[] = {
        {1, 8, 0},   {1, 16, 0},  {1, 0, -1},  {1, 4, -1},       {1, 24, -1}, {1, 32, -1},
        {3, 16, -1}, {3, 32, -1}, {0, 16, -1}, {0xFFFE, 16, -1}, {2, 8, -1},  {0x0101, 16, -1},
    };
    for (const auto& c : cases) {
        FmtStream stream(fmtBody(c.tag, 1, 8000, 16000, 2, c.bits));
        FmtChunk fmt;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(wavFmtRead(stream.file, fmt), c.status) << c.tag << "/" << c.bits;
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(fmt.wFormatTag, c.tag);
        EXPECT_EQ(fmt.wBitsPerSample, c.bits);
    }
}

TEST(WavFmtRead, ShortRecordFailsSilently)
{
    const Bytes record = fmtBody(1, 1, 8000, 16000, 2, 16);
    for (size_t size = 0; size < record.size(); ++size) {
        FmtStream stream(Bytes(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(size)));
        FmtChunk fmt;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(wavFmtRead(stream.file, fmt), -1) << size;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << size;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << size;
    }
}

}  // namespace

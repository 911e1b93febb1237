// Fixtures for the conversion tests.
#include "support/convert_helpers.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "app/wav_info.h"
#include "stereo/pseudo_stereo.h"

namespace {

uint32_t lengthField(const Bytes& c)
{
    return static_cast<uint32_t>(c.at(4)) | static_cast<uint32_t>(c.at(5)) << 8 |
           static_cast<uint32_t>(c.at(6)) << 16 | static_cast<uint32_t>(c.at(7)) << 24;
}

std::string idField(const Bytes& c)
{
    return std::string(c.begin(), c.begin() + 4);
}

// Lengths are shown as signed 32-bit numbers.
long shownLength(uint32_t length)
{
    return static_cast<long>(static_cast<int32_t>(length));
}

}  // namespace

FormatRecord pcmRecord(uint16_t channels, uint32_t rate, uint16_t bits)
{
    FormatRecord f;
    f.channels = channels;
    f.rate = rate;
    f.bits = bits;
    f.blockAlign = static_cast<uint16_t>(channels * (bits / 8));
    f.byteRate = rate * f.blockAlign;
    return f;
}

Bytes InputFile::bytes() const
{
    std::vector<Bytes> chunks;
    chunks.push_back(chunk("fmt ", fmtBody(format.tag, format.channels, format.rate,
                                           format.byteRate, format.blockAlign, format.bits)));
    chunks.insert(chunks.end(), before.begin(), before.end());
    if (hasData) {
        chunks.push_back(chunk("data", data));
    }
    chunks.insert(chunks.end(), after.begin(), after.end());
    return riffWave(chunks);
}

InputFile monoInput(uint32_t rate, uint16_t bits, const Bytes& data)
{
    InputFile f;
    f.format = pcmRecord(1, rate, bits);
    f.data = data;
    return f;
}

Bytes noise(size_t count, uint32_t seed)
{
    Bytes b(count);
    uint32_t state = seed * 2654435761u + 1u;
    for (uint8_t& v : b) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(state >> 24);
    }
    return b;
}

std::string durationText(uint32_t dataLength, uint32_t byteRate)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f",
                  static_cast<double>(dataLength) / static_cast<double>(byteRate));
    return text;
}

void addReport(Transcript& t, const std::string& path, const InputFile& input)
{
    const FormatRecord& f = input.format;
    t.fileName(path);
    t.fmtLength(16);
    t.format(f.tag, f.channels, f.rate, f.byteRate, f.blockAlign, f.bits);
    for (const Bytes& c : input.before) {
        t.chunkLength(idField(c), shownLength(lengthField(c)));
    }
    const uint32_t dataLength = input.hasData ? static_cast<uint32_t>(input.data.size()) : 0;
    if (input.hasData) {
        t.dataLength(shownLength(dataLength));
    }
    for (const Bytes& c : input.after) {
        t.chunkLength(idField(c), shownLength(lengthField(c)));
    }
    if (f.byteRate == 0) {
        t.timeUnknown();
    } else {
        t.time(durationText(dataLength, f.byteRate));
    }
}

void addConverted(Transcript& t, const std::string& in, const std::string& out)
{
    t.rawOut(t.fixed("\nモノラルファイル [") + in + t.fixed("] を [") + out +
             t.fixed("] へステレオ変換しました.\n"));
}

void addInputTooLarge(Transcript& t)
{
    t.rawErr(t.fixed("入力データが大きすぎます.\n"));
}

void addInputChanged(Transcript& t)
{
    t.rawErr(t.fixed("入力ファイルが読み込みの途中で変わりました.\n"));
}

void addWriteOpenFailed(Transcript& t, const std::string& path)
{
    t.rawErr(path + t.fixed(" をオープンできません.\n"));
}

void addWriteFailed(Transcript& t)
{
    t.rawErr(t.fixed("書き込みにに失敗しました.\n"));
}

void addDataWriteError(Transcript& t)
{
    t.rawErr(t.fixed("wavDataWriteでエラー発生.\n"));
}

Bytes canonicalHeader(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataSize)
{
    const auto blockAlign = static_cast<uint16_t>(channels * (bits / 8));
    Bytes b;
    appendText(b, "RIFF");
    appendU32le(b, dataSize + 36);
    appendText(b, "WAVE");
    appendText(b, "fmt ");
    appendU32le(b, 16);
    appendU16le(b, 1);
    appendU16le(b, channels);
    appendU32le(b, rate);
    appendU32le(b, rate * blockAlign);
    appendU16le(b, blockAlign);
    appendU16le(b, bits);
    appendText(b, "data");
    appendU32le(b, dataSize);
    return b;
}

Bytes synthesized(const Bytes& mono, uint32_t rate, uint16_t bits, float delaySec, float gain)
{
    Bytes in = mono;
    Bytes out(2 * mono.size(), 0xAA);
    StereoJob job;
    job.in.sampleRate = rate;
    job.in.bitsPerSample = bits;
    job.in.channels = 1;
    job.in.dataSize = static_cast<uint32_t>(in.size());
    job.in.samples = in.data();
    job.out = job.in;
    job.out.channels = 2;
    job.out.dataSize = static_cast<uint32_t>(out.size());
    job.out.samples = out.data();
    job.delaySec = delaySec;
    job.echoGain = gain;
    if (!mono.empty()) {
        if (bits == 8) {
            pseudoStereo8(job);
        } else {
            pseudoStereo16(job);
        }
    }
    return out;
}

Bytes expectedOutput(const InputFile& input, float delaySec, float gain)
{
    const auto size = static_cast<uint32_t>(2 * input.data.size());
    return concat({canonicalHeader(2, input.format.rate, input.format.bits, size),
                   synthesized(input.data, input.format.rate, input.format.bits, delaySec, gain)});
}

std::vector<std::string> directoryEntries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t permissionBits(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        throw std::runtime_error("cannot stat " + path);
    }
    return st.st_mode & 07777;
}

UmaskScope::UmaskScope(mode_t mask) : saved_(umask(mask)) {}

UmaskScope::~UmaskScope()
{
    umask(saved_);
}

// Byte-level WAVE fixtures for the tests.
#include "support/wav_builder.h"

void appendU16le(Bytes& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void appendU32le(Bytes& b, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8) {
        b.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
    }
}

void appendText(Bytes& b, const std::string& text)
{
    b.insert(b.end(), text.begin(), text.end());
}

Bytes chunk(const std::string& id, uint32_t declaredLength, const Bytes& body)
{
    Bytes b;
    appendText(b, id);
    appendU32le(b, declaredLength);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes chunk(const std::string& id, const Bytes& body)
{
    return chunk(id, static_cast<uint32_t>(body.size()), body);
}

Bytes fmtBody(uint16_t formatTag, uint16_t channels, uint32_t sampleRate, uint32_t bytesPerSec,
              uint16_t blockAlign, uint16_t bitsPerSample)
{
    Bytes b;
    appendU16le(b, formatTag);
    appendU16le(b, channels);
    appendU32le(b, sampleRate);
    appendU32le(b, bytesPerSec);
    appendU16le(b, blockAlign);
    appendU16le(b, bitsPerSample);
    return b;
}

Bytes fmtChunk(uint16_t channels, uint32_t sampleRate, uint16_t bitsPerSample)
{
    const auto blockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
    return chunk("fmt ", fmtBody(1, channels, sampleRate, sampleRate * blockAlign, blockAlign,
                                 bitsPerSample));
}

Bytes riffWave(const std::vector<Bytes>& chunks, uint32_t riffLength)
{
    Bytes b;
    appendText(b, "RIFF");
    appendU32le(b, riffLength);
    appendText(b, "WAVE");
    for (const Bytes& c : chunks) {
        b.insert(b.end(), c.begin(), c.end());
    }
    return b;
}

Bytes riffWave(const std::vector<Bytes>& chunks)
{
    uint32_t length = 4;
    for (const Bytes& c : chunks) {
        length += static_cast<uint32_t>(c.size());
    }
    return riffWave(chunks, length);
}

Bytes monoWave(uint32_t sampleRate, uint16_t bitsPerSample, const Bytes& data)
{
    return riffWave({fmtChunk(1, sampleRate, bitsPerSample), chunk("data", data)});
}

Bytes samples16(const std::vector<int16_t>& values)
{
    Bytes b;
    for (int16_t v : values) {
        appendU16le(b, static_cast<uint16_t>(v));
    }
    return b;
}

Bytes concat(const std::vector<Bytes>& parts)
{
    Bytes b;
    for (const Bytes& p : parts) {
        b.insert(b.end(), p.begin(), p.end());
    }
    return b;
}

// The delay-and-echo rule that derives a left and a right channel from a mono PCM stream.
#include "stereo/pseudo_stereo.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// 8-bit PCM: unsigned bytes with 128 as silence.
struct Pcm8 {
    static constexpr std::size_t bytes = 1;
    static constexpr int32_t lowest = -128;
    static constexpr int32_t highest = 127;
    // The 8-bit output sounds each echo one delay step later than it reads it.
    static constexpr uint64_t leftOnset = 3;
    static constexpr uint64_t rightOnset = 4;

    static int32_t read(const uint8_t* p) { return static_cast<int32_t>(p[0]) - 128; }
    static void write(uint8_t* p, int32_t value) { p[0] = static_cast<uint8_t>(value + 128); }
};

// 16-bit PCM: signed little-endian, assembled byte by byte so the host order never matters.
struct Pcm16 {
    static constexpr std::size_t bytes = 2;
    static constexpr int32_t lowest = -32768;
    static constexpr int32_t highest = 32767;
    static constexpr uint64_t leftOnset = 2;
    static constexpr uint64_t rightOnset = 3;

    static int32_t read(const uint8_t* p)
    {
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
    }
    static void write(uint8_t* p, int32_t value)
    {
        const auto bits = static_cast<uint16_t>(value);
        p[0] = static_cast<uint8_t>(bits & 0xFFu);
        p[1] = static_cast<uint8_t>(bits >> 8);
    }
};

// The echo term v * g, truncated toward zero. Once |v * g| reaches the full span of the
// sample range, any sample plus or minus it clamps to the same end, so the term is capped
// there: the sums then stay small enough for 32-bit lanes and the conversion is always defined.
template <class Pcm>
inline int32_t echoTerm(int32_t source, double gain)
{
    constexpr double cap = Pcm::highest - Pcm::lowest;
    double product = static_cast<double>(source) * gain;
    product = product < cap ? product : cap;
    product = product > -cap ? product : -cap;
    return static_cast<int32_t>(product);
}

template <class Pcm>
inline int32_t clampSample(int32_t value)
{
    return std::clamp(value, Pcm::lowest, Pcm::highest);
}

// Frames [begin, end) of the rule. The caller picks the range so that each test on the frame
// index (delayed right channel, left echo, right echo) holds for every frame in it or for none,
// which leaves the loop free of branches.
template <class Pcm, bool Delayed, bool LeftEcho, bool RightEcho>
inline void runFrames(const uint8_t* __restrict in, uint8_t* __restrict out, std::size_t begin,
                      std::size_t end, std::size_t delay, double gain)
{
    if (begin >= end) {
        return;
    }
    constexpr std::size_t w = Pcm::bytes;
    // Each source is addressed from the range start, so no pointer ever points before the buffer.
    const uint8_t* now = in + begin * w;
    const uint8_t* delayed = in + (Delayed ? begin - delay : begin) * w;
    const uint8_t* leftSource = in + (LeftEcho ? begin - 2 * delay : begin) * w;
    const uint8_t* rightSource = in + (RightEcho ? begin - 3 * delay : begin) * w;
    uint8_t* frame = out + begin * 2 * w;
    const std::size_t count = end - begin;

    for (std::size_t j = 0; j < count; ++j) {
        const int32_t x = Pcm::read(now + j * w);
        int32_t left = x;
        int32_t right = x;
        if constexpr (Delayed) {
            right = Pcm::read(delayed + j * w);
        }
        if constexpr (LeftEcho) {
            left += echoTerm<Pcm>(Pcm::read(leftSource + j * w), gain);
        }
        if constexpr (RightEcho) {
            right -= echoTerm<Pcm>(Pcm::read(rightSource + j * w), gain);
        }
        Pcm::write(frame + j * 2 * w, clampSample<Pcm>(left));
        Pcm::write(frame + j * 2 * w + w, clampSample<Pcm>(right));
    }
}

// Splits the frames at D and at the two echo onsets (each at most N); within each piece the
// rule's index tests are constant.
template <class Pcm>
inline void synthesize(const uint8_t* in, uint8_t* out, uint64_t frames, uint64_t delay,
                       double gain)
{
    const uint64_t delayed = std::min(delay, frames);
    const uint64_t leftOnset = std::min(Pcm::leftOnset * delay, frames);
    const uint64_t rightOnset = std::min(Pcm::rightOnset * delay, frames);

    runFrames<Pcm, false, false, false>(in, out, 0, delayed, delay, gain);
    runFrames<Pcm, true, false, false>(in, out, delayed, leftOnset, delay, gain);
    runFrames<Pcm, true, true, false>(in, out, leftOnset, rightOnset, delay, gain);
    runFrames<Pcm, true, true, true>(in, out, rightOnset, frames, delay, gain);
}

// The loops vectorise; with AVX2 the conversions to and from double run four lanes at once.
__attribute__((target_clones("avx2", "default"))) void synthesize8(const uint8_t* in,
                                                                   uint8_t* out,
                                                                   uint64_t frames,
                                                                   uint64_t delay, double gain)
{
    synthesize<Pcm8>(in, out, frames, delay, gain);
}

__attribute__((target_clones("avx2", "default"))) void synthesize16(const uint8_t* in,
                                                                    uint8_t* out,
                                                                    uint64_t frames,
                                                                    uint64_t delay, double gain)
{
    synthesize<Pcm16>(in, out, frames, delay, gain);
}

template <class Pcm>
int pseudoStereo(StereoJob& job, void (*run)(const uint8_t*, uint8_t*, uint64_t, uint64_t, double))
{
    const uint64_t frames = job.in.dataSize / Pcm::bytes;
    // A negative step never comes from a valid job; taking it as zero keeps every read in bounds.
    const int32_t step = delaySamples(job.in.sampleRate, job.delaySec);
    const uint64_t delay = step > 0 ? static_cast<uint64_t>(step) : 0;

    if (frames > 0) {
        run(job.in.samples, job.out.samples, frames, delay, static_cast<double>(job.echoGain));
    }
    // A 16-bit stream of odd length leaves a partial sample with no frame: its output bytes are
    // zeroed rather than left as whatever the buffer held.
    const uint64_t written = frames * 2 * Pcm::bytes;
    const uint64_t capacity = 2 * static_cast<uint64_t>(job.in.dataSize);
    if (capacity > written) {
        std::memset(job.out.samples + written, 0, static_cast<std::size_t>(capacity - written));
    }
    return 0;
}

}  // namespace

double delayProduct(uint32_t sampleRate, float delaySec)
{
    return static_cast<double>(sampleRate) * static_cast<double>(delaySec);
}

int32_t delaySamples(uint32_t sampleRate, float delaySec)
{
    return static_cast<int32_t>(delayProduct(sampleRate, delaySec));
}

int pseudoStereo8(StereoJob& job) { return pseudoStereo<Pcm8>(job, synthesize8); }

int pseudoStereo16(StereoJob& job) { return pseudoStereo<Pcm16>(job, synthesize16); }

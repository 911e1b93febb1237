// The delay-and-echo rule that derives a left and a right channel from a mono PCM stream.
#include "stereo/pseudo_stereo.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

// A little-endian 32-bit word through memcpy: one plain store on a little-endian host, where
// four byte stores would cost the vectorised loop a shuffle each, and a byte swap elsewhere.
inline void storeLe32(uint8_t* p, uint32_t word)
{
    if constexpr (std::endian::native == std::endian::big) {
        word = word << 24 | (word << 8 & 0x00FF0000u) | (word >> 8 & 0x0000FF00u) | word >> 24;
    }
    std::memcpy(p, &word, sizeof word);
}

// Once |g| reaches the span of the sample range, any sample plus or minus a nonzero echo term
// clamps to the same end as with the full gain; capping g there keeps terms and sums in 32 bits.
double cappedGain(float gain, int32_t span)
{
    const double cap = span;
    double g = static_cast<double>(gain);
    g = g < cap ? g : cap;
    return g > -cap ? g : -cap;
}

// 8-bit PCM: unsigned bytes with 128 as silence.
struct Pcm8 {
    static constexpr std::size_t bytes = 1;
    static constexpr int32_t lowest = -128;
    static constexpr int32_t highest = 127;
    // The 8-bit output sounds each echo one delay step later than it reads it.
    static constexpr std::size_t leftOnset = 3;
    static constexpr std::size_t rightOnset = 4;

    // The gain as m / 2^shift with m a whole number of at most 24 bits, which any float is.
    struct Gain {
        int32_t mantissa = 0;
        int shift = 0;
        int32_t roundTowardZero = 0;  // 2^shift - 1, added to negative products before shifting
    };

    static Gain prepareGain(float gain)
    {
        int exponent = 0;
        const double fraction = std::frexp(cappedGain(gain, highest - lowest), &exponent);
        Gain g;
        g.mantissa = static_cast<int32_t>(std::ldexp(fraction, 24));
        // The cap bounds the exponent by 8, so the shift is at least 16. Above 31 every
        // product, under 2^31 in magnitude, truncates to 0 just as it does at 31.
        g.shift = std::min(24 - exponent, 31);
        g.roundTowardZero = static_cast<int32_t>((int64_t{1} << g.shift) - 1);
        return g;
    }

    // v * g, truncated toward zero. With at most 8 bits in v and 24 in m the product is exact
    // in 32-bit integers, as it is in double, so both truncate to the same term; the integer
    // form runs eight lanes to a vector instead of four.
    static int32_t echo(int32_t source, const Gain& g)
    {
        const int32_t product = source * g.mantissa;
        return (product + ((product >> 31) & g.roundTowardZero)) >> g.shift;
    }

    static int32_t read(const uint8_t* p) { return static_cast<int32_t>(p[0]) - 128; }

    static void writeFrame(uint8_t* p, int32_t left, int32_t right)
    {
        p[0] = static_cast<uint8_t>(left + 128);
        p[1] = static_cast<uint8_t>(right + 128);
    }
};

// 16-bit PCM: signed little-endian.
struct Pcm16 {
    static constexpr std::size_t bytes = 2;
    static constexpr int32_t lowest = -32768;
    static constexpr int32_t highest = 32767;
    static constexpr std::size_t leftOnset = 2;
    static constexpr std::size_t rightOnset = 3;

    using Gain = double;

    static Gain prepareGain(float gain) { return cappedGain(gain, highest - lowest); }

    // v * g, formed in double, where it is exact, and truncated toward zero.
    static int32_t echo(int32_t source, Gain g)
    {
        return static_cast<int32_t>(static_cast<double>(source) * g);
    }

    static int32_t read(const uint8_t* p)
    {
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
    }

    // Both channels go out as one word, so a frame is a single store.
    static void writeFrame(uint8_t* p, int32_t left, int32_t right)
    {
        storeLe32(p, static_cast<uint32_t>(static_cast<uint16_t>(left)) |
                         static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16);
    }
};

// The rule for `count` consecutive frames whose index tests (delayed right channel, left echo,
// right echo) all come out the same, so the loop has no branch. Each pointer is at the first
// frame's own sample, its delayed sample and its two echo sources.
template <class Pcm, bool Delayed, bool LeftEcho, bool RightEcho>
[[gnu::always_inline]] inline void runFrames(const uint8_t* now, const uint8_t* delayed,
                                             const uint8_t* leftSource, const uint8_t* rightSource,
                                             uint8_t* frame, std::size_t count,
                                             const typename Pcm::Gain& gain)
{
    constexpr std::size_t w = Pcm::bytes;
    // The output never overlaps the input, so no store can feed a later load.
#if defined(__clang__)
#pragma clang loop vectorize(assume_safety)
#elif defined(__GNUC__)
#pragma GCC ivdep
#endif
    for (std::size_t j = 0; j < count; ++j) {
        const int32_t x = Pcm::read(now + j * w);
        int32_t left = x;
        int32_t right = x;
        if constexpr (Delayed) {
            right = Pcm::read(delayed + j * w);
        }
        if constexpr (LeftEcho) {
            left += Pcm::echo(Pcm::read(leftSource + j * w), gain);
        }
        if constexpr (RightEcho) {
            right -= Pcm::echo(Pcm::read(rightSource + j * w), gain);
        }
        Pcm::writeFrame(frame + j * 2 * w, std::clamp(left, Pcm::lowest, Pcm::highest),
                        std::clamp(right, Pcm::lowest, Pcm::highest));
    }
}

// Frames [begin, end), a range the caller chose so that the index tests are constant over it.
template <class Pcm, bool Delayed, bool LeftEcho, bool RightEcho>
[[gnu::always_inline]] inline void runRange(const uint8_t* in, uint8_t* out, std::size_t begin,
                                            std::size_t end, std::size_t delay,
                                            const typename Pcm::Gain& gain)
{
    if (begin >= end) {
        return;
    }
    constexpr std::size_t w = Pcm::bytes;
    // Each source is addressed from the range start, so no pointer points before the buffer.
    const uint8_t* now = in + begin * w;
    const uint8_t* delayed = in + (Delayed ? begin - delay : begin) * w;
    const uint8_t* leftSource = in + (LeftEcho ? begin - 2 * delay : begin) * w;
    const uint8_t* rightSource = in + (RightEcho ? begin - 3 * delay : begin) * w;
    uint8_t* frame = out + begin * 2 * w;
    const std::size_t count = end - begin;

    // Blocks of a fixed length leave no remainder inside the vector loop, so the compiler
    // vectorises them even under its cheapest cost model (-O2); the last few frames follow.
    constexpr std::size_t block = 64;
    std::size_t j = 0;
    for (; j + block <= count; j += block) {
        runFrames<Pcm, Delayed, LeftEcho, RightEcho>(now + j * w, delayed + j * w,
                                                     leftSource + j * w, rightSource + j * w,
                                                     frame + j * 2 * w, block, gain);
    }
    runFrames<Pcm, Delayed, LeftEcho, RightEcho>(now + j * w, delayed + j * w, leftSource + j * w,
                                                 rightSource + j * w, frame + j * 2 * w, count - j,
                                                 gain);
}

// Splits the frames at D and at the two echo onsets, each at most N; within each piece the
// rule's index tests are constant.
template <class Pcm>
[[gnu::always_inline]] inline void synthesize(const uint8_t* in, uint8_t* out, std::size_t frames,
                                              std::size_t delay, float gain)
{
    const typename Pcm::Gain g = Pcm::prepareGain(gain);
    const std::size_t delayed = std::min(delay, frames);
    const std::size_t leftOnset = std::min(Pcm::leftOnset * delay, frames);
    const std::size_t rightOnset = std::min(Pcm::rightOnset * delay, frames);

    runRange<Pcm, false, false, false>(in, out, 0, delayed, delay, g);
    runRange<Pcm, true, false, false>(in, out, delayed, leftOnset, delay, g);
    runRange<Pcm, true, true, false>(in, out, leftOnset, rightOnset, delay, g);
    runRange<Pcm, true, true, true>(in, out, rightOnset, frames, delay, g);
}

// The loops are bound by arithmetic more than by memory until the vectors are wide: AVX2 cuts
// the baseline build's time by half or more and AVX-512 nearly halves it again, so on x86-64
// each width is built three times and the loader picks the best the processor runs.
#if defined(__x86_64__) && defined(__ELF__)
#define SONARI3_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define SONARI3_VECTOR_CLONES
#endif

SONARI3_VECTOR_CLONES void synthesize8(const uint8_t* in, uint8_t* out, std::size_t frames,
                                       std::size_t delay, float gain)
{
    synthesize<Pcm8>(in, out, frames, delay, gain);
}

SONARI3_VECTOR_CLONES void synthesize16(const uint8_t* in, uint8_t* out, std::size_t frames,
                                        std::size_t delay, float gain)
{
    synthesize<Pcm16>(in, out, frames, delay, gain);
}

using Synthesis = void (*)(const uint8_t*, uint8_t*, std::size_t, std::size_t, float);

template <class Pcm>
int pseudoStereo(StereoJob& job, Synthesis synthesis)
{
    const std::size_t frames = job.in.dataSize / Pcm::bytes;
    // A negative step never comes from a valid job; taking it as zero keeps every read in bounds.
    const int32_t step = delaySamples(job.in.sampleRate, job.delaySec);
    const std::size_t delay = step > 0 ? static_cast<std::size_t>(step) : 0;

    if (frames > 0) {
        synthesis(job.in.samples, job.out.samples, frames, delay, job.echoGain);
    }
    // A 16-bit stream of odd length leaves a partial sample with no frame: its two output bytes
    // are zeroed rather than left as whatever the buffer held.
    const uint64_t written = uint64_t{frames} * 2 * Pcm::bytes;
    const uint64_t capacity = 2 * uint64_t{job.in.dataSize};
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

int pseudoStereo8(StereoJob& job)
{
    return pseudoStereo<Pcm8>(job, synthesize8);
}

int pseudoStereo16(StereoJob& job)
{
    return pseudoStereo<Pcm16>(job, synthesize16);
}

// Tests for the delay-and-echo rule that turns a mono 8- or 16-bit stream into stereo frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/wav_info.h"
#include "stereo/pseudo_stereo.h"
#include "support/wav_builder.h"

namespace {

struct Stereo {
    std::vector<int32_t> left;
    std::vector<int32_t> right;
};

// Sample values as stored: 8-bit ones offset by 128, 16-bit ones little-endian.
Bytes encode(int bits, const std::vector<int32_t>& values)
{
    if (bits == 16) {
        std::vector<int16_t> narrow;
        for (int32_t v : values) {
            narrow.push_back(static_cast<int16_t>(v));
        }
        return samples16(narrow);
    }
    Bytes b;
    for (int32_t v : values) {
        b.push_back(static_cast<uint8_t>(v + 128));
    }
    return b;
}

int32_t decodeSample(int bits, const uint8_t* p)
{
    if (bits == 16) {
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
    }
    return static_cast<int32_t>(p[0]) - 128;
}

// Runs the rule on a copy of the input. The output buffer is exactly 2 * dataSize bytes,
// so that AddressSanitizer sees any write past it, and starts as 0xAA garbage.
Bytes runRule(int bits, uint32_t rate, float delaySec, float gain, Bytes input)
{
    Bytes out(2 * input.size(), 0xAA);
    StereoJob job;
    job.in.sampleRate = rate;
    job.in.bitsPerSample = static_cast<uint16_t>(bits);
    job.in.channels = 1;
    job.in.dataSize = static_cast<uint32_t>(input.size());
    job.in.samples = input.data();
    job.out.samples = out.data();
    job.echoGain = gain;
    job.delaySec = delaySec;
    const int status = bits == 16 ? pseudoStereo16(job) : pseudoStereo8(job);
    EXPECT_EQ(status, 0);
    return out;
}

Stereo decode(int bits, const Bytes& out)
{
    const std::size_t w = static_cast<std::size_t>(bits / 8);
    Stereo s;
    for (std::size_t at = 0; at + 2 * w <= out.size(); at += 2 * w) {
        s.left.push_back(decodeSample(bits, &out[at]));
        s.right.push_back(decodeSample(bits, &out[at + w]));
    }
    return s;
}

Stereo runValues(int bits, uint32_t rate, float delaySec, float gain,
                 const std::vector<int32_t>& values)
{
    return decode(bits, runRule(bits, rate, delaySec, gain, encode(bits, values)));
}

// The rule read straight off its statement: one frame at a time, every index test made
// on the signed difference, sums in 64 bits, then clamped.
Bytes referenceStereo(int bits, int32_t delay, float gain, const Bytes& in)
{
    const int32_t w = bits / 8;
    const int32_t frames = static_cast<int32_t>(in.size()) / w;
    const int64_t lowest = bits == 16 ? -32768 : -128;
    const int64_t highest = bits == 16 ? 32767 : 127;
    Bytes out(2 * in.size(), 0);
    auto x = [&](int32_t k) {
        return static_cast<int64_t>(decodeSample(bits, &in[static_cast<std::size_t>(k * w)]));
    };
    auto echo = [&](int64_t v) {
        return static_cast<int64_t>(static_cast<double>(v) * static_cast<double>(gain));
    };
    auto store = [&](int32_t at, int64_t v) {
        v = std::clamp(v, lowest, highest);
        if (bits == 16) {
            const auto u = static_cast<uint16_t>(v);
            out[static_cast<std::size_t>(at)] = static_cast<uint8_t>(u & 0xFF);
            out[static_cast<std::size_t>(at) + 1] = static_cast<uint8_t>(u >> 8);
        } else {
            out[static_cast<std::size_t>(at)] = static_cast<uint8_t>(v + 128);
        }
    };
    const int32_t leftTest = bits == 16 ? 2 : 3;
    const int32_t rightTest = bits == 16 ? 3 : 4;
    for (int32_t i = 0; i < frames; ++i) {
        int64_t left = x(i);
        int64_t right = x(i);
        if (i - delay >= 0) {
            right = x(i - delay);
        }
        if (i - leftTest * delay >= 0) {
            left += echo(x(i - 2 * delay));
        }
        if (i - rightTest * delay >= 0) {
            right -= echo(x(i - 3 * delay));
        }
        store(2 * w * i, left);
        store(2 * w * i + w, right);
    }
    return out;
}

TEST(DelayStep, TruncatesTheDoubleProductOfRateAndSinglePrecisionDelay)
{
    struct Case {
        uint32_t rate;
        float delaySec;
        int32_t step;
    };
    // 0.03f lies just below 0.03, so several products fall just short of a whole number.
    const Case cases[] = {
        {8000, 0.03f, 239},   {11025, 0.03f, 330}, {22050, 0.03f, 661}, {44100, 0.03f, 1322},
        {48000, 0.03f, 1439}, {100, 0.02f, 1},     {8000, 0.00025f, 2}, {8000, 0.0f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz");
        EXPECT_EQ(delaySamples(c.rate, c.delaySec), c.step);
    }
    // In single precision 8000 * 0.03f rounds up to exactly 240.
    EXPECT_LT(delayProduct(8000, 0.03f), 240.0);
    EXPECT_GT(delayProduct(8000, 0.03f), 239.9999);
}

// Whole outputs for short inputs; each case states every frame.
TEST(PseudoStereo, ProducesTheStatedFrames)
{
    struct Case {
        std::string name;
        int bits;
        uint32_t rate;
        float delaySec;
        float gain;
        std::vector<int32_t> input;
        std::vector<int32_t> left;
        std::vector<int32_t> right;
    };
    const std::vector<int32_t> ramp16 = {100, 200, 300, 400, 500, 600, 700, 800};
    const std::vector<int32_t> ramp8 = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    const std::vector<int32_t> silence(9, 0);
    // clang-format off
    const Case cases[] = {
        {"16-bit worked example, D = 2", 16, 8000, 0.00025f, 0.5f, ramp16,
         {100, 200, 300, 400, 550, 700, 850, 1000},
         {100, 200, 100, 200, 300, 400, 450, 500}},
        {"8-bit worked example, echoes one step later", 8, 8000, 0.00025f, 0.5f, ramp8,
         {10, 20, 30, 40, 50, 60, 85, 100, 115, 127},
         {10, 20, 10, 20, 30, 40, 50, 60, 55, 60}},
        {"16-bit negative gain", 16, 8000, 0.00025f, -0.5f, ramp16,
         {100, 200, 300, 400, 450, 500, 550, 600},
         {100, 200, 100, 200, 300, 400, 550, 700}},
        {"16-bit gain 0 is a pure delay", 16, 8000, 0.00025f, 0.0f, ramp16,
         ramp16,
         {100, 200, 100, 200, 300, 400, 500, 600}},
        {"8-bit gain 0 is a pure delay", 8, 8000, 0.00025f, 0.0f, ramp8,
         ramp8,
         {10, 20, 10, 20, 30, 40, 50, 60, 70, 80}},
        {"16-bit D = 0 echoes each sample onto itself", 16, 8000, 0.0f, 0.5f,
         {100, -100, 1000, -7},
         {150, -150, 1500, -10},
         {50, -50, 500, -4}},
        {"8-bit D = 0 echoes each sample onto itself", 8, 8000, 0.0f, 0.5f,
         {100, -100, 7, -7},
         {127, -128, 10, -10},
         {50, -50, 4, -4}},
        {"16-bit D = N copies the input", 16, 5, 1.0f, 0.3f,
         {1, -2, 30000, -32768, 32767},
         {1, -2, 30000, -32768, 32767},
         {1, -2, 30000, -32768, 32767}},
        {"8-bit D = N + 1 copies the input", 8, 6, 1.0f, 0.3f,
         {1, -2, 127, -128, 0},
         {1, -2, 127, -128, 0},
         {1, -2, 127, -128, 0}},
        {"16-bit largest D copies the input", 16, 715827882, 1.0f, 65535.0f,
         {5, -5, 32767}, {5, -5, 32767}, {5, -5, 32767}},
        {"8-bit largest D copies the input", 8, 536870911, 1.0f, 16777215.0f,
         {5, -5, 127}, {5, -5, 127}, {5, -5, 127}},
        {"16-bit silence stays silent", 16, 100, 0.02f, 0.3f, silence, silence, silence},
        {"8-bit silence stays silent", 8, 100, 0.02f, 0.3f, silence, silence, silence},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Stereo s = runValues(c.bits, c.rate, c.delaySec, c.gain, c.input);
        EXPECT_EQ(s.left, c.left);
        EXPECT_EQ(s.right, c.right);
    }
}

TEST(PseudoStereo, EightBitFramesAreStoredOffsetBy128)
{
    const Bytes out =
        runRule(8, 8000, 0.00025f, 0.5f, {138, 148, 158, 168, 178, 188, 198, 208, 218, 228});
    const Bytes expected = {138, 138, 148, 148, 158, 138, 168, 148, 178, 158,
                            188, 168, 213, 178, 228, 188, 243, 183, 255, 188};
    EXPECT_EQ(out, expected);
}

TEST(PseudoStereo, SixteenBitFramesAreLittleEndianLeftThenRight)
{
    const Bytes out = runRule(16, 8000, 0.0f, 0.0f, {0x34, 0x12, 0xFE, 0xFF});
    const Bytes expected = {0x34, 0x12, 0x34, 0x12, 0xFE, 0xFF, 0xFE, 0xFF};
    EXPECT_EQ(out, expected);
}

// With D = 1 the sample at frame 1 is the left echo source of frame 3 and the right
// echo source of frame 4 for both widths, and every other sample is silent, so those
// frames show the echo term itself.
TEST(PseudoStereo, EchoTermIsTheDoubleProductTruncatedTowardZero)
{
    struct Case {
        int bits;
        float gain;
        int32_t source;
        int32_t term;
    };
    const Case cases[] = {
        {8, 0.3f, 10, 3},
        {8, 0.3f, -10, -3},
        {8, 0.3f, 100, 30},
        {8, 0.3f, 127, 38},
        {8, 0.3f, -128, -38},
        {8, -0.3f, 10, -3},
        {16, 0.3f, 10, 3},
        {16, 0.3f, -10, -3},
        {16, 0.3f, 100, 30},
        {16, 0.3f, 32767, 9830},
        {16, 0.3f, -32768, -9830},
        {16, -0.3f, 10, -3},
        // 0.7f lies below 0.7: in double 10 * 0.7f is just under 7, in float it rounds to 7.
        {8, 0.7f, 10, 6},
        {16, 0.7f, 10, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + "-bit source " + std::to_string(c.source) + " gain " +
                     std::to_string(c.gain));
        const Stereo s = runValues(c.bits, 100, 0.02f, c.gain, {0, c.source, 0, 0, 0, 0});
        EXPECT_EQ(s.left[3], c.term);
        EXPECT_EQ(s.right[4], -c.term);
    }
}

// A constant input past every onset gives L = x + E(x) and R = x - E(x), clamped.
TEST(PseudoStereo, ClampsBothChannelsAtBothEnds)
{
    struct Case {
        int bits;
        int32_t value;
        float gain;
        int32_t left;
        int32_t right;
    };
    const Case cases[] = {
        {16, 30000, 0.3f, 32767, 21000},
        {16, -30000, 0.3f, -32768, -21000},
        {16, 30000, -0.3f, 21000, 32767},
        {16, -30000, -0.3f, -21000, -32768},
        {16, -32768, 65535.0f, -32768, 32767},
        {16, 32767, 65535.0f, 32767, -32768},
        {16, 32767, -65535.0f, -32768, 32767},
        {8, 127, 0.3f, 127, 89},
        {8, -128, 0.3f, -128, -90},
        {8, 127, -0.3f, 89, 127},
        {8, -128, 16777215.0f, -128, 127},
        {8, 127, 16777215.0f, 127, -128},
        {8, 127, -16777215.0f, -128, 127},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + "-bit value " + std::to_string(c.value) + " gain " +
                     std::to_string(c.gain));
        const Stereo s = runValues(c.bits, 100, 0.02f, c.gain, std::vector<int32_t>(8, c.value));
        for (std::size_t i = 4; i < 8; ++i) {
            EXPECT_EQ(s.left[i], c.left) << "frame " << i;
            EXPECT_EQ(s.right[i], c.right) << "frame " << i;
        }
    }
}

TEST(PseudoStereo, SixteenBitOddLengthIgnoresTheLastByteAndZeroesItsOutput)
{
    const Bytes even = encode(16, {100, 200, 300, 400, 500, 600, 700, 800});
    const Bytes evenOut = runRule(16, 8000, 0.00025f, 0.5f, even);
    for (uint8_t last : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
        Bytes odd = even;
        odd.push_back(last);
        const Bytes out = runRule(16, 8000, 0.00025f, 0.5f, odd);
        ASSERT_EQ(out.size(), evenOut.size() + 2);
        EXPECT_TRUE(std::equal(evenOut.begin(), evenOut.end(), out.begin()));
        EXPECT_EQ(out[out.size() - 2], 0);
        EXPECT_EQ(out[out.size() - 1], 0);
    }
    EXPECT_EQ(runRule(16, 8000, 0.03f, 0.3f, {0x55}), (Bytes{0, 0}));
}

// Frame 0 holds a marker a, every other frame c, with gain 0.5: the right channel picks the
// marker up exactly at D, and each echo changes its channel exactly at its onset.
TEST(PseudoStereo, DelayAndEchoesStartAtTheirOnsetFrames)
{
    struct Case {
        int bits;
        uint32_t rate;
        std::size_t step;
        std::size_t leftOnset;
        std::size_t rightOnset;
        int32_t leftAtOnset;
        int32_t rightAtOnset;
    };
    const int32_t a = 100;
    const int32_t c = 40;
    // 16 bits: the marker is the first echo source (c + 50, c - 50). 8 bits: each echo starts
    // one step later, so the marker is never echoed and the first source is c (c + 20, c - 20).
    const Case cases[] = {
        {16, 44100, 1322, 2644, 3966, 90, -10},
        {8, 44100, 1322, 3966, 5288, 60, 20},
        {16, 8000, 239, 478, 717, 90, -10},
        {8, 8000, 239, 717, 956, 60, 20},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.bits) + "-bit at " + std::to_string(k.rate) + " Hz");
        std::vector<int32_t> input(k.rightOnset + 3, c);
        input[0] = a;
        const Stereo s = runValues(k.bits, k.rate, 0.03f, 0.5f, input);

        EXPECT_EQ(s.right[0], a);
        EXPECT_EQ(s.right[k.step - 1], c);
        EXPECT_EQ(s.right[k.step], a);
        EXPECT_EQ(s.right[k.step + 1], c);
        for (std::size_t i = 1; i < k.leftOnset; ++i) {
            ASSERT_EQ(s.left[i], c) << "left channel echoed early at frame " << i;
        }
        EXPECT_EQ(s.left[k.leftOnset], k.leftAtOnset);
        for (std::size_t i = k.step + 1; i < k.rightOnset; ++i) {
            ASSERT_EQ(s.right[i], c) << "right channel echoed early at frame " << i;
        }
        EXPECT_EQ(s.right[k.rightOnset], k.rightAtOnset);
        EXPECT_EQ(s.left.back(), c + 20);
        EXPECT_EQ(s.right.back(), c - 20);
    }
}

// The split loops against the plain per-frame reading of the rule, over random samples,
// lengths, steps around the length and gains up to the largest the callers allow.
TEST(PseudoStereo, MatchesThePerFrameRuleOnRandomInput)
{
    std::mt19937 random(20240611u);
    const std::size_t lengths[] = {0, 1, 2, 3, 4, 7, 12, 64, 65, 257};
    for (int bits : {8, 16}) {
        const float largest = bits == 16 ? 65535.0f : 16777215.0f;
        std::vector<float> gains = {0.3f,   -0.3f,   0.0f,    -0.0f,  1.0f,    0.7f,    -2.5f,
                                    255.0f, 255.75f, -256.0f, 1e-30f, largest, -largest};
        // Random gains of every size up to the largest, with random mantissas.
        std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
        std::uniform_int_distribution<int> exponent(-30, bits == 16 ? 15 : 23);
        for (int k = 0; k < 12; ++k) {
            const float g = std::min(std::ldexp(mantissa(random), exponent(random)), largest);
            gains.push_back(k % 2 == 0 ? g : -g);
        }
        for (std::size_t frames : lengths) {
            const auto n = static_cast<int32_t>(frames);
            std::vector<int32_t> steps = {0, 1, 2, 3, n / 4, n / 3, n / 2, n - 1, n, n + 1, 1000};
            steps.push_back(static_cast<int32_t>(random() % (frames + 2)));
            for (bool oddTail : {false, true}) {
                if (oddTail && bits == 8) {
                    continue;
                }
                Bytes input(frames * static_cast<std::size_t>(bits / 8) + (oddTail ? 1 : 0));
                for (uint8_t& b : input) {
                    b = static_cast<uint8_t>(random());
                }
                for (int32_t step : steps) {
                    if (step < 0) {
                        continue;
                    }
                    for (float gain : gains) {
                        SCOPED_TRACE(std::to_string(bits) + "-bit, " +
                                     std::to_string(input.size()) + " bytes, D = " +
                                     std::to_string(step) + ", gain " + std::to_string(gain));
                        // A rate of D with a one-second delay gives exactly D.
                        const Bytes out =
                            runRule(bits, static_cast<uint32_t>(step), 1.0f, gain, input);
                        ASSERT_EQ(out, referenceStereo(bits, step, gain, input));
                    }
                }
            }
        }
    }
}

}  // namespace

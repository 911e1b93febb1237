// Measures the stereo synthesis on long 8- and 16-bit streams, next to a memcpy of the same
// output size as the floor that memory bandwidth sets.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "app/wav_info.h"
#include "stereo/pseudo_stereo.h"

namespace {

// 16 M frames: far larger than any cache, so the figures are those of a long recording.
constexpr uint32_t frameCount = 16u * 1024u * 1024u;

std::vector<uint8_t> noise(std::size_t size)
{
    std::mt19937 random(1234u);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

void runSynthesis(benchmark::State& state, uint16_t bits, int (*synthesize)(StereoJob&))
{
    const uint32_t dataSize = frameCount * (bits / 8u);
    std::vector<uint8_t> input = noise(dataSize);
    std::vector<uint8_t> output(2 * static_cast<std::size_t>(dataSize));

    StereoJob job;
    job.in.sampleRate = 44100;
    job.in.bitsPerSample = bits;
    job.in.channels = 1;
    job.in.dataSize = dataSize;
    job.in.samples = input.data();
    job.out.samples = output.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(synthesize(job));
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(frameCount, benchmark::Counter::kIsIterationInvariantRate);
}

// The floor: copying as many bytes as the synthesis writes.
void runCopy(benchmark::State& state, uint16_t bits)
{
    const std::size_t outSize = 2 * static_cast<std::size_t>(frameCount) * (bits / 8u);
    std::vector<uint8_t> source = noise(outSize);
    std::vector<uint8_t> target(outSize);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), outSize);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(frameCount, benchmark::Counter::kIsIterationInvariantRate);
}

void pseudoStereo8Bits(benchmark::State& state)
{
    runSynthesis(state, 8, pseudoStereo8);
}
void pseudoStereo16Bits(benchmark::State& state)
{
    runSynthesis(state, 16, pseudoStereo16);
}
void memcpy8BitOutput(benchmark::State& state)
{
    runCopy(state, 8);
}
void memcpy16BitOutput(benchmark::State& state)
{
    runCopy(state, 16);
}

}  // namespace

BENCHMARK(pseudoStereo8Bits)->Unit(benchmark::kMillisecond);
BENCHMARK(memcpy8BitOutput)->Unit(benchmark::kMillisecond);
BENCHMARK(pseudoStereo16Bits)->Unit(benchmark::kMillisecond);
BENCHMARK(memcpy16BitOutput)->Unit(benchmark::kMillisecond);

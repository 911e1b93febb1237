// The conversion stage: refuses what the output or the rule cannot hold, builds
// the stereo description, reads the input a second time and writes the result.
#include <cmath>
#include <cstdint>

#include "app/entry.h"
#include "console/console.h"
#include "stereo/pseudo_stereo.h"
#include "wav/wav_read.h"
#include "wav/wav_write.h"

namespace {

// Twice the data plus the 36 header bytes counted in the RIFF length must fit 32 bits.
constexpr uint32_t kMaxInputData = 2147483629u;

// The rule forms 3D (16 bits) or 4D (8 bits) in signed 32-bit arithmetic, and
// its echo sums must stay within 32 bits.
constexpr int32_t kMaxDelay16 = 715827882;
constexpr int32_t kMaxDelay8 = 536870911;
constexpr double kMaxGain16 = 65535.0;
constexpr double kMaxGain8 = 16777215.0;

int checkParameters(const StereoJob& job)
{
    const bool eightBit = job.out.bitsPerSample == 8;
    const double product = delayProduct(job.out.sampleRate, job.delaySec);
    if (!(product < 2147483648.0) ||
        delaySamples(job.out.sampleRate, job.delaySec) > (eightBit ? kMaxDelay8 : kMaxDelay16)) {
        consoleErr(Text::BadDelay);
        return -1;
    }
    if (std::fabs(static_cast<double>(job.echoGain)) > (eightBit ? kMaxGain8 : kMaxGain16)) {
        consoleErr(Text::BadGain);
        return -1;
    }
    return 0;
}

}  // namespace

int runConversion(const char* inputPath, const char* outputPath, StereoJob& job)
{
    if (job.out.dataSize > kMaxInputData) {
        consoleErr(Text::InputTooLarge);
        wavRelease(job.out);
        return -1;
    }
    if (checkParameters(job) != 0) {
        wavRelease(job.out);
        return -1;
    }

    job.out.dataSize *= 2;
    job.out.channels = 2;
    wavRelease(job.out);
    job.out.samples = wavAllocate(job.out.dataSize);
    if (job.out.samples == nullptr) {
        consoleErr(Text::NoMemory);
        return -1;
    }

    if (wavFileRead(inputPath, job.in) != 0) {
        wavRelease(job.out);
        return -1;
    }
    // The output buffer was sized from the first reading; a file that changed since
    // would make the synthesis run past it.
    if (static_cast<uint64_t>(job.in.dataSize) * 2 != job.out.dataSize ||
        job.in.bitsPerSample != job.out.bitsPerSample || job.in.sampleRate != job.out.sampleRate ||
        job.in.channels != 1) {
        consoleErr(Text::InputChanged);
        wavRelease(job.out);
        wavRelease(job.in);
        return -1;
    }

    if (wavFileWrite(outputPath, job) != 0) {
        wavRelease(job.out);
        wavRelease(job.in);
        return -1;
    }
    consoleOut(Text::Converted, inputPath, outputPath);
    wavRelease(job.out);
    wavRelease(job.in);
    return 0;
}

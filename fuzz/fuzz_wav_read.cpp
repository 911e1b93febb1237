// Fuzzes the WAVE reader: the input bytes are the whole file. The file lives in a
// memfd and is read through /proc/self/fd/N, so that no run touches the disk.
//
// Checked after each read:
//  - the status is 0 or -1, and after -1 no buffer is held;
//  - after 0, a buffer is held exactly when the file has a "data" chunk, and it
//    holds dataSize bytes equal to the body of the last "data" chunk;
//  - after 0, the format fields are the last "fmt " chunk's (zero without one),
//    and an accepted format is 8 or 16 bits;
// and, through AddressSanitizer, LeakSanitizer and UBSan, that the reader
// neither touches memory it does not own nor leaks.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/wav_info.h"
#include "fuzz/chunk_walk.h"
#include "fuzz/fuzz_common.h"
#include "wav/wav_read.h"

namespace {

int g_fd = -1;
std::string g_path;

void putInput(const uint8_t* data, size_t size)
{
    FUZZ_CHECK(ftruncate(g_fd, 0) == 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(g_fd, data + done, size - done, static_cast<off_t>(done));
        FUZZ_CHECK(n > 0);
        done += static_cast<size_t>(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    fuzzSetUp();
    g_fd = memfd_create("sonari3-fuzz-input", MFD_CLOEXEC);
    FUZZ_CHECK(g_fd >= 0);
    g_path = "/proc/self/fd/" + std::to_string(g_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ChunkWalk walk = walkChunks(data, size);
    if (walk.hugeData) {
        return -1;  // not added to the corpus; see kMaxDeclaredData
    }
    putInput(data, size);

    WavInfo info;
    const int status = wavFileRead(g_path.c_str(), info);
    FUZZ_CHECK(status == 0 || status == -1);
    if (status == -1) {
        FUZZ_CHECK(info.samples == nullptr);
        return 0;
    }

    FUZZ_CHECK(walk.riffWave);
    // The format is the last "fmt " chunk's, or all zero without one.
    FUZZ_CHECK(info.bitsPerSample == walk.bitsPerSample);
    FUZZ_CHECK(info.channels == walk.channels);
    FUZZ_CHECK(info.sampleRate == walk.sampleRate);
    FUZZ_CHECK(info.bitsPerSample == 0 || info.bitsPerSample == 8 || info.bitsPerSample == 16);
    FUZZ_CHECK((info.samples != nullptr) == walk.hasData);
    if (info.samples != nullptr) {
        FUZZ_CHECK(info.dataSize == walk.dataLength);
        FUZZ_CHECK(std::memcmp(info.samples, data + walk.dataOffset, info.dataSize) == 0);
        // The first and last bytes once more, so that a short buffer shows as a
        // heap overflow even where the comparison were optimised away.
        const volatile uint8_t* samples = info.samples;
        FUZZ_CHECK(samples[0] == data[walk.dataOffset]);
        FUZZ_CHECK(samples[info.dataSize - 1] == data[walk.dataOffset + info.dataSize - 1]);
    } else {
        FUZZ_CHECK(info.dataSize == 0);
    }
    wavRelease(info);
    FUZZ_CHECK(info.samples == nullptr);
    return 0;
}

// Ownership of a description's sample buffer.
#include "app/wav_info.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

// Transparent huge pages come in 2 MiB; below a few of them they do not pay.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kHugeThreshold = 4 * kHugePage;

}  // namespace

uint8_t* wavAllocate(uint32_t size)
{
    if (size == 0) {
        return nullptr;
    }
    if (size < kHugeThreshold) {
        return static_cast<uint8_t*>(std::malloc(size));
    }
    // Filling hundreds of megabytes page by page costs more than the conversion
    // itself: large buffers are aligned for, and ask for, huge pages.
    void* buffer = nullptr;
    if (posix_memalign(&buffer, kHugePage, size) != 0) {
        return nullptr;
    }
    madvise(buffer, size & ~(kHugePage - 1), MADV_HUGEPAGE);
    return static_cast<uint8_t*>(buffer);
}

void wavRelease(WavInfo& info)
{
    if (info.samples != nullptr) {
        std::free(info.samples);
        info.samples = nullptr;
    }
}

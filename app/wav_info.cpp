// Ownership of a description's sample buffer.
#include "app/wav_info.h"

#include <cstdlib>

void wavRelease(WavInfo& info)
{
    if (info.samples != nullptr) {
        std::free(info.samples);
        info.samples = nullptr;
    }
}

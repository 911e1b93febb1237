// The delay-and-echo rule that derives two channels from one.
#pragma once

#include <cstdint>

#include "app/wav_info.h"

// The exact product of the rate and the single-precision delay, in double precision.
double delayProduct(uint32_t sampleRate, float delaySec);

// The delay step D in frames: delayProduct truncated toward zero.
// The caller guarantees 0 <= product < 2^31.
int32_t delaySamples(uint32_t sampleRate, float delaySec);

// Fill job.out.samples (2 * job.in.dataSize bytes) from job.in; both return 0.
int pseudoStereo8(StereoJob& job);
int pseudoStereo16(StereoJob& job);

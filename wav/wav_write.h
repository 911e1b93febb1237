// Writing the stereo output: a canonical 44-byte WAVE header and the sample data.
#pragma once

#include <cstdio>

#include "app/wav_info.h"

// Writes job.out as a WAVE file at path. An existing regular file (or the file a
// symbolic link names) is replaced only once the new file is complete; on failure
// it is left as it was. Returns 0 or -1.
int wavFileWrite(const char* path, StereoJob& job);

// Writes the 44-byte header for info and returns the stream position after it;
// 44 means success.
long wavHeaderWrite(FILE* stream, const WavInfo& info);

// Runs the synthesis into job.out.samples and writes them; returns 0 or -1.
int wavDataWrite(FILE* stream, StereoJob& job);

// The program's entry: arguments, parameter checks, the first reading and the
// mono check, then the conversion.
#pragma once

#include "app/wav_info.h"

// Runs one whole conversion for the argument vector (program name first) and
// returns the exit status: 0, or -1 on any failure.
int sonari3Main(int argc, const char* const* argv);

// Writes the usage text to standard error.
void printUsage();

// Reads the longest decimal number at the start of text, after white space:
// optional sign, digits with an optional point, optional exponent. Text without
// one reads as 0; hexadecimal, "inf" and "nan" are not numbers here.
double decimalArgument(const char* text);

// Rounds a double to the nearest float, giving infinity where it overflows.
float toSingle(double value);

// The conversion stage: turns job.out into its stereo form, reads the input again
// into job.in, writes the output file and confirms. Releases both buffers.
int runConversion(const char* inputPath, const char* outputPath, StereoJob& job);

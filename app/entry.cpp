// The entry point's work: effect parameters from the command line, the usage
// text, refusal of unusable parameters, the first reading and the mono check.
#include "app/entry.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "console/console.h"
#include "wav/wav_read.h"

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

double decimalArgument(const char* text)
{
    const char* p = text;
    while (isSpace(*p)) {
        ++p;
    }
    // Copy only what the decimal grammar takes, so that the conversion below can
    // never see hexadecimal, "inf" or "nan".
    std::string number;
    if (*p == '+' || *p == '-') {
        number += *p++;
    }
    size_t digits = 0;
    while (isDigit(*p)) {
        number += *p++;
        ++digits;
    }
    if (*p == '.') {
        number += *p++;
        while (isDigit(*p)) {
            number += *p++;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') {
            ++q;
        }
        if (isDigit(*q)) {
            while (p < q) {
                number += *p++;
            }
            while (isDigit(*p)) {
                number += *p++;
            }
        }
    }
    // strtod rounds correctly; the program never sets LC_NUMERIC, so the point is ".".
    return std::strtod(number.c_str(), nullptr);
}

float toSingle(double value)
{
    // Beyond FLT_MAX plus half a unit in the last place, round-to-nearest gives infinity.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (std::isnan(value)) {
        return static_cast<float>(value);
    }
    if (value >= kOverflow) {
        return HUGE_VALF;
    }
    if (value <= -kOverflow) {
        return -HUGE_VALF;
    }
    return static_cast<float>(value);
}

void printUsage()
{
    consoleErr(Text::Usage);
}

int sonari3Main(int argc, const char* const* argv)
{
    StereoJob job;
    job.echoGain = 0.3f;
    job.delaySec = 0.03f;
    if (argc > 4) {
        job.echoGain = toSingle(decimalArgument(argv[4]));
    }
    if (argc > 3) {
        job.delaySec = toSingle(decimalArgument(argv[3]));
    }
    if (argc < 3) {
        printUsage();
        return -1;
    }
    // Parameters the rule cannot use are refused before any file is opened.
    if (!std::isfinite(job.delaySec) || job.delaySec < 0.0f) {
        consoleErr(Text::BadDelay);
        return -1;
    }
    if (!std::isfinite(job.echoGain)) {
        consoleErr(Text::BadGain);
        return -1;
    }

    if (wavFileRead(argv[1], job.out) != 0) {
        return -1;
    }
    if (job.out.channels != 1) {
        consoleErr(Text::NotMono);
        wavRelease(job.out);
        return -1;
    }
    return runConversion(argv[1], argv[2], job);
}

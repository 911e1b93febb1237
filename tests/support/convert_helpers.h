// Fixtures for the conversion tests: input files described field by field, the
// report the program prints for them, the messages of the conversion stage and the
// writer, and the output file a conversion must produce.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/report_text.h"
#include "support/wav_builder.h"

// The 16-byte format record, field by field, as it is in the file and in the report.
struct FormatRecord {
    uint16_t tag = 1;
    uint16_t channels = 1;
    uint32_t rate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
};

// A consistent PCM record (byte rate and block alignment computed in 32 bits, as
// fmtChunk() does).
FormatRecord pcmRecord(uint16_t channels, uint32_t rate, uint16_t bits);

// An input file: "fmt ", the chunks before "data", "data" (unless absent), the
// chunks after it. Chunks are made with chunk(), without pad bytes.
struct InputFile {
    FormatRecord format;
    Bytes data;
    bool hasData = true;
    std::vector<Bytes> before;
    std::vector<Bytes> after;

    Bytes bytes() const;
};

// A mono PCM input with the given sample bytes.
InputFile monoInput(uint32_t rate, uint16_t bits, const Bytes& data);

// Deterministic pseudo-random bytes.
Bytes noise(size_t count, uint32_t seed);

// The duration the report shows: data length over the format's byte rate, "%.3f".
std::string durationText(uint32_t dataLength, uint32_t byteRate);

// One reading's report of the input at path, as the path is given on the command line.
void addReport(Transcript& t, const std::string& path, const InputFile& input);

// The messages of the conversion stage and of the writer.
void addConverted(Transcript& t, const std::string& in, const std::string& out);
void addInputTooLarge(Transcript& t);
void addInputChanged(Transcript& t);
void addWriteOpenFailed(Transcript& t, const std::string& path);
void addWriteFailed(Transcript& t);
void addDataWriteError(Transcript& t);

// The canonical 44-byte header: "RIFF", dataSize + 36, "WAVE", a 16-byte PCM "fmt "
// with the byte rate and alignment computed, "data", dataSize.
Bytes canonicalHeader(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataSize);

// The stereo samples for a mono stream, made by the program's own synthesis (whose
// suite checks it); used to see that files carry exactly what it produces.
Bytes synthesized(const Bytes& mono, uint32_t rate, uint16_t bits, float delaySec = 0.03f,
                  float gain = 0.3f);

// The whole output file a conversion of input must write.
Bytes expectedOutput(const InputFile& input, float delaySec = 0.03f, float gain = 0.3f);

// The names in a directory, sorted, without "." and "..".
std::vector<std::string> directoryEntries(const std::string& dir);

// Permission bits of a path (following links).
mode_t permissionBits(const std::string& path);

// Sets the process umask for its lifetime.
class UmaskScope {
   public:
    explicit UmaskScope(mode_t mask);
    ~UmaskScope();
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

   private:
    mode_t saved_;
};

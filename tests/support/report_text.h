// The console text a run of sonari3 is expected to write, built up in the order of
// writing: what goes to standard output, to standard error, and to both merged.
// The program's fixed texts are spelt out here, in UTF-8, independently of its
// catalogue, and turned into the console's encoding; paths and chunk identifiers
// are spliced in as raw bytes, never converted.
#pragma once

#include <cstdint>
#include <string>

enum class ConsoleEncoding { ShiftJis, Utf8 };

// The encoding the program uses under a value of LC_ALL.
ConsoleEncoding encodingFor(const std::string& locale);

class Transcript {
   public:
    explicit Transcript(ConsoleEncoding encoding = ConsoleEncoding::ShiftJis);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }
    const std::string& merged() const { return merged_; }

    // Fixed text, given in UTF-8, in this console's encoding.
    std::string fixed(const std::string& utf8) const;

    // Bytes written as they are.
    Transcript& rawOut(const std::string& bytes);
    Transcript& rawErr(const std::string& bytes);

    // Entry.
    Transcript& usage();
    Transcript& badDelay();
    Transcript& badGain();
    Transcript& notMono();

    // Reader.
    Transcript& cannotOpen(const std::string& path);
    Transcript& fileName(const std::string& path);
    Transcript& readFailedAt(long bytesRead);
    Transcript& noWave();
    Transcript& notRiff();
    Transcript& fmtLength(long length);
    // The six lines describing the 16-byte format record.
    Transcript& format(unsigned tag, unsigned channels, unsigned long sampleRate,
                       unsigned long bytesPerSec, unsigned blockAlign, unsigned bits);
    // The two lines refusing a format tag; hex is the tag as the program shows it.
    Transcript& pcmOnly(const std::string& hex);
    Transcript& bitsOnly(int bits);
    Transcript& dataLength(long length);
    Transcript& noMemory();
    Transcript& dataReadFailed();
    // Any other chunk: its four identifier bytes exactly as in the file.
    Transcript& chunkLength(const std::string& id, long length);
    // shown is the duration with three decimals, e.g. "1.000".
    Transcript& time(const std::string& shown);
    Transcript& timeUnknown();

    // A whole accepted "fmt " chunk of 16 bytes: length line and the six lines.
    Transcript& pcmFormat(unsigned channels, unsigned long sampleRate, unsigned bits);

   private:
    Transcript& fixedOut(const std::string& utf8);
    Transcript& fixedErr(const std::string& utf8);

    ConsoleEncoding encoding_;
    std::string out_;
    std::string err_;
    std::string merged_;
};

// The usage text in UTF-8, as the catalogue must hold it.
extern const char* const kUsageUtf8;

// An input whose sample data is too large for the output: 2,147,483,630 bytes, one
// more than the largest that doubled still fits the RIFF length with the header.
// The file is sparse (its data is a hole), so it costs no disk; each run reads it
// once, whole.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/convert_helpers.h"
#include "support/report_text.h"
#include "support/run_program.h"

namespace {

constexpr uint32_t kTooLarge = 2147483630u;

// A file of the given format whose "data" chunk declares and really holds kTooLarge
// zero bytes.
void makeSparseInput(const std::string& path, const FormatRecord& f)
{
    Bytes header =
        chunk("fmt ", fmtBody(f.tag, f.channels, f.rate, f.byteRate, f.blockAlign, f.bits));
    header = riffWave({header, chunk("data", kTooLarge, {})}, kTooLarge + 36);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, header.data(), header.size()), static_cast<ssize_t>(header.size()));
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(header.size()) + kTooLarge), 0);
    close(fd);
}

// Report lines for the sparse input (the data line reads "2147483630").
Transcript reportOf(const std::string& path, const FormatRecord& f)
{
    Transcript t;
    t.fileName(path);
    t.fmtLength(16);
    t.format(f.tag, f.channels, f.rate, f.byteRate, f.blockAlign, f.bits);
    t.dataLength(static_cast<long>(kTooLarge));
    t.time(durationText(kTooLarge, f.byteRate));
    return t;
}

}  // namespace

// The size check comes first: even with a delay and a gain that would be refused
// too, only the size is reported, after one reading, and nothing is written.
TEST(LargeInput, DataOneByteOverTheLimitIsRefusedAfterOneReport)
{
    struct Case {
        const char* name;
        std::vector<std::string> parameters;
    };
    const Case cases[] = {
        {"DefaultParameters", {}},
        {"WithBadDelayAndGain", {"1e9", "1e9"}},
    };
    TempDir dir;
    const std::string in = dir.file("big.wav");
    const std::string out = dir.file("out.wav");
    const FormatRecord format = pcmRecord(1, 44100, 16);
    makeSparseInput(in, format);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{in, out};
        args.insert(args.end(), c.parameters.begin(), c.parameters.end());

        const RunResult r = runSonari3Merged(args);

        Transcript t = reportOf(in, format);
        addInputTooLarge(t);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, t.merged());
        EXPECT_FALSE(fileExists(out));
    }
}

// End-to-end runs of the built program: the usage text, refused parameters, and
// the report of the input's chunks, compared byte for byte on standard output, on
// standard error and on both merged into one log, with the exit status.
//
// A mono input the reader accepts goes on to the conversion, which writes more
// after the first report; for those runs only the beginning of each stream is
// compared. Every refused run is compared whole, and must leave an existing
// output file as it was.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/report_text.h"
#include "support/run_program.h"
#include "support/wav_builder.h"

namespace {

Bytes pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return b;
}

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes head(const Bytes& b, size_t n)
{
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

// 0.1 s of 16-bit mono at 8000 Hz.
Bytes smallMono()
{
    return monoWave(8000, 16, pattern(1600));
}

Transcript& smallMonoReport(Transcript& t, const std::string& path)
{
    return t.fileName(path).pcmFormat(1, 8000, 16).dataLength(1600).time("0.100");
}

// 1 s of 16-bit stereo at 8000 Hz, then the given chunks.
Bytes stereo(const std::vector<Bytes>& after = {})
{
    std::vector<Bytes> chunks = {fmtChunk(2, 8000, 16), chunk("data", pattern(32000))};
    chunks.insert(chunks.end(), after.begin(), after.end());
    return riffWave(chunks);
}

// The report of stereo() up to the data chunk.
Transcript& stereoHead(Transcript& t, const std::string& path)
{
    return t.fileName(path).pcmFormat(2, 8000, 16).dataLength(32000);
}

// The reference example: 1 s of 16-bit mono at 44,100 Hz and a 26-byte LIST chunk.
Bytes referenceExample()
{
    Bytes list = text("INFOISFT");
    appendU32le(list, 14);
    appendText(list, std::string("sonari3 tests\0", 14));
    return riffWave({fmtChunk(1, 44100, 16), chunk("data", pattern(88200)), chunk("LIST", list)});
}

Transcript& referenceReport(Transcript& t, const std::string& path)
{
    return t.fileName(path)
        .fmtLength(16)
        .format(1, 1, 44100, 88200, 2, 16)
        .dataLength(88200)
        .chunkLength("LIST", 26)
        .time("1.000");
}

enum class Paths { None, InputOnly, Both };

struct ReportCase {
    const char* name;
    // The input file's bytes; none: the input path does not exist.
    std::function<std::optional<Bytes>()> input;
    // The console text expected, given the input path.
    std::function<void(Transcript&, const std::string&)> expect;
    // Delay and gain arguments.
    std::vector<std::string> parameters = {};
    // A mono input the reader accepts: only the beginnings are compared.
    bool accepted = false;
    std::string locale = "C";
    Paths paths = Paths::Both;
    std::string inputName = "in.wav";
};

const std::vector<ReportCase>& reportCases()
{
    static const std::vector<ReportCase> cases = {
        // Usage.
        {.name = "NoArguments",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.usage(); },
         .paths = Paths::None},
        {.name = "OneArgument",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.usage(); },
         .paths = Paths::InputOnly},
        {.name = "UsageOnUtf8Console",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.usage(); },
         .locale = "C.UTF-8",
         .paths = Paths::None},

        // Parameters, refused before the input is opened.
        {.name = "NegativeDelay",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.badDelay(); },
         .parameters = {"-1"}},
        {.name = "InfiniteDelay",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.badDelay(); },
         .parameters = {"1e999"}},
        {.name = "MinusInfiniteDelay",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.badDelay(); },
         .parameters = {"-1e999"}},
        {.name = "DelayBeyondFloat",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.badDelay(); },
         .parameters = {"1e39", "0.3"}},
        {.name = "BadDelayAndBadGain",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.badDelay(); },
         .parameters = {"-1", "1e39"}},
        {.name = "GainBeyondFloat",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.badGain(); },
         .parameters = {"0.03", "1e39"}},
        {.name = "MinusInfiniteGain",
         .input = smallMono,
         .expect = [](Transcript& t, const std::string&) { t.badGain(); },
         .parameters = {"0.03", "-1e999"}},
        {.name = "BadDelayOnMissingInput",
         .input = [] { return std::optional<Bytes>(); },
         .expect = [](Transcript& t, const std::string&) { t.badDelay(); },
         .parameters = {"-1"}},
        // Accepted parameters reach the report.
        {.name = "NanDelayReadsAsZero",
         .input = smallMono,
         .expect = smallMonoReport,
         .parameters = {"nan"},
         .accepted = true},
        {.name = "MinusZeroDelay",
         .input = smallMono,
         .expect = smallMonoReport,
         .parameters = {"-0", "0.3"},
         .accepted = true},
        {.name = "LargeFiniteGain",
         .input = smallMono,
         .expect = smallMonoReport,
         .parameters = {"0.03", "1e6"},
         .accepted = true},

        // Opening and the RIFF header.
        {.name = "MissingInput",
         .input = [] { return std::optional<Bytes>(); },
         .expect = [](Transcript& t, const std::string& path) { t.cannotOpen(path); }},
        {.name = "MissingInputWithPercentAndNonAsciiName",
         .input = [] { return std::optional<Bytes>(); },
         .expect = [](Transcript& t, const std::string& path) { t.cannotOpen(path); },
         .inputName = "in%s%d%n\xE3\x81\x82\x82\xA0.wav"},
        {.name = "EmptyFile",
         .input = [] { return std::optional<Bytes>(Bytes{}); },
         .expect = [](Transcript& t,
                      const std::string& path) { t.fileName(path).readFailedAt(0); }},
        {.name = "FiveByteFile",
         .input = [] { return std::optional<Bytes>(head(smallMono(), 5)); },
         .expect = [](Transcript& t,
                      const std::string& path) { t.fileName(path).readFailedAt(5); }},
        {.name = "ElevenByteFile",
         .input = [] { return std::optional<Bytes>(head(smallMono(), 11)); },
         .expect = [](Transcript& t,
                      const std::string& path) { t.fileName(path).readFailedAt(11); }},
        {.name = "RifxWave",
         .input =
             [] {
                 Bytes b = smallMono();
                 b[3] = 'X';
                 return std::optional<Bytes>(b);
             },
         .expect = [](Transcript& t, const std::string& path) { t.fileName(path).notRiff(); }},
        {.name = "RiffWithoutWave",
         .input =
             [] {
                 Bytes b = smallMono();
                 b[8] = 'A';
                 return std::optional<Bytes>(b);
             },
         .expect = [](Transcript& t, const std::string& path) { t.fileName(path).noWave(); }},
        // The form type is judged first.
        {.name = "RifxWithoutWave",
         .input =
             [] {
                 Bytes b = smallMono();
                 b[3] = 'X';
                 b[11] = 'e';
                 return std::optional<Bytes>(b);
             },
         .expect = [](Transcript& t, const std::string& path) { t.fileName(path).noWave(); }},

        // The format record.
        {.name = "FormatTagFFFE",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("fmt ", fmtBody(0xFFFE, 1, 44100, 88200, 2, 16)),
                               chunk("data", pattern(8))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .fmtLength(16)
                     .format(65534, 1, 44100, 88200, 2, 16)
                     .pcmOnly("FFFE");
             }},
        // The tag is shown with four hex digits and judged before the bit width.
        {.name = "FormatTag3With32Bits",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("fmt ", fmtBody(3, 1, 8000, 32000, 4, 32)),
                               chunk("data", pattern(8))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).fmtLength(16).format(3, 1, 8000, 32000, 4, 32).pcmOnly("0003");
             }},
        {.name = "TwentyFourBits",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("fmt ", fmtBody(1, 1, 8000, 24000, 3, 24)),
                               chunk("data", pattern(9))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).fmtLength(16).format(1, 1, 8000, 24000, 3, 24).bitsOnly(24);
             }},
        // The record is always 16 bytes: its last two come from the "da" of "data".
        {.name = "FmtDeclared14BeforeData",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("fmt ", head(fmtBody(1, 1, 8000, 16000, 2, 16), 14)),
                               chunk("data", pattern(8))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).fmtLength(14).format(1, 1, 8000, 16000, 2, 24932).bitsOnly(24932);
             }},
        {.name = "FmtRecordCutShort",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("fmt ", 16, head(fmtBody(1, 1, 8000, 16000, 2, 16), 10))}));
             },
         .expect = [](Transcript& t, const std::string& path) { t.fileName(path).fmtLength(16); }},
        {.name = "FmtWithExtensionOf18",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("fmt ", concat({fmtBody(1, 2, 8000, 32000, 4, 16), {0, 0}})),
                               chunk("data", pattern(32000))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .fmtLength(18)
                     .format(1, 2, 8000, 32000, 4, 16)
                     .dataLength(32000)
                     .time("1.000")
                     .notMono();
             }},
        {.name = "FmtOf40",
         .input =
             [] {
                 return std::optional<Bytes>(riffWave(
                     {chunk("fmt ", concat({fmtBody(1, 2, 8000, 32000, 4, 16), pattern(24)})),
                      chunk("data", pattern(32000))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .fmtLength(40)
                     .format(1, 2, 8000, 32000, 4, 16)
                     .dataLength(32000)
                     .time("1.000")
                     .notMono();
             }},

        // The data chunk.
        {.name = "DataLengthZero",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({fmtChunk(1, 8000, 16), chunk("data", Bytes{})}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).pcmFormat(1, 8000, 16).dataLength(0).noMemory();
             }},
        {.name = "DataPastEndOfFile",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({fmtChunk(1, 8000, 16), chunk("data", 1000, pattern(600))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).pcmFormat(1, 8000, 16).dataLength(1000).dataReadFailed();
             }},

        // Whole reports of files the mono check refuses.
        {.name = "StereoInput",
         .input = [] { return std::optional<Bytes>(stereo()); },
         .expect = [](Transcript& t,
                      const std::string& path) { stereoHead(t, path).time("1.000").notMono(); }},
        {.name = "StereoInputOnUtf8Console",
         .input = [] { return std::optional<Bytes>(stereo()); },
         .expect = [](Transcript& t,
                      const std::string& path) { stereoHead(t, path).time("1.000").notMono(); },
         .locale = "C.UTF-8"},
        {.name = "StereoInputWithPercentAndNonAsciiName",
         .input = [] { return std::optional<Bytes>(stereo()); },
         .expect = [](Transcript& t,
                      const std::string& path) { stereoHead(t, path).time("1.000").notMono(); },
         .inputName = "in%s%d%n\xE3\x81\x82\x82\xA0.wav"},
        {.name = "RiffLengthNotExamined",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({fmtChunk(2, 8000, 16), chunk("data", pattern(32000))}, 0));
             },
         .expect = [](Transcript& t,
                      const std::string& path) { stereoHead(t, path).time("1.000").notMono(); }},
        {.name = "NoFmtChunk",
         .input = [] { return std::optional<Bytes>(riffWave({chunk("data", pattern(10))})); },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).dataLength(10).timeUnknown().notMono();
             }},
        {.name = "ByteRateZero",
         .input =
             [] {
                 return std::optional<Bytes>(riffWave(
                     {chunk("fmt ", fmtBody(1, 2, 8000, 0, 4, 16)), chunk("data", pattern(100))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .fmtLength(16)
                     .format(1, 2, 8000, 0, 4, 16)
                     .dataLength(100)
                     .timeUnknown()
                     .notMono();
             }},
        {.name = "DataBeforeFmt",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("data", pattern(1234)), fmtChunk(2, 8000, 16)}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).dataLength(1234).pcmFormat(2, 8000, 16).time("0.039").notMono();
             }},
        // The second "fmt " says stereo and its byte rate gives the time.
        {.name = "LastFmtWinsStereo",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({fmtChunk(1, 8000, 16), chunk("data", pattern(32000)),
                               fmtChunk(2, 8000, 16)}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .pcmFormat(1, 8000, 16)
                     .dataLength(32000)
                     .pcmFormat(2, 8000, 16)
                     .time("1.000")
                     .notMono();
             }},
        {.name = "LastDataWins",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({fmtChunk(2, 8000, 16), chunk("data", pattern(64000)),
                               chunk("data", pattern(16000))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .pcmFormat(2, 8000, 16)
                     .dataLength(64000)
                     .dataLength(16000)
                     .time("0.500")
                     .notMono();
             }},

        // Other chunks: listed with their raw identifier and skipped by their length.
        {.name = "IdentifierWithNulAndHighBytes",
         .input =
             [] {
                 return std::optional<Bytes>(
                     stereo({chunk(std::string("\0\xFF\x82\xA0", 4), pattern(4))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 stereoHead(t, path)
                     .chunkLength(std::string("\0\xFF\x82\xA0", 4), 4)
                     .time("1.000")
                     .notMono();
             }},
        {.name = "CaseVariantsAreOtherChunks",
         .input =
             [] {
                 return std::optional<Bytes>(
                     stereo({chunk("DATA", pattern(2)),
                             chunk("Fmt ", fmtBody(1, 1, 8000, 16000, 2, 16))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 stereoHead(t, path)
                     .chunkLength("DATA", 2)
                     .chunkLength("Fmt ", 16)
                     .time("1.000")
                     .notMono();
             }},
        // No pad byte is skipped: after "odd " the header is read at the pad byte,
        // giving "\0LIS" with a length made of "T" and the LIST length.
        {.name = "OddChunkWithPadByte",
         .input =
             [] {
                 return std::optional<Bytes>(
                     stereo({chunk("odd ", text("abc")), {0}, chunk("LIST", text("abcd"))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 stereoHead(t, path)
                     .chunkLength("odd ", 3)
                     .chunkLength(std::string("\0LIS", 4), 1108)
                     .time("1.000")
                     .notMono();
             }},
        {.name = "OddDataFollowedDirectlyByChunk",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({fmtChunk(2, 8000, 16), chunk("data", text("abc")),
                               chunk("LIST", text("abcd"))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .pcmFormat(2, 8000, 16)
                     .dataLength(3)
                     .chunkLength("LIST", 4)
                     .time("0.000")
                     .notMono();
             }},
        {.name = "TrailingPieceUnderAHeader",
         .input =
             [] {
                 return std::optional<Bytes>(concat({stereo(), text("LIST\x04\x00\x00")}));
             },
         .expect = [](Transcript& t,
                      const std::string& path) { stereoHead(t, path).time("1.000").notMono(); }},
        {.name = "LargestPositiveLength",
         .input =
             [] { return std::optional<Bytes>(stereo({chunk("big ", 0x7FFFFFFFu, pattern(16))})); },
         .expect =
             [](Transcript& t, const std::string& path) {
                 stereoHead(t, path).chunkLength("big ", 2147483647).time("1.000").notMono();
             }},
        {.name = "LengthOf2GiBPrintsNegative",
         .input =
             [] { return std::optional<Bytes>(stereo({chunk("big ", 0x80000000u, pattern(16))})); },
         .expect =
             [](Transcript& t, const std::string& path) {
                 stereoHead(t, path).chunkLength("big ", -2147483648L).time("1.000").notMono();
             }},
        {.name = "FmtLengthPrintsNegative",
         .input =
             [] {
                 return std::optional<Bytes>(
                     riffWave({chunk("data", pattern(32000)),
                               chunk("fmt ", 0xFFFFFFF0u, fmtBody(1, 2, 8000, 32000, 4, 16)),
                               chunk("data", pattern(8))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .dataLength(32000)
                     .fmtLength(-16)
                     .format(1, 2, 8000, 32000, 4, 16)
                     .time("1.000")
                     .notMono();
             }},
        // Position + 0xFFFFFFF8 taken in 32 bits is this same header again: a walk
        // doing so never ends (the test's time limit catches it).
        {.name = "LengthThatWouldWrapToTheSameHeader",
         .input =
             [] {
                 return std::optional<Bytes>(
                     stereo({chunk("junk", 0xFFFFFFF8u, pattern(8)), chunk("LIST", pattern(4))}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 stereoHead(t, path).chunkLength("junk", -8).time("1.000").notMono();
             }},

        // Mono inputs the reader accepts: the first report begins each stream.
        {.name = "ReferenceExample",
         .input = [] { return std::optional<Bytes>(referenceExample()); },
         .expect = referenceReport,
         .accepted = true},
        {.name = "ReferenceExampleOnUtf8Console",
         .input = [] { return std::optional<Bytes>(referenceExample()); },
         .expect = referenceReport,
         .accepted = true,
         .locale = "C.UTF-8"},
        {.name = "EightBitMono",
         .input = [] { return std::optional<Bytes>(monoWave(11025, 8, pattern(5513))); },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).pcmFormat(1, 11025, 8).dataLength(5513).time("0.500");
             },
         .accepted = true},
        {.name = "MonoWithoutData",
         .input = [] { return std::optional<Bytes>(riffWave({fmtChunk(1, 8000, 16)})); },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path).pcmFormat(1, 8000, 16).time("0.000");
             },
         .accepted = true},
        {.name = "LastFmtWinsMono",
         .input =
             [] {
                 return std::optional<Bytes>(riffWave(
                     {fmtChunk(2, 8000, 16), chunk("data", pattern(1600)), fmtChunk(1, 8000, 16)}));
             },
         .expect =
             [](Transcript& t, const std::string& path) {
                 t.fileName(path)
                     .pcmFormat(2, 8000, 16)
                     .dataLength(1600)
                     .pcmFormat(1, 8000, 16)
                     .time("0.100");
             },
         .accepted = true},
        {.name = "MonoWithPercentAndNonAsciiName",
         .input = smallMono,
         .expect = smallMonoReport,
         .accepted = true,
         .inputName = "in%s%d%n\xE3\x81\x82\x82\xA0.wav"},
    };
    return cases;
}

// Failure messages name the case rather than dump its bytes.
void PrintTo(const ReportCase& c, std::ostream* os)
{
    *os << c.name;
}

class Report : public ::testing::TestWithParam<ReportCase> {};

// The beginning of actual, as long as expected, compared so that a failure shows both.
void expectBegins(const std::string& actual, const std::string& expected, const char* stream)
{
    EXPECT_EQ(actual.substr(0, expected.size()), expected)
        << stream << " does not begin with the first report";
}

TEST_P(Report, MatchesByteForByte)
{
    const ReportCase& c = GetParam();
    TempDir dir;
    const std::string input = dir.file(c.inputName);
    const std::string output = dir.file("out.wav");
    if (const std::optional<Bytes> bytes = c.input()) {
        writeFile(input, *bytes);
    }
    const Bytes sentinel = text("not to be touched");
    writeFile(output, sentinel);

    std::vector<std::string> args;
    if (c.paths != Paths::None) {
        args.push_back(input);
    }
    if (c.paths == Paths::Both) {
        args.push_back(output);
        args.insert(args.end(), c.parameters.begin(), c.parameters.end());
    }
    Transcript expected(encodingFor(c.locale));
    c.expect(expected, input);

    const RunResult split = runSonari3(args, c.locale);
    if (c.accepted) {
        expectBegins(split.out, expected.out(), "standard output");
        expectBegins(split.err, expected.err(), "standard error");
    } else {
        EXPECT_EQ(split.out, expected.out());
        EXPECT_EQ(split.err, expected.err());
        EXPECT_EQ(split.status, 255);
        EXPECT_EQ(readFile(output), sentinel);
    }

    const RunResult merged = runSonari3Merged(args, c.locale);
    if (c.accepted) {
        expectBegins(merged.out, expected.merged(), "merged log");
    } else {
        EXPECT_EQ(merged.out, expected.merged());
        EXPECT_EQ(merged.status, 255);
        EXPECT_EQ(readFile(output), sentinel);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Report, ::testing::ValuesIn(reportCases()),
                         [](const ::testing::TestParamInfo<ReportCase>& param) {
                             return std::string(param.param.name);
                         });

// The usage text under the "C" locale is the catalogue's text in Shift_JIS,
// checked here against the system's converter directly.
TEST(Usage, IsShiftJisUnderTheCLocale)
{
    const RunResult run = runSonari3({}, "C");
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, sjis(kUsageUtf8));
    const RunResult utf8 = runSonari3({}, "C.UTF-8");
    EXPECT_EQ(utf8.err, kUsageUtf8);
}

}  // namespace

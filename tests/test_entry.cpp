// Tests for the program's entry: reading the delay and gain arguments, the usage
// text, and the refusal of unusable parameters before any file is opened.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "app/entry.h"
#include "support/report_text.h"
#include "support/run_program.h"
#include "support/wav_builder.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

uint32_t floatBits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

uint64_t doubleBits(double d)
{
    return std::bit_cast<uint64_t>(d);
}

struct DecimalCase {
    const char* text;
    double value;
};

// The longest decimal prefix after white space, correctly rounded; anything else is 0.
const DecimalCase kDecimalCases[] = {
    {"0.05", 0.05},
    {" 0.05", 0.05},
    {" \t\n\v\f\r0.05", 0.05},
    {"5e-2", 0.05},
    {"0.05abc", 0.05},
    {"+0.05", 0.05},
    {"-2.5E+1", -25.0},
    {"1e+5", 1e5},
    {"000123.4500", 123.45},
    {"1 2", 1.0},
    {"1,5", 1.0},
    {"1.5e3.2", 1500.0},
    // An exponent needs a digit; without one the number ends before the 'e'.
    {"5e", 5.0},
    {"5E", 5.0},
    {"5e+", 5.0},
    {"5e-x", 5.0},
    {"5ex", 5.0},
    {"+.5e1x", 5.0},
    // A point needs a digit on one side.
    {".5", 0.5},
    {"5.", 5.0},
    {".", 0.0},
    {".e1", 0.0},
    {"-0", -0.0},
    {"-0.0e7", -0.0},
    // Not numbers here.
    {"", 0.0},
    {"abc", 0.0},
    {"e5", 0.0},
    {"++1", 0.0},
    {"+-1", 0.0},
    {"- 1", 0.0},
    {"0x10", 0.0},
    {"0X1p3", 0.0},
    {"inf", 0.0},
    {"infinity", 0.0},
    {"nan", 0.0},
    {"NAN(1)", 0.0},
    // Range and rounding.
    {"1e999", kInf},
    {"-1e999", -kInf},
    {"1e39", 1e39},
    {"1e-400", 0.0},
    {"1e00000000000000000000000001", 10.0},
    {"1e-99999999999999999999", 0.0},
    {"0e99999999999", 0.0},
    {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
    {"2.2250738585072011e-308", 2.2250738585072011e-308},
    {"1.7976931348623157e308", DBL_MAX},
    {"1.7976931348623159e308", kInf},
    {"0.1", 0.1},
    {"0.3", 0.3},
    {"9007199254740993", 9007199254740992.0},
    {"123456789012345678901234567890", 1.2345678901234568e29},
};

TEST(DecimalArgument, ReadsTheLongestDecimalPrefix)
{
    for (const DecimalCase& c : kDecimalCases) {
        const double got = decimalArgument(c.text);
        EXPECT_EQ(doubleBits(got), doubleBits(c.value))
            << '"' << c.text << "\" read as " << got << ", expected " << c.value;
    }
}

struct SingleCase {
    const char* name;
    double value;
    uint32_t bits;
};

const SingleCase kSingleCases[] = {
    {"0.3", 0.3, 0x3E99999Au},
    {"0.03", 0.03, 0x3CF5C28Fu},
    {"largest float", 0x1.fffffep127, 0x7F7FFFFFu},
    {"just under the overflow tie", 0x1.fffffefffffffp127, 0x7F7FFFFFu},
    {"overflow tie", 0x1.ffffffp127, 0x7F800000u},
    {"negative overflow tie", -0x1.ffffffp127, 0xFF800000u},
    {"1e39", 1e39, 0x7F800000u},
    {"-1e39", -1e39, 0xFF800000u},
    {"largest double", DBL_MAX, 0x7F800000u},
    {"infinity", kInf, 0x7F800000u},
    {"minus infinity", -kInf, 0xFF800000u},
    {"minus zero", -0.0, 0x80000000u},
    {"tie to even, down", 1.0 + 0x1p-24, 0x3F800000u},
    {"tie to even, up", 1.0 + 3 * 0x1p-24, 0x3F800002u},
    {"just over a tie", 1.0 + 0x1p-24 + 0x1p-52, 0x3F800001u},
    {"smallest float", 0x1p-149, 0x00000001u},
    {"tie below the smallest float", 0x1p-150, 0x00000000u},
    {"subnormal tie to even", 3 * 0x1p-150, 0x00000002u},
    {"tiny negative", -1e-50, 0x80000000u},
};

TEST(ToSingle, RoundsToNearestFloat)
{
    for (const SingleCase& c : kSingleCases) {
        EXPECT_EQ(floatBits(toSingle(c.value)), c.bits) << c.name;
    }
    EXPECT_TRUE(std::isnan(toSingle(std::numeric_limits<double>::quiet_NaN())));
}

// What the entry stores for an argument: the double rounded once to float.
TEST(ToSingle, StoredArgumentValues)
{
    const struct {
        const char* text;
        uint32_t bits;
    } cases[] = {
        {"0.3", 0x3E99999Au},           {"0.03", 0x3CF5C28Fu},
        {"3.40282356e38", 0x7F7FFFFFu},  // under FLT_MAX + half an ulp
        {"3.4028236e38", 0x7F800000u},   // over it
        {"1e39", 0x7F800000u},          {"-1e-50", 0x80000000u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(floatBits(toSingle(decimalArgument(c.text))), c.bits) << c.text;
    }
    EXPECT_NEAR(static_cast<double>(toSingle(decimalArgument("0.3"))), 0.300000011920929, 1e-15);
    EXPECT_NEAR(static_cast<double>(toSingle(decimalArgument("0.03"))), 0.0299999993294477, 1e-16);
}

// sonari3Main in this process, with both streams captured. This process runs in
// the "C" locale, so fixed texts come out in Shift_JIS.
struct MainRun {
    int status = 0;
    std::string out;
    std::string err;
};

MainRun runMain(const std::vector<std::string>& args)
{
    std::vector<const char*> argv = {"sonari3"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    MainRun run;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run.status = sonari3Main(static_cast<int>(args.size() + 1), argv.data());
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

enum class Outcome {
    BadDelay,
    BadGain,
    Passes,  // gets as far as opening the input
};

struct ArgumentCase {
    const char* name;
    std::vector<std::string> parameters;  // after the input and output paths
    Outcome outcome;
};

// The input path does not exist, so a run that passes the entry's checks ends
// with the reader's open failure: that message shows the parameters were accepted.
const ArgumentCase kArgumentCases[] = {
    {"defaults", {}, Outcome::Passes},
    {"delay only", {"0.1"}, Outcome::Passes},
    {"delay and gain", {"0.1", "0.5"}, Outcome::Passes},
    {"negative delay", {"-1"}, Outcome::BadDelay},
    {"tiny negative delay", {"-0.0001"}, Outcome::BadDelay},
    {"delay that rounds to minus zero", {"-1e-50"}, Outcome::Passes},
    {"minus zero delay", {"-0"}, Outcome::Passes},
    {"infinite delay", {"1e999"}, Outcome::BadDelay},
    {"minus infinite delay", {"-1e999"}, Outcome::BadDelay},
    {"delay finite as double only", {"1e39"}, Outcome::BadDelay},
    {"delay over the float range", {"3.4028236e38"}, Outcome::BadDelay},
    {"largest float delay", {"3.40282356e38"}, Outcome::Passes},
    {"nan delay reads as 0", {"nan"}, Outcome::Passes},
    {"inf delay reads as 0", {"inf"}, Outcome::Passes},
    {"text delay reads as 0", {"abc"}, Outcome::Passes},
    {"negative gain", {"0.03", "-1"}, Outcome::Passes},
    {"large finite gain", {"0.03", "1e6"}, Outcome::Passes},
    {"nan gain reads as 0", {"0.03", "nan"}, Outcome::Passes},
    {"gain finite as double only", {"0.03", "1e39"}, Outcome::BadGain},
    {"minus infinite gain", {"0.03", "-1e999"}, Outcome::BadGain},
    {"delay judged before gain", {"-1", "1e39"}, Outcome::BadDelay},
    {"fifth argument is still the gain", {"0.03", "1e39", "0.5"}, Outcome::BadGain},
    {"sixth argument is ignored", {"0.03", "0.5", "-1"}, Outcome::Passes},
    {"sixth argument is ignored even when bad", {"0.03", "0.5", "1e999"}, Outcome::Passes},
};

TEST(Entry, ArgumentsAreJudgedBeforeTheInputIsOpened)
{
    TempDir dir;
    const std::string input = dir.file("missing.wav");
    const std::string output = dir.file("out.wav");
    for (const ArgumentCase& c : kArgumentCases) {
        std::vector<std::string> args = {input, output};
        args.insert(args.end(), c.parameters.begin(), c.parameters.end());
        const MainRun run = runMain(args);
        Transcript expected;
        switch (c.outcome) {
        case Outcome::BadDelay:
            expected.badDelay();
            break;
        case Outcome::BadGain:
            expected.badGain();
            break;
        case Outcome::Passes:
            expected.cannotOpen(input);
            break;
        }
        EXPECT_EQ(run.status, -1) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(run.err, expected.err()) << c.name;
        EXPECT_FALSE(fileExists(output)) << c.name;
    }
}

TEST(Entry, FewerThanTwoPathsShowTheUsage)
{
    TempDir dir;
    const std::string input = dir.file("in.wav");
    writeFile(input, monoWave(8000, 16, samples16({1, 2, 3, 4})));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{input}}) {
        const MainRun run = runMain(args);
        EXPECT_EQ(run.status, -1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, sjis(kUsageUtf8));
    }
    // No argument vector at all, not even the program name.
    const char* const none[] = {nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(sonari3Main(0, none), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), sjis(kUsageUtf8));
}

// A refused parameter leaves a good input unread (no report) and an existing
// output file as it was.
TEST(Entry, RefusedParametersTouchNoFile)
{
    TempDir dir;
    const std::string input = dir.file("in.wav");
    const std::string output = dir.file("out.wav");
    const Bytes inputBytes = monoWave(8000, 16, samples16({1, 2, 3, 4}));
    const Bytes sentinel = {'k', 'e', 'e', 'p'};
    writeFile(input, inputBytes);
    writeFile(output, sentinel);
    const std::vector<std::string> bad[] = {{"-1"}, {"1e999"}, {"0.03", "1e39"}};
    for (const std::vector<std::string>& parameters : bad) {
        std::vector<std::string> args = {input, output};
        args.insert(args.end(), parameters.begin(), parameters.end());
        const MainRun run = runMain(args);
        EXPECT_EQ(run.status, -1) << parameters[0];
        EXPECT_EQ(run.out, "") << parameters[0];
        EXPECT_EQ(readFile(output), sentinel) << parameters[0];
        EXPECT_EQ(readFile(input), inputBytes) << parameters[0];
    }
}

// The defaults are delay 0.03 s and gain 0.3, and the third and fourth arguments
// are delay and gain in that order: shown by the files the built program writes.
TEST(Entry, DefaultParametersAndArgumentOrder)
{
    TempDir dir;
    const std::string input = dir.file("in.wav");
    std::vector<int16_t> values;
    uint32_t state = 12345;
    for (int i = 0; i < 4000; ++i) {
        state = state * 1103515245u + 12345u;
        values.push_back(static_cast<int16_t>(static_cast<int>((state >> 16) % 2001) - 1000));
    }
    writeFile(input, monoWave(8000, 16, samples16(values)));

    const auto convert = [&](const std::string& name, std::vector<std::string> parameters) {
        std::vector<std::string> args = {input, dir.file(name)};
        args.insert(args.end(), parameters.begin(), parameters.end());
        const RunResult run = runSonari3(args);
        EXPECT_EQ(run.status, 0) << name << "\n" << run.err;
        EXPECT_TRUE(fileExists(dir.file(name))) << name;
        return readFile(dir.file(name));
    };
    const Bytes defaults = convert("defaults.wav", {});
    ASSERT_FALSE(defaults.empty());
    EXPECT_EQ(convert("explicit.wav", {"0.03", "0.3"}), defaults);
    EXPECT_EQ(convert("delay-only.wav", {"0.03"}), defaults);
    EXPECT_EQ(convert("sixth-ignored.wav", {"0.03", "0.3", "0.9"}), defaults);
    EXPECT_NE(convert("swapped.wav", {"0.3", "0.03"}), defaults);
    EXPECT_NE(convert("other-gain.wav", {"0.03", "0.5"}), defaults);
}

}  // namespace

// Whole conversions through the built program: the two reports, the confirmation,
// the output file, the conversion stage's refusals, writer failures, an input that
// changes between its two readings, a file-size limit, and files made and read by
// other tools (sox, Python's wave module).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "support/convert_helpers.h"
#include "support/report_text.h"
#include "support/run_program.h"

extern char** environ;

namespace {

using Names = std::vector<std::string>;

constexpr int kRefused = 255;  // the program's -1 as the shell sees it

// ---------------------------------------------------------------------------
// A run of the program whose process the test can watch while it runs, and
// that can be given a file-size limit.

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or -1 when a signal ended it
    int signal = 0;   // the signal that ended it, if any
};

class Launch {
   public:
    explicit Launch(const std::vector<std::string>& args, rlim_t fileSizeLimit = RLIM_INFINITY)
    {
        ProgramCommand command = programCommand(args, "C");
        const std::string outPath = capture_.file("stdout");
        const std::string errPath = capture_.file("stderr");

        pid_ = fork();
        if (pid_ == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
                dup2(err, 2) < 0) {
                _exit(127);
            }
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                _exit(127);
            }
            // The program must protect itself from SIGXFSZ: start it with the default action.
            signal(SIGXFSZ, SIG_DFL);
            signal(SIGPIPE, SIG_DFL);
            execve(command.argv[0], command.argv.data(), command.envp.data());
            _exit(127);
        }
    }
    ~Launch()
    {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

    pid_t pid() const { return pid_; }

    // True until the process has ended (it is not reaped here).
    bool running() const
    {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }

    Outcome wait()
    {
        int wstatus = 0;
        waitpid(pid_, &wstatus, 0);
        reaped_ = true;
        Outcome o;
        o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        o.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
        const Bytes out = readFile(capture_.file("stdout"));
        const Bytes err = readFile(capture_.file("stderr"));
        o.out.assign(out.begin(), out.end());
        o.err.assign(err.begin(), err.end());
        return o;
    }

   private:
    TempDir capture_;
    pid_t pid_ = -1;
    bool reaped_ = false;
};

bool toolAvailable(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command and returns its standard output without the final newline.
std::string commandOutput(const std::string& command)
{
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        text.append(buffer, n);
    }
    pclose(pipe);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Expected console text of a successful conversion of input.
Transcript successTranscript(const std::string& in, const std::string& out, const InputFile& input)
{
    Transcript t;
    addReport(t, in, input);
    addReport(t, in, input);
    addConverted(t, in, out);
    return t;
}

// ---------------------------------------------------------------------------
// Successful conversions

struct ConvertCase {
    const char* name;
    InputFile (*input)();
    const char* inName;
    const char* outName;
};

const ConvertCase kConvertCases[] = {
    // Over 3D frames: every part of the rule is reached.
    {"Pcm16At44100", [] { return monoInput(44100, 16, noise(2 * 5000, 1)); }, "in.wav", "out.wav"},
    {"Pcm8At8000", [] { return monoInput(8000, 8, noise(1200, 2)); }, "in.wav", "out.wav"},
    // 2N+1 bytes in, 4N+2 out.
    {"Pcm16OddLength", [] { return monoInput(22050, 16, noise(2 * 600 + 1, 3)); }, "in.wav",
     "out.wav"},
    {"OtherChunksAreReportedAndDropped",
     [] {
         InputFile f = monoInput(48000, 16, noise(2 * 300, 4));
         Bytes info;
         appendText(info, "INFOICMT");
         appendU32le(info, 14);
         appendText(info, "a comment....");
         info.push_back(0);
         f.before.push_back(chunk("LIST", info));  // 26 bytes
         f.after.push_back(chunk("cue ", noise(28, 5)));
         f.after.push_back(chunk("LIST", info));
         return f;
     },
     "in.wav", "out.wav"},
    {"StatedRatesAreNotCopied",
     [] {
         InputFile f = monoInput(11025, 8, noise(900, 6));
         f.format.byteRate = 1234;
         f.format.blockAlign = 3;
         return f;
     },
     "in.wav", "out.wav"},
    // Paths are echoed as given, here UTF-8 bytes amid Shift_JIS text.
    {"PathsEchoedAsGiven", [] { return monoInput(44100, 16, noise(400, 7)); }, "入力 ファイル.wav",
     "出力.wav"},
};

void PrintTo(const ConvertCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConvertFile : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertFile, ReportsTwiceConfirmsAndWritesCanonicalStereo)
{
    const ConvertCase& c = GetParam();
    const InputFile input = c.input();
    TempDir dir;
    const std::string in = dir.file(c.inName);
    const std::string out = dir.file(c.outName);
    writeFile(in, input.bytes());

    const RunResult r = runSonari3({in, out});

    const Transcript t = successTranscript(in, out, input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, t.out());
    EXPECT_EQ(r.err, t.err());
    const Bytes written = readFile(out);
    EXPECT_EQ(written, expectedOutput(input));
    EXPECT_EQ(written.size(), 44 + 2 * input.data.size());
    EXPECT_EQ(readFile(in), input.bytes());
    Names names{c.inName, c.outName};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(directoryEntries(dir.path), names);
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConvertFile, ::testing::ValuesIn(kConvertCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ConvertFileOrder, ReportLinesInterleaveStreamsInWritingOrder)
{
    TempDir dir;
    const InputFile input = monoInput(8000, 16, noise(300, 9));
    writeFile(dir.file("in.wav"), input.bytes());

    const RunResult r = runSonari3Merged({dir.file("in.wav"), dir.file("out.wav")});

    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, successTranscript(dir.file("in.wav"), dir.file("out.wav"), input).merged());
}

// A few frames checked by hand: the file carries the rule's samples in L, R order.
struct SampleCase {
    const char* name;
    uint32_t rate;
    uint16_t bits;
    std::vector<std::string> parameters;  // delay and gain, if given
    Bytes input;
    Bytes output;
};

// Stereo 16-bit frames, all zero but the ones listed as {frame, left, right}.
Bytes frames16(size_t count, const std::vector<std::vector<int>>& set)
{
    std::vector<int16_t> v(2 * count, 0);
    for (const auto& f : set) {
        v[2 * static_cast<size_t>(f[0])] = static_cast<int16_t>(f[1]);
        v[2 * static_cast<size_t>(f[0]) + 1] = static_cast<int16_t>(f[2]);
    }
    return samples16(v);
}

Bytes frames8(size_t count, const std::vector<std::vector<int>>& set)
{
    Bytes b(2 * count, 128);
    for (const auto& f : set) {
        b[2 * static_cast<size_t>(f[0])] = static_cast<uint8_t>(f[1] + 128);
        b[2 * static_cast<size_t>(f[0]) + 1] = static_cast<uint8_t>(f[2] + 128);
    }
    return b;
}

Bytes impulse16(size_t count, size_t at, int16_t value)
{
    std::vector<int16_t> v(count, 0);
    v[at] = value;
    return samples16(v);
}

Bytes impulse8(size_t count, size_t at, int value)
{
    Bytes b(count, 128);
    b[at] = static_cast<uint8_t>(value + 128);
    return b;
}

TEST(OutputSamples, HandCheckedFrames)
{
    // Delay 0.0001 s at 44100 Hz is D = 4 frames.
    const SampleCase cases[] = {
        // Shorter than D: both channels carry the input.
        {"Short16",
         44100,
         16,
         {},
         samples16({1000, -2000, 32767, -32768}),
         samples16({1000, 1000, -2000, -2000, 32767, 32767, -32768, -32768})},
        {"Short8", 8000, 8, {}, {0, 128, 255}, {0, 0, 128, 128, 255, 255}},
        // The odd byte has no frame: its two output bytes are zero.
        {"OddLength16", 44100, 16, {}, {0x34, 0x12, 0x7F}, {0x34, 0x12, 0x34, 0x12, 0, 0}},
        // L echo +g at 2D, R delayed by D with echo -g at 3D.
        {"Echo16",
         44100,
         16,
         {"0.0001", "0.5"},
         impulse16(16, 0, 10000),
         frames16(16, {{0, 10000, 10000}, {4, 0, 10000}, {8, 5000, 0}, {12, 0, -5000}})},
        // At 8 bits each echo sounds one step later: L from 3D, R from 4D.
        {"Echo8",
         44100,
         8,
         {"0.0001", "0.5"},
         impulse8(20, 4, 100),
         frames8(20, {{4, 100, 0}, {8, 0, 100}, {12, 50, 0}, {16, 0, -50}})},
    };
    for (const SampleCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const InputFile input = monoInput(c.rate, c.bits, c.input);
        writeFile(dir.file("in.wav"), input.bytes());
        std::vector<std::string> args{dir.file("in.wav"), dir.file("out.wav")};
        args.insert(args.end(), c.parameters.begin(), c.parameters.end());

        const RunResult r = runSonari3(args);

        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(
            readFile(dir.file("out.wav")),
            concat({canonicalHeader(2, c.rate, c.bits, static_cast<uint32_t>(c.output.size())),
                    c.output}));
    }
}

TEST(ConvertInPlace, InputBecomesItsStereoVersion)
{
    TempDir dir;
    const std::string path = dir.file("song.wav");
    const InputFile input = monoInput(44100, 16, noise(2 * 4000, 10));
    writeFile(path, input.bytes());

    const RunResult r = runSonari3({path, path});

    const Transcript t = successTranscript(path, path, input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, t.out());
    EXPECT_EQ(r.err, t.err());
    EXPECT_EQ(readFile(path), expectedOutput(input));
    EXPECT_EQ(directoryEntries(dir.path), (Names{"song.wav"}));
}

// ---------------------------------------------------------------------------
// Refusals of the conversion stage: one report, the message, nothing written

enum class Verdict { Accepted, BadDelay, BadGain };

struct ParameterCase {
    const char* name;
    uint16_t bits;
    uint32_t rate;
    const char* delay;
    const char* gain;
    Verdict verdict;
};

const ParameterCase kParameterCases[] = {
    // D is rate x delay, formed in double precision; 715,827,882 in single precision
    // would round up past the limit.
    {"Delay16AtLimit", 16, 715827882, "1", "0.3", Verdict::Accepted},
    {"Delay16PastLimit", 16, 715827883, "1", "0.3", Verdict::BadDelay},
    {"Delay8AtLimit", 8, 536870911, "1", "0.3", Verdict::Accepted},
    {"Delay8PastLimit", 8, 536870912, "1", "0.3", Verdict::BadDelay},
    {"DelayProductOf2To31", 16, 2147483648u, "1", "0.3", Verdict::BadDelay},
    {"DelayProductJustUnder2To31", 16, 4294967295u, "0.5", "0.3", Verdict::BadDelay},
    {"DelayFarPastAnyFrameCount", 16, 44100, "1e30", "0.3", Verdict::BadDelay},
    {"ZeroDelay", 16, 44100, "0", "0.3", Verdict::Accepted},
    {"Gain16AtLimit", 16, 44100, "0.0001", "65535", Verdict::Accepted},
    {"NegativeGain16AtLimit", 16, 44100, "0.0001", "-65535", Verdict::Accepted},
    {"Gain16JustPastLimit", 16, 44100, "0.0001", "65535.01", Verdict::BadGain},
    {"NegativeGain16PastLimit", 16, 44100, "0.0001", "-65536", Verdict::BadGain},
    {"Gain8AtLimit", 8, 44100, "0.0001", "16777215", Verdict::Accepted},
    {"Gain8PastLimit", 8, 44100, "0.0001", "16777216", Verdict::BadGain},
    {"NegativeGain8PastLimit", 8, 44100, "0.0001", "-16777216", Verdict::BadGain},
    {"DelayJudgedBeforeGain", 16, 715827883, "1", "70000", Verdict::BadDelay},
};

void PrintTo(const ParameterCase& c, std::ostream* os)
{
    *os << c.name;
}

class ParameterLimits : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(ParameterLimits, RefusedBeforeTheSecondReading)
{
    const ParameterCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
    const InputFile input = monoInput(c.rate, c.bits, noise(100, 11));
    writeFile(in, input.bytes());

    const RunResult r = runSonari3({in, out, c.delay, c.gain});

    const float delay = std::strtof(c.delay, nullptr);
    const float gain = std::strtof(c.gain, nullptr);
    if (c.verdict == Verdict::Accepted) {
        const Transcript t = successTranscript(in, out, input);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, t.out());
        EXPECT_EQ(r.err, t.err());
        EXPECT_EQ(readFile(out), expectedOutput(input, delay, gain));
        return;
    }
    Transcript t;
    addReport(t, in, input);
    if (c.verdict == Verdict::BadDelay) {
        t.badDelay();
    } else {
        t.badGain();
    }
    EXPECT_EQ(r.status, kRefused);
    EXPECT_EQ(r.out, t.out());
    EXPECT_EQ(r.err, t.err());
    EXPECT_FALSE(fileExists(out));
}

INSTANTIATE_TEST_SUITE_P(Bounds, ParameterLimits, ::testing::ValuesIn(kParameterCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Without a "data" chunk the data length is 0: nothing to convert, refused after
// one report.
TEST(NoSampleData, MissingDataChunkRefusedAfterOneReport)
{
    TempDir dir;
    InputFile input = monoInput(8000, 16, {});
    input.hasData = false;
    input.after.push_back(chunk("LIST", noise(26, 12)));
    writeFile(dir.file("in.wav"), input.bytes());

    const RunResult r = runSonari3Merged({dir.file("in.wav"), dir.file("out.wav")});

    Transcript t;
    addReport(t, dir.file("in.wav"), input);
    t.noMemory();
    EXPECT_EQ(r.status, kRefused);
    EXPECT_EQ(r.out, t.merged());
    EXPECT_EQ(directoryEntries(dir.path), (Names{"in.wav"}));
}

// An empty "data" chunk ends the same way: the same message, one reading, no file.
// (Where the reading stops is the reader's own matter.)
TEST(NoSampleData, EmptyDataChunkRefusedAfterOneReading)
{
    TempDir dir;
    const InputFile input = monoInput(8000, 16, {});
    writeFile(dir.file("in.wav"), input.bytes());

    const RunResult r = runSonari3({dir.file("in.wav"), dir.file("out.wav")});

    Transcript name;
    name.fileName(dir.file("in.wav"));
    Transcript message;
    message.noMemory();
    EXPECT_EQ(r.status, kRefused);
    EXPECT_EQ(r.out.rfind(name.out()), 0u);
    EXPECT_EQ(r.out.find(name.out(), 1), std::string::npos);
    ASSERT_GE(r.err.size(), message.err().size());
    EXPECT_EQ(r.err.substr(r.err.size() - message.err().size()), message.err());
    EXPECT_EQ(r.err.find(message.err()), r.err.size() - message.err().size());
    EXPECT_EQ(directoryEntries(dir.path), (Names{"in.wav"}));
}

// ---------------------------------------------------------------------------
// An input that changes between its two readings. The input is a FIFO: the test
// feeds one file to the first reading and another to the second.

// True while the process has the file open.
bool holdsOpen(pid_t pid, const std::string& path)
{
    struct stat target {};
    if (stat(path.c_str(), &target) != 0) {
        return false;
    }
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(fdDir.c_str());
    if (d == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* e = readdir(d)) {
        struct stat st {};
        if (e->d_name[0] != '.' && stat((fdDir + "/" + e->d_name).c_str(), &st) == 0 &&
            st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
            found = true;
        }
    }
    closedir(d);
    return found;
}

// Opens the FIFO for writing once the program opens it for reading; -1 when the
// program ends first.
int openForReader(const std::string& fifo, const Launch& program)
{
    for (int tries = 0; tries < 60000; ++tries) {
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, 0);
            return fd;
        }
        if (errno != ENXIO || !program.running()) {
            return -1;
        }
        usleep(1000);
    }
    return -1;
}

// Feeds one file to one opening of the FIFO and waits until the reader closed it.
bool feedOneReading(const std::string& fifo, const Launch& program, const Bytes& bytes)
{
    const int fd = openForReader(fifo, program);
    if (fd < 0) {
        return false;
    }
    // The reader's open may still be finishing: until it holds the FIFO, a close and
    // a new opening could join the same pipe as this one.
    for (int tries = 0; tries < 60000 && program.running() && !holdsOpen(program.pid(), fifo);
         ++tries) {
        usleep(1000);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    // The next opening may only start once this reading has seen its end.
    for (int tries = 0; tries < 60000 && program.running() && holdsOpen(program.pid(), fifo);
         ++tries) {
        usleep(1000);
    }
    return done == bytes.size();
}

struct ChangeCase {
    const char* name;
    InputFile (*second)();
};

InputFile firstInput()
{
    return monoInput(44100, 16, noise(400, 13));
}

const ChangeCase kChangeCases[] = {
    {"LongerData", [] { return monoInput(44100, 16, noise(402, 13)); }},
    {"ShorterData", [] { return monoInput(44100, 16, noise(398, 13)); }},
    {"FewerBits", [] { return monoInput(44100, 8, noise(400, 13)); }},
    {"OtherRate", [] { return monoInput(48000, 16, noise(400, 13)); }},
    {"TwoChannels",
     [] {
         InputFile f = firstInput();
         f.format = pcmRecord(2, 44100, 16);
         return f;
     }},
};

void PrintTo(const ChangeCase& c, std::ostream* os)
{
    *os << c.name;
}

class InputChanged : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(InputChanged, RefusedAfterTheSecondReportLeavingTheOutputAlone)
{
    TempDir dir;
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
    ASSERT_EQ(mkfifo(in.c_str(), 0600), 0);
    const Bytes old = noise(77, 14);
    writeFile(out, old);
    const InputFile first = firstInput();
    const InputFile second = GetParam().second();

    Launch program({in, out});
    ASSERT_TRUE(feedOneReading(in, program, first.bytes()));
    ASSERT_TRUE(feedOneReading(in, program, second.bytes()));
    const Outcome o = program.wait();

    Transcript t;
    addReport(t, in, first);
    addReport(t, in, second);
    addInputChanged(t);
    EXPECT_EQ(o.status, kRefused);
    EXPECT_EQ(o.out, t.out());
    EXPECT_EQ(o.err, t.err());
    EXPECT_EQ(readFile(out), old);
    EXPECT_EQ(directoryEntries(dir.path), (Names{"in.wav", "out.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Changes, InputChanged, ::testing::ValuesIn(kChangeCases),
                         [](const auto& p) { return std::string(p.param.name); });

// The same two-reading feed with an unchanged file converts: the refusals above
// come from the changes, not from the FIFO.
TEST(InputChangedControl, SameFileTwiceConverts)
{
    TempDir dir;
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
    ASSERT_EQ(mkfifo(in.c_str(), 0600), 0);
    const InputFile input = firstInput();

    Launch program({in, out});
    ASSERT_TRUE(feedOneReading(in, program, input.bytes()));
    ASSERT_TRUE(feedOneReading(in, program, input.bytes()));
    const Outcome o = program.wait();

    const Transcript t = successTranscript(in, out, input);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, t.out());
    EXPECT_EQ(o.err, t.err());
    EXPECT_EQ(readFile(out), expectedOutput(input));
}

// ---------------------------------------------------------------------------
// Writer failures: both reports, then the writer's message

enum class WriterEnd { Confirmed, CannotOpen, WriteFailed };

struct WriterCase {
    const char* name;
    const char* output;  // "@" stands for the test's directory
    WriterEnd end;
};

const WriterCase kWriterCases[] = {
    {"MissingDirectory", "@/no/such/dir/out.wav", WriterEnd::CannotOpen},
    {"DirectoryAsOutput", "@/sub", WriterEnd::CannotOpen},
    {"FullDevice", "/dev/full", WriterEnd::WriteFailed},
    {"NullDevice", "/dev/null", WriterEnd::Confirmed},
};

void PrintTo(const WriterCase& c, std::ostream* os)
{
    *os << c.name;
}

class WriterFailure : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WriterFailure, MessagesFollowBothReports)
{
    const WriterCase& c = GetParam();
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    const std::string in = dir.file("in.wav");
    std::string out = c.output;
    if (out[0] == '@') {
        out = dir.path + out.substr(1);
    }
    const InputFile input = monoInput(22050, 16, noise(3000, 15));
    writeFile(in, input.bytes());

    const RunResult r = runSonari3Merged({in, out});

    Transcript t;
    addReport(t, in, input);
    addReport(t, in, input);
    switch (c.end) {
    case WriterEnd::Confirmed:
        addConverted(t, in, out);
        break;
    case WriterEnd::CannotOpen:
        addWriteOpenFailed(t, out);
        break;
    case WriterEnd::WriteFailed:
        addWriteFailed(t);
        addDataWriteError(t);
        break;
    }
    EXPECT_EQ(r.status, c.end == WriterEnd::Confirmed ? 0 : kRefused);
    EXPECT_EQ(r.out, t.merged());
    EXPECT_EQ(directoryEntries(dir.path), (Names{"in.wav", "sub"}));
    EXPECT_EQ(directoryEntries(dir.file("sub")), Names{});
}

INSTANTIATE_TEST_SUITE_P(Outputs, WriterFailure, ::testing::ValuesIn(kWriterCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ReadOnlyOutput, RefusedToUsersAndReplacedByRoot)
{
    TempDir dir;
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
    const InputFile input = monoInput(8000, 8, noise(500, 16));
    writeFile(in, input.bytes());
    const Bytes old = noise(90, 17);
    writeFile(out, old);
    ASSERT_EQ(chmod(out.c_str(), 0444), 0);

    const RunResult r = runSonari3Merged({in, out});

    Transcript t;
    addReport(t, in, input);
    addReport(t, in, input);
    if (geteuid() == 0) {
        addConverted(t, in, out);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(readFile(out), expectedOutput(input));
    } else {
        addWriteOpenFailed(t, out);
        EXPECT_EQ(r.status, kRefused);
        EXPECT_EQ(readFile(out), old);
    }
    EXPECT_EQ(r.out, t.merged());
    EXPECT_EQ(permissionBits(out), 0444u);
    EXPECT_EQ(directoryEntries(dir.path), (Names{"in.wav", "out.wav"}));
}

// A file the user may write, in a folder where they may not create files: there is
// no room for a temporary file beside it, so it is written in place, as opening it
// for writing would. Root is not held back by permissions, so as root the program
// runs as nobody.
TEST(LockedFolder, WritableFileIsWrittenInPlace)
{
    TempDir dir;
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    const std::string in = dir.file("in.wav");
    const std::string folder = dir.file("locked");
    const std::string out = folder + "/out.wav";
    const InputFile input = monoInput(8000, 16, noise(600, 21));
    writeFile(in, input.bytes());
    ASSERT_EQ(chmod(in.c_str(), 0644), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    writeFile(out, noise(4000, 22));
    ASSERT_EQ(chmod(out.c_str(), 0666), 0);
    const bool root = geteuid() == 0;
    if (!root) {
        ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    }

    ProgramCommand command = programCommand({in, out}, "C");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDWR);
        if (devNull < 0 || dup2(devNull, 1) < 0 || dup2(devNull, 2) < 0 ||
            (root && (setgid(65534) != 0 || setuid(65534) != 0))) {
            _exit(127);
        }
        execve(command.argv[0], command.argv.data(), command.envp.data());
        _exit(127);
    }
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), 0);
    EXPECT_EQ(readFile(out), expectedOutput(input));
    EXPECT_EQ(directoryEntries(folder), Names{"out.wav"});
    chmod(folder.c_str(), 0755);
}

// A file-size limit below the output's size: the write fails, the program is not
// killed by SIGXFSZ, the temporary file goes and an old output stays as it was.
TEST(FileSizeLimit, WriteFailsWithoutLosingTheOldOutput)
{
    struct Case {
        const char* name;
        bool oldOutput;
    };
    const Case cases[] = {{"NewFile", false}, {"ExistingFile", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string in = dir.file("in.wav");
        const std::string out = dir.file("out.wav");
        // 80 KB of output against a 16 KiB limit; the captured console stays well under it.
        const InputFile input = monoInput(44100, 16, noise(40000, 18));
        writeFile(in, input.bytes());
        const Bytes old = noise(100, 19);
        if (c.oldOutput) {
            writeFile(out, old);
            ASSERT_EQ(chmod(out.c_str(), 0640), 0);
        }

        Launch program({in, out}, 16384);
        const Outcome o = program.wait();

        EXPECT_EQ(o.signal, 0);
        EXPECT_EQ(o.status, kRefused);
        Transcript reports;
        addReport(reports, in, input);
        addReport(reports, in, input);
        EXPECT_EQ(o.out, reports.out());
        Transcript atData = reports;
        addWriteFailed(atData);
        addDataWriteError(atData);
        Transcript atClose = reports;
        addWriteFailed(atClose);
        EXPECT_TRUE(o.err == atData.err() || o.err == atClose.err()) << o.err;
        if (c.oldOutput) {
            EXPECT_EQ(readFile(out), old);
            EXPECT_EQ(permissionBits(out), 0640u);
            EXPECT_EQ(directoryEntries(dir.path), (Names{"in.wav", "out.wav"}));
        } else {
            EXPECT_EQ(directoryEntries(dir.path), (Names{"in.wav"}));
        }
    }
}

// ---------------------------------------------------------------------------
// Files of other tools

// The sample data of a file sox wrote as "fmt " (16 bytes) then "data".
bool splitSoxFile(const Bytes& file, Bytes& fmtPart, Bytes& data)
{
    const auto at = [&](size_t i, const char* id) {
        return file.size() >= i + 8 && std::string(file.begin() + static_cast<long>(i),
                                                   file.begin() + static_cast<long>(i) + 4) == id;
    };
    if (!at(12, "fmt ") || file[16] != 16 || !at(36, "data")) {
        return false;
    }
    fmtPart.assign(file.begin() + 20, file.begin() + 36);
    data.assign(file.begin() + 44, file.end());
    return true;
}

struct SoxCase {
    const char* name;
    uint16_t bits;
    uint32_t rate;
    bool withList;
};

const SoxCase kSoxCases[] = {
    {"Pcm8At8000", 8, 8000, false},
    {"Pcm8At11025", 8, 11025, false},
    {"Pcm16At22050", 16, 22050, false},
    {"Pcm16At44100", 16, 44100, false},
    {"Pcm16At48000", 16, 48000, false},
    {"Pcm8At22050WithList", 8, 22050, true},
    {"Pcm16At44100WithList", 16, 44100, true},
};

void PrintTo(const SoxCase& c, std::ostream* os)
{
    *os << c.name;
}

class SoxFiles : public ::testing::TestWithParam<SoxCase> {};

TEST_P(SoxFiles, ConvertedFileOpensInSoxAndPython)
{
    if (!toolAvailable("sox") || !toolAvailable("soxi")) {
        GTEST_SKIP() << "sox is not installed";
    }
    const SoxCase& c = GetParam();
    TempDir dir;
    const std::string made = dir.file("made.wav");
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
    ASSERT_EQ(std::system(("sox -n -r " + std::to_string(c.rate) + " -b " + std::to_string(c.bits) +
                           " -c 1 " + made + " synth 0.2 sine 440 2>/dev/null")
                              .c_str()),
              0);
    Bytes fmtPart;
    Bytes data;
    ASSERT_TRUE(splitSoxFile(readFile(made), fmtPart, data)) << "sox wrote an unexpected layout";
    // A LIST chunk with a comment, between "fmt " and "data", as tagging tools put it.
    Bytes info;
    appendText(info, "INFOICMT");
    appendU32le(info, 14);
    appendText(info, "made with sox");
    info.push_back(0);
    std::vector<Bytes> chunks{chunk("fmt ", fmtPart)};
    if (c.withList) {
        chunks.push_back(chunk("LIST", info));
    }
    chunks.push_back(chunk("data", data));
    writeFile(in, riffWave(chunks));
    const std::string frames = commandOutput("sox --i -s " + in);
    ASSERT_EQ(frames, std::to_string(data.size() / (c.bits / 8)));

    const RunResult r = runSonari3({in, out});

    ASSERT_EQ(r.status, 0) << r.err;
    Transcript confirmation;
    addConverted(confirmation, in, out);
    ASSERT_GE(r.out.size(), confirmation.out().size());
    EXPECT_EQ(r.out.substr(r.out.size() - confirmation.out().size()), confirmation.out());
    EXPECT_EQ(readFile(out), expectedOutput(monoInput(c.rate, c.bits, data)));

    EXPECT_EQ(commandOutput("sox --i -c " + out), "2");
    EXPECT_EQ(commandOutput("sox --i -r " + out), std::to_string(c.rate));
    EXPECT_EQ(commandOutput("sox --i -b " + out), std::to_string(c.bits));
    EXPECT_EQ(commandOutput("sox --i -s " + out), frames);

    if (!toolAvailable("python3")) {
        GTEST_SKIP() << "python3 is not installed";
    }
    EXPECT_EQ(commandOutput("python3 -c \"import sys, wave; w = wave.open(sys.argv[1]); "
                            "print(w.getnchannels(), w.getframerate(), w.getsampwidth(), "
                            "w.getnframes())\" " +
                            out),
              "2 " + std::to_string(c.rate) + " " + std::to_string(c.bits / 8) + " " + frames);
}

INSTANTIATE_TEST_SUITE_P(Shapes, SoxFiles, ::testing::ValuesIn(kSoxCases),
                         [](const auto& p) { return std::string(p.param.name); });

// sox writes WAVE_FORMAT_EXTENSIBLE (tag 65534) for 24-bit samples: refused at the
// format record, after its six lines.
TEST(SoxFilesExtensible, RefusedWithTheFormatLines)
{
    if (!toolAvailable("sox")) {
        GTEST_SKIP() << "sox is not installed";
    }
    TempDir dir;
    const std::string in = dir.file("in.wav");
    ASSERT_EQ(
        std::system(
            ("sox -n -r 44100 -b 24 -c 1 " + in + " synth 0.05 sine 440 2>/dev/null").c_str()),
        0);
    const Bytes file = readFile(in);
    ASSERT_GE(file.size(), 36u);
    const auto u16 = [&](size_t i) { return static_cast<unsigned>(file[i] | file[i + 1] << 8); };
    const auto u32 = [&](size_t i) {
        return static_cast<unsigned long>(u16(i)) | static_cast<unsigned long>(u16(i + 2)) << 16;
    };
    ASSERT_EQ(std::string(file.begin() + 12, file.begin() + 16), "fmt ");
    ASSERT_EQ(u16(20), 0xFFFEu) << "this sox did not write WAVE_FORMAT_EXTENSIBLE";

    const RunResult r = runSonari3({in, dir.file("out.wav")});

    Transcript t;
    t.fileName(in);
    t.fmtLength(static_cast<long>(u32(16)));
    t.format(u16(20), u16(22), u32(24), u32(28), u16(32), u16(34));
    t.pcmOnly("FFFE");
    EXPECT_EQ(r.status, kRefused);
    EXPECT_EQ(r.out, t.out());
    EXPECT_EQ(r.err, t.err());
    EXPECT_FALSE(fileExists(dir.file("out.wav")));
}

}  // namespace

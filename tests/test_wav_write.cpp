// The WAVE writer: the 44-byte header, the sample data, and how the output file is
// put in place (new files, replaced files, links, FIFOs, permission bits).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/wav_info.h"
#include "support/convert_helpers.h"
#include "support/run_program.h"
#include "wav/wav_write.h"

namespace {

using Names = std::vector<std::string>;

Bytes readStream(FILE* stream)
{
    Bytes b;
    std::rewind(stream);
    int c = 0;
    while ((c = std::fgetc(stream)) != EOF) {
        b.push_back(static_cast<uint8_t>(c));
    }
    return b;
}

// A conversion job as the program hands it to the writer: the mono input's samples
// and an output buffer of twice their size, both on the heap and owned by the job.
class WriterJob {
   public:
    WriterJob(uint32_t rate, uint16_t bits, const Bytes& mono) : input_(monoInput(rate, bits, mono))
    {
        job_.in.sampleRate = rate;
        job_.in.bitsPerSample = bits;
        job_.in.channels = 1;
        job_.in.bytesPerSec = 1;  // a wrong value: the writer must compute its own
        job_.in.dataSize = static_cast<uint32_t>(mono.size());
        job_.in.samples = static_cast<uint8_t*>(std::malloc(mono.size()));
        std::memcpy(job_.in.samples, mono.data(), mono.size());
        job_.out = job_.in;
        job_.out.channels = 2;
        job_.out.dataSize = 2 * job_.in.dataSize;
        job_.out.samples = static_cast<uint8_t*>(std::malloc(job_.out.dataSize));
        std::memset(job_.out.samples, 0xAA, job_.out.dataSize);
    }
    ~WriterJob()
    {
        wavRelease(job_.in);
        wavRelease(job_.out);
    }
    WriterJob(const WriterJob&) = delete;
    WriterJob& operator=(const WriterJob&) = delete;

    StereoJob& job() { return job_; }
    // The file a successful write must leave.
    Bytes expected() const { return expectedOutput(input_); }

   private:
    InputFile input_;
    StereoJob job_;
};

// ---------------------------------------------------------------------------
// Header layout

struct HeaderCase {
    const char* name;
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    uint32_t dataSize;
    uint32_t byteRate;    // what offset 28 must hold
    uint16_t blockAlign;  // what offset 32 must hold
};

const HeaderCase kHeaderCases[] = {
    {"Stereo16At44100", 2, 44100, 16, 352800, 176400, 4},
    {"Stereo8At8000", 2, 8000, 8, 16000, 16000, 2},
    {"Stereo16OddDataLength", 2, 22050, 16, 30, 88200, 4},
    {"Mono16", 1, 22050, 16, 100, 44100, 2},
    {"NoData", 2, 48000, 16, 0, 192000, 4},
    // Twice the largest input the conversion accepts: the RIFF length just fits 32 bits.
    {"LargestOutput", 2, 44100, 16, 4294967258u, 176400, 4},
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeaderLayout : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderLayout, WritesCanonicalFortyFourBytesWithComputedRates)
{
    const HeaderCase& c = GetParam();
    WavInfo info;
    info.channels = c.channels;
    info.sampleRate = c.rate;
    info.bitsPerSample = c.bits;
    info.dataSize = c.dataSize;
    info.bytesPerSec = 12345;  // never copied into the header

    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(wavHeaderWrite(stream, info), 44);
    const Bytes written = readStream(stream);
    std::fclose(stream);

    EXPECT_EQ(written, canonicalHeader(c.channels, c.rate, c.bits, c.dataSize));
    ASSERT_EQ(written.size(), 44u);
    const auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(written[at]) | static_cast<uint32_t>(written[at + 1]) << 8 |
               static_cast<uint32_t>(written[at + 2]) << 16 |
               static_cast<uint32_t>(written[at + 3]) << 24;
    };
    EXPECT_EQ(u32(4), c.dataSize + 36);
    EXPECT_EQ(u32(28), c.byteRate);
    EXPECT_EQ(written[32] | written[33] << 8, c.blockAlign);
    EXPECT_EQ(u32(40), c.dataSize);
}

INSTANTIATE_TEST_SUITE_P(Shapes, HeaderLayout, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(HeaderWrite, CountsAsWrittenOnAPipe)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* stream = fdopen(fds[1], "wb");
    ASSERT_NE(stream, nullptr);
    WavInfo info;
    info.channels = 2;
    info.sampleRate = 8000;
    info.bitsPerSample = 8;
    info.dataSize = 10;

    EXPECT_EQ(wavHeaderWrite(stream, info), 44);
    std::fclose(stream);
    Bytes got(64);
    const ssize_t n = read(fds[0], got.data(), got.size());
    close(fds[0]);
    ASSERT_EQ(n, 44);
    got.resize(44);
    EXPECT_EQ(got, canonicalHeader(2, 8000, 8, 10));
}

TEST(HeaderWrite, FailsOnAStreamThatCannotBeWritten)
{
    TempDir dir;
    writeFile(dir.file("ro"), {});
    FILE* stream = std::fopen(dir.file("ro").c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    WavInfo info;
    info.channels = 2;
    info.sampleRate = 8000;
    info.bitsPerSample = 16;
    EXPECT_NE(wavHeaderWrite(stream, info), 44);
    std::fclose(stream);
}

// ---------------------------------------------------------------------------
// Sample data

TEST(DataWrite, FullDeviceFailsWithMessage)
{
    WriterJob w(44100, 16, noise(2000, 1));
    FILE* stream = std::fopen("/dev/full", "wb");
    ASSERT_NE(stream, nullptr);
    testing::internal::CaptureStderr();
    const int status = wavDataWrite(stream, w.job());
    const std::string err = testing::internal::GetCapturedStderr();
    std::fclose(stream);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(err, sjis("書き込みにに失敗しました.\n"));
}

// ---------------------------------------------------------------------------
// Putting the file in place

class FileWrite : public ::testing::Test {
   protected:
    // Writes the job to path; returns the status and keeps what went to stderr.
    int write(const std::string& path)
    {
        testing::internal::CaptureStderr();
        const int status = wavFileWrite(path.c_str(), job_.job());
        err_ = testing::internal::GetCapturedStderr();
        return status;
    }

    TempDir dir_;
    WriterJob job_{44100, 16, noise(6000, 7)};
    std::string err_;
};

TEST_F(FileWrite, NewFileGetsModeFromUmask)
{
    struct Case {
        mode_t umask;
        mode_t mode;
    };
    const Case cases[] = {{022, 0644}, {077, 0600}, {002, 0664}, {0, 0666}, {0277, 0400}};
    Names expectedNames;
    for (const Case& c : cases) {
        const std::string name = "new" + std::to_string(c.umask) + ".wav";
        SCOPED_TRACE(name);
        {
            UmaskScope mask(c.umask);
            ASSERT_EQ(write(dir_.file(name)), 0) << err_;
        }
        EXPECT_EQ(err_, "");
        EXPECT_EQ(readFile(dir_.file(name)), job_.expected());
        EXPECT_EQ(permissionBits(dir_.file(name)), c.mode);
        expectedNames.push_back(name);
    }
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(directoryEntries(dir_.path), expectedNames);
}

TEST_F(FileWrite, ReplacedFileKeepsItsModeAndHoldsExactlyTheNewContent)
{
    struct Case {
        const char* name;
        mode_t mode;
        size_t oldSize;
    };
    const Case cases[] = {
        {"larger.wav", 0640, 100000},  // no stale tail may remain
        {"smaller.wav", 0600, 10},
        {"empty.wav", 0604, 0},
        {"exec.wav", 0751, 12044},
    };
    const UmaskScope mask(022);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file(c.name);
        writeFile(path, noise(c.oldSize, 3));
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        ASSERT_EQ(write(path), 0) << err_;
        EXPECT_EQ(readFile(path), job_.expected());
        EXPECT_EQ(permissionBits(path), c.mode);
    }
    EXPECT_EQ(directoryEntries(dir_.path),
              (Names{"empty.wav", "exec.wav", "larger.wav", "smaller.wav"}));
}

TEST_F(FileWrite, ReplacedFileKeepsItsOwnerWhenRunAsRoot)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another owner";
    }
    const std::string path = dir_.file("owned.wav");
    writeFile(path, noise(50, 4));
    ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
    ASSERT_EQ(write(path), 0) << err_;
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    EXPECT_EQ(readFile(path), job_.expected());
}

TEST_F(FileWrite, LinkToExistingFileReplacesTheTargetAndStaysALink)
{
    ASSERT_EQ(mkdir(dir_.file("real").c_str(), 0755), 0);
    const std::string target = dir_.file("real/target.wav");
    writeFile(target, noise(30000, 5));
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const std::string link = dir_.file("out.wav");
    ASSERT_EQ(symlink("real/target.wav", link.c_str()), 0);

    ASSERT_EQ(write(link), 0) << err_;

    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char buffer[256] = {};
    ASSERT_GT(readlink(link.c_str(), buffer, sizeof buffer - 1), 0);
    EXPECT_STREQ(buffer, "real/target.wav");
    EXPECT_EQ(readFile(target), job_.expected());
    EXPECT_EQ(permissionBits(target), 0640u);
    EXPECT_EQ(directoryEntries(dir_.path), (Names{"out.wav", "real"}));
    EXPECT_EQ(directoryEntries(dir_.file("real")), (Names{"target.wav"}));
}

// A chain of links ending at nothing: the file is made where the last link points.
TEST_F(FileWrite, LinksToNothingCreateTheLastTarget)
{
    ASSERT_EQ(mkdir(dir_.file("sub").c_str(), 0755), 0);
    const std::string link = dir_.file("out.wav");
    ASSERT_EQ(symlink("sub/mid.wav", link.c_str()), 0);
    ASSERT_EQ(symlink("made.wav", dir_.file("sub/mid.wav").c_str()), 0);
    const UmaskScope mask(022);

    ASSERT_EQ(write(link), 0) << err_;

    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(lstat(dir_.file("sub/mid.wav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(dir_.file("sub/made.wav")), job_.expected());
    EXPECT_EQ(permissionBits(dir_.file("sub/made.wav")), 0644u);
    EXPECT_EQ(directoryEntries(dir_.path), (Names{"out.wav", "sub"}));
    EXPECT_EQ(directoryEntries(dir_.file("sub")), (Names{"made.wav", "mid.wav"}));
}

TEST_F(FileWrite, PathWithoutDirectoryIsWrittenInTheWorkingDirectory)
{
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir_.path.c_str()), 0);
    writeFile("rel.wav", noise(10, 6));
    const int status = write("rel.wav");
    ASSERT_EQ(chdir(previous), 0);

    ASSERT_EQ(status, 0) << err_;
    EXPECT_EQ(readFile(dir_.file("rel.wav")), job_.expected());
    EXPECT_EQ(directoryEntries(dir_.path), (Names{"rel.wav"}));
}

TEST_F(FileWrite, ReadOnlyFileIsReplacedOnlyByRoot)
{
    const std::string path = dir_.file("ro.wav");
    const Bytes old = noise(500, 8);
    writeFile(path, old);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);

    const int status = write(path);

    if (geteuid() == 0) {
        // Root could open the file for writing, so it may replace it.
        EXPECT_EQ(status, 0) << err_;
        EXPECT_EQ(readFile(path), job_.expected());
    } else {
        EXPECT_EQ(status, -1);
        EXPECT_EQ(err_, path + sjis(" をオープンできません.\n"));
        EXPECT_EQ(readFile(path), old);
    }
    EXPECT_EQ(permissionBits(path), 0444u);
    EXPECT_EQ(directoryEntries(dir_.path), (Names{"ro.wav"}));
}

TEST_F(FileWrite, FifoIsWrittenDirectlyAndStaysAFifo)
{
    const std::string fifo = dir_.file("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&] {
        const int fd = open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        uint8_t buffer[4096];
        ssize_t n = 0;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            received.insert(received.end(), buffer, buffer + n);
        }
        close(fd);
    });
    const int status = write(fifo);
    reader.join();

    EXPECT_EQ(status, 0) << err_;
    EXPECT_EQ(received, job_.expected());
    struct stat st {};
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(directoryEntries(dir_.path), (Names{"pipe.wav"}));
}

}  // namespace

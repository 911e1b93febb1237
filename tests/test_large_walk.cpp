// Chunk walks through files over 2 GiB and 4 GiB: sparse files, so they cost no disk.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/wav_builder.h"

namespace {

// Writes bytes at an absolute offset of a file, leaving a hole before them.
void writeAt(int fd, uint64_t offset, const Bytes& bytes)
{
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(bytes.size()));
}

Bytes riffHeader()
{
    Bytes b;
    appendText(b, "RIFF");
    appendU32le(b, 0);
    appendText(b, "WAVE");
    return b;
}

Bytes chunkHeader(const std::string& id, uint32_t length)
{
    return chunk(id, length, {});
}

const std::string kFmtReport =
    "             データ形式: 1 (1 = PCM)\n"
    "           チャンネル数: 1\n"
    "     サンプリング周波数: 8000 [Hz]\n"
    "          バイト数 / 秒: 16000 [bytes/sec]\n"
    " バイト数×チャンネル数: 2 [bytes]\n"
    "    ビット数 / サンプル: 16 [bits/sample]\n";

}  // namespace

// A 3 GB chunk before "fmt " and "data": the walk seeks past it in 64 bits, lists it
// with its length (negative as a signed 32-bit number) and converts what follows.
TEST(LargeWalk, ChunkOfThreeGigabytesBeforeFormatAndData)
{
    TempDir dir;
    const std::string in = dir.file("big.wav");
    const std::string out = dir.file("out.wav");
    const uint32_t junkLength = 3000000000U;
    const Bytes data = samples16({1000, -1000, 2000, -2000});
    {
        const int fd = open(in.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        writeAt(fd, 0, concat({riffHeader(), chunkHeader("JUNK", junkLength)}));
        writeAt(fd, 20ULL + junkLength, concat({fmtChunk(1, 8000, 16), chunk("data", data)}));
        close(fd);
    }

    const RunResult r = runSonari3({in, out}, "C.UTF-8");
    const std::string report = "\nファイル名[" + in + "]\n \"JUNK\"の長さ: -1294967296 [bytes]\n" +
                               kFmtReport + "\n 時間=0.001\n";
    EXPECT_EQ(r.out, report + report + "\nモノラルファイル [" + in + "] を [" + out +
                         "] へステレオ変換しました.\n");
    EXPECT_EQ(r.err,
              " \"fmt \"の長さ: 16 [bytes]\n\n \"data\" の長さ: 8 [bytes]\n"
              " \"fmt \"の長さ: 16 [bytes]\n\n \"data\" の長さ: 8 [bytes]\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(out).size(), 44U + 16U);
}

// Past 4 GiB: a chunk whose end lies beyond 2^32 must end the walk, not wrap back
// to an earlier position and loop; what lies inside it is never read.
TEST(LargeWalk, ChunkEndingPastFourGigabytesEndsTheWalk)
{
    TempDir dir;
    const std::string in = dir.file("big.wav");
    const uint64_t second = 20ULL + 0xF0000000ULL;  // where the second chunk starts
    {
        const int fd = open(in.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        writeAt(fd, 0, concat({riffHeader(), chunkHeader("JUNK", 0xF0000000U)}));
        // This chunk's end, second + 8 + 0xFFFFFFF0, wraps in 32 bits to just
        // before the first chunk; the walk must go past the end of the file instead.
        writeAt(fd, second,
                concat({chunkHeader("LIST", 0xFFFFFFF0U), fmtChunk(1, 8000, 16),
                        chunk("data", samples16({1, 2}))}));
        close(fd);
    }
    const RunResult r = runSonari3({in, dir.file("out.wav")}, "C.UTF-8");
    EXPECT_EQ(r.out, "\nファイル名[" + in +
                         "]\n \"JUNK\"の長さ: -268435456 [bytes]\n \"LIST\"の長さ: -16 [bytes]\n"
                         "\n 時間=不明\n");
    EXPECT_EQ(r.err, "入力はモノラルファイルでなければなりません!\n");
    EXPECT_EQ(r.status, 255);
}

// Fuzzes a whole conversion, in-process, through sonari3Main.
//
// Input layout:
//   byte 0       selector
//                  bits 0-1: arguments given: 0 and 3 delay and gain, 1 delay only,
//                            2 neither (the defaults apply)
//                  bit 2:    convert in place (output path = input path)
//                  bit 3:    an output file exists already (ignored in place)
//                  bit 4:    the conversion runs under a file-size limit (RLIMIT_FSIZE)
//                            of the fuzz input's own length, so that writing any
//                            output longer than that fails part-way
//   delay text   up to the first '\n' or 32 bytes, whichever ends first (the '\n'
//                is dropped)
//   gain text    the same
//   the rest     the input WAVE file
// The texts are passed as C strings, so a NUL byte ends one early.
//
// Checked after each run:
//  - the status is 0 or -1;
//  - on 0: the output is a 44-byte canonical header plus twice the input's data
//    (the last "data" chunk), two channels of the input's bits and rate, and the
//    RIFF length matches the file length;
//  - on -1: what was at the output path is untouched (the input itself when in
//    place; the old output file; or nothing at all);
//  - no temporary file (a name beginning with '.') is left in the directory;
// and, through the sanitizers, no crash, leak or undefined behaviour.
// All files live in one private directory, emptied after every run and removed
// at a normal exit (a crash leaves it, with the input in it). It is made under
// $TMPDIR, or /dev/shm, or /tmp.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/entry.h"
#include "fuzz/chunk_walk.h"
#include "fuzz/fuzz_common.h"
#include "wav/wav_bytes.h"

namespace {

constexpr size_t kMaxArgumentText = 32;
const std::vector<uint8_t> kOldOutput = {'o', 'l', 'd', ' ', 'o', 'u', 't', 'p', 'u', 't'};

std::string g_dir;

using Bytes = std::vector<uint8_t>;

std::string baseDirectory()
{
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && tmp[0] != '\0') {
        return tmp;
    }
    // tmpfs: the in-place runs fsync the new file, which costs nothing there.
    if (access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
    return "/tmp";
}

void writeWhole(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

// The file's bytes; false if it cannot be opened.
bool readWhole(const std::string& path, Bytes& bytes)
{
    bytes.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    std::array<uint8_t, 65536> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) {
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    std::fclose(f);
    return true;
}

// The names in the directory, less "." and "..".
std::vector<std::string> listDirectory()
{
    std::vector<std::string> names;
    DIR* dir = opendir(g_dir.c_str());
    FUZZ_CHECK(dir != nullptr);
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    return names;
}

void emptyDirectory()
{
    for (const std::string& name : listDirectory()) {
        FUZZ_CHECK(unlink((g_dir + "/" + name).c_str()) == 0);
    }
}

void removeDirectory()
{
    if (!g_dir.empty()) {
        emptyDirectory();
        rmdir(g_dir.c_str());
    }
}

// One argument text: up to the first '\n' or kMaxArgumentText bytes.
std::string takeText(const uint8_t*& p, const uint8_t* end)
{
    std::string text;
    while (p < end && text.size() < kMaxArgumentText) {
        const char c = static_cast<char>(*p++);
        if (c == '\n') {
            break;
        }
        text += c;
    }
    return text;
}

// A file-size limit (RLIMIT_FSIZE) for the life of the object, under which the
// program's writes fail part-way. It is never below the fuzz input's length, so
// that libFuzzer can still save the whole input should the run crash; new corpus
// entries are written after the limit is lifted. The program ignores SIGXFSZ
// (see main), so a write over the limit fails with EFBIG; libFuzzer installs its
// own handler after start-up, so that is set aside meanwhile.
class FileSizeLimit {
   public:
    explicit FileSizeLimit(size_t bytes)
    {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        FUZZ_CHECK(oldHandler_ != SIG_ERR);
        FUZZ_CHECK(getrlimit(RLIMIT_FSIZE, &old_) == 0);
        rlimit limit = old_;
        limit.rlim_cur = std::min<rlim_t>(static_cast<rlim_t>(bytes), old_.rlim_cur);
        FUZZ_CHECK(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    }
    ~FileSizeLimit()
    {
        FUZZ_CHECK(setrlimit(RLIMIT_FSIZE, &old_) == 0);
        FUZZ_CHECK(std::signal(SIGXFSZ, oldHandler_) != SIG_ERR);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

   private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

void checkOutput(const Bytes& out, const ChunkWalk& walk)
{
    FUZZ_CHECK(walk.riffWave && walk.hasData && walk.hasFmt);
    const uint64_t data = 2 * static_cast<uint64_t>(walk.dataLength);
    FUZZ_CHECK(out.size() == 44 + data);
    const uint8_t* h = out.data();
    FUZZ_CHECK(std::memcmp(h, "RIFF", 4) == 0);
    FUZZ_CHECK(bytesToU32le(h + 4) + uint64_t{8} == out.size());
    FUZZ_CHECK(std::memcmp(h + 8, "WAVEfmt ", 8) == 0);
    FUZZ_CHECK(bytesToU32le(h + 16) == 16);
    FUZZ_CHECK(bytesToU16le(h + 20) == 1);
    FUZZ_CHECK(bytesToU16le(h + 22) == 2);
    FUZZ_CHECK(walk.channels == 1);
    FUZZ_CHECK(bytesToU32le(h + 24) == walk.sampleRate);
    FUZZ_CHECK(bytesToU16le(h + 34) == walk.bitsPerSample);
    FUZZ_CHECK(walk.bitsPerSample == 8 || walk.bitsPerSample == 16);
    FUZZ_CHECK(bytesToU16le(h + 32) == 2 * walk.bitsPerSample / 8);
    FUZZ_CHECK(std::memcmp(h + 36, "data", 4) == 0);
    FUZZ_CHECK(bytesToU32le(h + 40) == data);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    fuzzSetUp();
    std::string pattern = baseDirectory() + "/sonari3-fuzz-run-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    g_dir = pattern;
    std::atexit(removeDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return -1;
    }
    const uint8_t selector = data[0];
    const uint8_t* p = data + 1;
    const uint8_t* end = data + size;
    const std::string delay = takeText(p, end);
    const std::string gain = takeText(p, end);
    const size_t fileSize = static_cast<size_t>(end - p);
    const ChunkWalk walk = walkChunks(p, fileSize);
    if (walk.hugeData) {
        return -1;  // not added to the corpus; see kMaxDeclaredData
    }

    const bool inPlace = (selector & 4) != 0;
    const bool oldOutput = !inPlace && (selector & 8) != 0;
    const std::string in = g_dir + "/in.wav";
    const std::string out = inPlace ? in : g_dir + "/out.wav";
    writeWhole(in, p, fileSize);
    if (oldOutput) {
        writeWhole(out, kOldOutput.data(), kOldOutput.size());
    }

    std::vector<const char*> argv = {"sonari3", in.c_str(), out.c_str()};
    switch (selector & 3) {
    case 1:
        argv.push_back(delay.c_str());
        break;
    case 2:
        break;
    default:
        argv.push_back(delay.c_str());
        argv.push_back(gain.c_str());
        break;
    }
    std::optional<FileSizeLimit> limit;
    if ((selector & 16) != 0) {
        limit.emplace(size);
    }
    const int status = sonari3Main(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
    limit.reset();

    FUZZ_CHECK(status == 0 || status == -1);
    for (const std::string& name : listDirectory()) {
        FUZZ_CHECK(name[0] != '.');
    }
    Bytes written;
    const bool outputExists = readWhole(out, written);
    if (status == 0) {
        FUZZ_CHECK(outputExists);
        checkOutput(written, walk);
    } else if (inPlace) {
        FUZZ_CHECK(outputExists && written == Bytes(p, end));
    } else if (oldOutput) {
        FUZZ_CHECK(outputExists && written == kOldOutput);
    } else {
        FUZZ_CHECK(!outputExists);
    }
    emptyDirectory();
    return 0;
}

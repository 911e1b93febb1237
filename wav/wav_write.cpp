// The WAVE writer: header layout, sample data, and a safe replacement of the
// output file so that a failed conversion never destroys what was there.
#include "wav/wav_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/console.h"
#include "stereo/pseudo_stereo.h"
#include "wav/wav_bytes.h"

namespace {

constexpr long kHeaderSize = 44;

// Where and how the output is written: straight into the path, or into a
// temporary file beside the target that is renamed over it at the end.
struct OutputPlan {
    bool direct = true;
    std::string target;      // the file that is replaced (a link's target)
    std::string temporary;   // the file being written, when not direct
    bool replacing = false;  // an existing file is being replaced
    struct stat old {};      // its permissions and owner
};

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t currentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// The file that writing through path would create where nothing exists yet:
// path itself, or the end of a chain of symbolic links that leads nowhere.
int missingTarget(const std::string& path, std::string& target)
{
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0) {
            target = current;
            return errno == ENOENT ? 0 : -1;
        }
        if (!S_ISLNK(st.st_mode)) {
            return -1;
        }
        std::array<char, PATH_MAX> link{};
        const ssize_t length = readlink(current.c_str(), link.data(), link.size() - 1);
        if (length <= 0) {
            return -1;
        }
        const std::string next(link.data(), static_cast<size_t>(length));
        if (next.front() == '/') {
            current = next;
        } else {
            current = directoryOf(current).append("/").append(next);
        }
    }
    return -1;
}

// Decides how to write the path. Devices, FIFOs and directories are opened
// directly (a rename over them would be wrong); a missing file or a regular one,
// also through symbolic links, gets a temporary file beside the file it becomes.
int planOutput(const char* path, OutputPlan& plan)
{
    struct stat st {};
    if (stat(path, &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            plan.direct = true;
            return 0;
        }
        // The user must be allowed to write the file itself, as opening it would require.
        const int probe = open(path, O_WRONLY | O_CLOEXEC);
        if (probe < 0) {
            return -1;
        }
        close(probe);
        char* resolved = realpath(path, nullptr);
        if (resolved == nullptr) {
            return -1;
        }
        plan.target = resolved;
        std::free(resolved);
        plan.replacing = true;
        plan.old = st;
    } else if (errno != ENOENT || missingTarget(path, plan.target) != 0) {
        return -1;
    }
    plan.direct = false;
    return 0;
}

FILE* openTemporary(OutputPlan& plan)
{
    std::string name = directoryOf(plan.target) + "/." + baseNameOf(plan.target) + ".XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    plan.temporary = name;
    // The new file takes the old one's permission bits (and owner, where allowed),
    // or those a newly created file would get.
    if (plan.replacing) {
        fchmod(fd, plan.old.st_mode & 07777);
        if (fchown(fd, plan.old.st_uid, plan.old.st_gid) != 0) {
            // Only root may give a file away; otherwise the writer keeps it.
        }
    } else {
        fchmod(fd, 0666 & ~currentUmask());
    }
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        close(fd);
        unlink(name.c_str());
    }
    return stream;
}

void discard(FILE* stream, const OutputPlan& plan)
{
    std::fclose(stream);
    if (!plan.direct) {
        unlink(plan.temporary.c_str());
    }
}

// Makes the finished file durable and puts it in place of the target.
int commitOutput(FILE* stream, const OutputPlan& plan)
{
    // Before an existing file is replaced, the new one must be on disk.
    const bool synced = plan.direct || !plan.replacing || fsync(fileno(stream)) == 0;
    if (std::fclose(stream) != 0 || !synced) {
        if (!plan.direct) {
            unlink(plan.temporary.c_str());
        }
        consoleErr(Text::WriteFailed);
        return -1;
    }
    if (!plan.direct && rename(plan.temporary.c_str(), plan.target.c_str()) != 0) {
        unlink(plan.temporary.c_str());
        consoleErr(Text::WriteFailed);
        return -1;
    }
    return 0;
}

}  // namespace

long wavHeaderWrite(FILE* stream, const WavInfo& info)
{
    const auto bytesPerSample = static_cast<uint32_t>(info.bitsPerSample / 8);
    const uint32_t byteRate = bytesPerSample * info.channels * info.sampleRate;
    const auto blockAlign = static_cast<uint16_t>(bytesPerSample * info.channels);

    std::array<uint8_t, kHeaderSize> header{};
    uint8_t* h = header.data();
    std::copy_n("RIFF", 4, h);
    u32leToBytes(info.dataSize + 36, h + 4);
    std::copy_n("WAVE", 4, h + 8);
    std::copy_n("fmt ", 4, h + 12);
    u32leToBytes(16, h + 16);
    u16leToBytes(1, h + 20);
    u16leToBytes(info.channels, h + 22);
    u32leToBytes(info.sampleRate, h + 24);
    u32leToBytes(byteRate, h + 28);
    u16leToBytes(blockAlign, h + 32);
    u16leToBytes(info.bitsPerSample, h + 34);
    std::copy_n("data", 4, h + 36);
    u32leToBytes(info.dataSize, h + 40);

    const size_t written = std::fwrite(header.data(), header.size(), 1, stream);
    const off_t position = ftello(stream);
    // A pipe has no position: there the header counts as written when the item was.
    if (position < 0 && errno == ESPIPE) {
        return written == 1 ? kHeaderSize : 0;
    }
    return static_cast<long>(position);
}

int wavDataWrite(FILE* stream, StereoJob& job)
{
    const int status = job.out.bitsPerSample == 8 ? pseudoStereo8(job) : pseudoStereo16(job);
    // The flush makes a full disk show here, where it can still be reported.
    if (std::fwrite(job.out.samples, 1, job.out.dataSize, stream) != job.out.dataSize ||
        std::fflush(stream) != 0) {
        consoleErr(Text::WriteFailed);
        return -1;
    }
    return status;
}

int wavFileWrite(const char* path, StereoJob& job)
{
    OutputPlan plan;
    FILE* stream = nullptr;
    if (planOutput(path, plan) == 0) {
        stream = plan.direct ? std::fopen(path, "wb") : openTemporary(plan);
        // A file the user may write, in a folder where they may not create one,
        // can only be written in place, as opening it would.
        if (stream == nullptr && plan.replacing && (errno == EACCES || errno == EPERM)) {
            plan.direct = true;
            stream = std::fopen(path, "wb");
        }
    }
    if (stream == nullptr) {
        consoleErr(Text::WriteOpenFailed, path);
        return -1;
    }
    if (wavHeaderWrite(stream, job.out) != kHeaderSize) {
        consoleErr(Text::HeaderWriteFailed, path);
        discard(stream, plan);
        return -1;
    }
    if (wavDataWrite(stream, job) != 0) {
        consoleErr(Text::DataWriteError);
        discard(stream, plan);
        return -1;
    }
    return commitOutput(stream, plan);
}

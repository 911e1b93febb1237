// Spawning the built program with redirected streams, and small file helpers.
#include "support/run_program.h"

#include <fcntl.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RunResult spawn(const std::vector<std::string>& args, const std::string& locale, bool merged)
{
    TempDir capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (merged) {
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }

    ProgramCommand command = programCommand(args, locale);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, command.argv[0], &actions, nullptr, command.argv.data(),
                               command.envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + command.argStore[0]);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);

    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = slurp(outPath);
    if (!merged) {
        result.err = slurp(errPath);
    }
    return result;
}

}  // namespace

ProgramCommand programCommand(const std::vector<std::string>& args, const std::string& locale)
{
    ProgramCommand c;
    c.argStore.emplace_back(SONARI3_BIN);
    c.argStore.insert(c.argStore.end(), args.begin(), args.end());
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0 ||
            entry.rfind("LANGUAGE=", 0) == 0) {
            continue;
        }
        c.envStore.push_back(entry);
    }
    c.envStore.push_back("LC_ALL=" + locale);
    for (std::string& a : c.argStore) {
        c.argv.push_back(a.data());
    }
    c.argv.push_back(nullptr);
    for (std::string& e : c.envStore) {
        c.envp.push_back(e.data());
    }
    c.envp.push_back(nullptr);
    return c;
}

RunResult runSonari3(const std::vector<std::string>& args, const std::string& locale)
{
    return spawn(args, locale, false);
}

RunResult runSonari3Merged(const std::vector<std::string>& args, const std::string& locale)
{
    return spawn(args, locale, true);
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sonari3-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Directories made read-only by a test must become writable again to be removed.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ec)) {
        if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes readFile(const std::string& path)
{
    const std::string s = slurp(path);
    return Bytes(s.begin(), s.end());
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string sjis(const std::string& utf8)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv has no CP932");
    }
    std::string in = utf8;
    std::string out(in.size() * 2 + 16, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0) {
        throw std::runtime_error("text does not convert to CP932: " + utf8);
    }
    out.resize(out.size() - outLeft);
    return out;
}

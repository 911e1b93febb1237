// Set-up and failure reporting shared by the fuzz targets.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>

// Makes the process look like the program's main does (the console's character
// type from the environment, SIGXFSZ ignored) and sends standard output, where
// the chunk report goes, to /dev/null so that runs stay fast. Set
// SONARI3_FUZZ_SHOW_REPORT=1 to keep it, e.g. when replaying one input.
// Standard error is left alone: libFuzzer and the sanitizers report there. Pass
// -close_fd_mask=2 to silence the program's own error lines while fuzzing.
// LLVMFuzzerInitialize runs before libFuzzer applies that flag, so the copy of
// standard error kept here still reaches the terminal for fuzzFail.
inline int g_failFd = STDERR_FILENO;

inline void fuzzSetUp()
{
    const int copy = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (copy >= 0) {
        g_failFd = copy;
    }
    std::setlocale(LC_CTYPE, "");
    std::signal(SIGXFSZ, SIG_IGN);
    const char* show = std::getenv("SONARI3_FUZZ_SHOW_REPORT");
    if (show == nullptr || show[0] == '\0' || show[0] == '0') {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            std::fflush(stdout);
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
}

// A broken promise: says which and aborts, so that libFuzzer saves the input.
[[noreturn]] inline void fuzzFail(const char* what)
{
    dprintf(g_failFd, "\nsonari3 fuzz check failed: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(condition)     \
    do {                          \
        if (!(condition)) {       \
            fuzzFail(#condition); \
        }                         \
    } while (false)

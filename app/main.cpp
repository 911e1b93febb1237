// sonari3: converts a mono PCM WAVE file into a pseudo-stereo WAVE file.
#include <clocale>
#include <csignal>

#include "app/entry.h"

int main(int argc, char** argv)
{
    // Only the character type follows the environment: numbers keep the "." point.
    std::setlocale(LC_CTYPE, "");
    // A file-size limit must fail the write (and so remove the temporary file),
    // not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    return sonari3Main(argc, argv);
}

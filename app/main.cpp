// sonari3: converts a mono PCM WAVE file into a pseudo-stereo WAVE file.
#include <clocale>

#include "app/entry.h"

int main(int argc, char** argv)
{
    // Only the character type follows the environment: numbers keep the "." point.
    std::setlocale(LC_CTYPE, "");
    return sonari3Main(argc, argv);
}

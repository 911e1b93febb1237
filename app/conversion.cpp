// The conversion stage. Until the writer exists an accepted input ends the run here.
#include "app/entry.h"

int runConversion(const char*, const char*, StereoJob& job)
{
    wavRelease(job.out);
    wavRelease(job.in);
    return 0;
}

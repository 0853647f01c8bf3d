#ifndef MALLOCOUNT_H
#define MALLOCOUNT_H

#include <cstddef>

// Counts what the process allocates through malloc, calloc and realloc (and
// so through operator new) while counting is on.
namespace alloccount {

struct Totals
{
    long long calls = 0;
    long long bytes = 0;
    long long largest = 0;
    long long callsHere = 0; // on threads marked with markThisThread()
    long long bytesHere = 0;
};

void start();
Totals stop();
void markThisThread(bool marked);

} // namespace alloccount

#endif

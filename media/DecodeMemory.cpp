#include "DecodeMemory.h"

#include <malloc.h>

void keepDecodeBuffersForReuse()
{
    constexpr int largestPooledBuffer = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, largestPooledBuffer);
    mallopt(M_TRIM_THRESHOLD, 2 * largestPooledBuffer);
    // Every thread would get an arena of its own, and what a worker frees there is seldom given
    // back: a long list, once cleared, left a quarter more memory behind. With one arena a trim
    // returns it all; the workers spend their time decoding and waiting on the model, not in malloc.
    mallopt(M_ARENA_MAX, 1);
}

void returnDecodeBuffers()
{
    malloc_trim(0);
}

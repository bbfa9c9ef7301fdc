#include "DecodeMemory.h"

#include <malloc.h>

void keepDecodeBuffersForReuse()
{
    constexpr int largestPooledBuffer = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, largestPooledBuffer);
    mallopt(M_TRIM_THRESHOLD, 2 * largestPooledBuffer);
}

void returnDecodeBuffers()
{
    malloc_trim(0);
}

#pragma once

// Decoding one photo allocates a few buffers of tens of megabytes (LibRaw's sensor data, the HEVC
// picture, RGB copies). glibc gives such buffers back to the kernel on every free, so each photo
// pays again for faulting in fresh zeroed pages, which costs more than the decoding itself on
// some machines. Called once at start-up, before any thread: keeps freed memory for the next photo.
void keepDecodeBuffersForReuse();

// Gives the kept buffers back to the system, for when a run of decoding has ended and the program
// may sit idle for a long time.
void returnDecodeBuffers();

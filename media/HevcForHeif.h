#pragma once

// Makes libheif decode HEVC pictures with FFmpeg's decoder, which is several times faster than
// libheif's own and decodes wavefront rows in parallel. Safe to call any number of times.
void useFfmpegForHeifHevc();

#pragma once

// Owning handles and the guarded open shared by everything in media/ that reads through FFmpeg.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QString>

#include <chrono>
#include <memory>

namespace Ffmpeg {

struct FormatContextDeleter { void operator()(AVFormatContext *c) const { avformat_close_input(&c); } };
struct CodecContextDeleter { void operator()(AVCodecContext *c) const { avcodec_free_context(&c); } };
struct PacketDeleter { void operator()(AVPacket *p) const { av_packet_free(&p); } };
struct FrameDeleter { void operator()(AVFrame *f) const { av_frame_free(&f); } };
struct ScalerDeleter { void operator()(SwsContext *s) const { sws_freeContext(s); } };

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

// A damaged or endless file must not hold a worker for long: every blocking FFmpeg call made under
// a deadline gives up once it has passed.
class Deadline
{
public:
    static constexpr std::chrono::seconds budget{10};

    void restart() { m_end = std::chrono::steady_clock::now() + budget; }
    bool passed() const { return std::chrono::steady_clock::now() > m_end; }

    // For AVIOInterruptCB: the opaque pointer is the Deadline.
    static int interruptCallback(void *deadline);

private:
    std::chrono::steady_clock::time_point m_end = std::chrono::steady_clock::now() + budget;
};

// Opens a local regular file (never a URL, pipe or device) for demuxing. The deadline must outlive
// the returned context, which keeps calling it.
FormatContextPtr openInput(const QString &path, Deadline *deadline);

} // namespace Ffmpeg

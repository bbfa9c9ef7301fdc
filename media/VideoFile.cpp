#include "VideoFile.h"

#include "FfmpegInput.h"
#include "Orientation.h"
#include "RgbConverter.h"

extern "C" {
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Ffmpeg;

namespace {

// 16384 × 16384: beyond 8K video on both sides, and far below what a crafted header can declare.
constexpr qint64 largestPicture = 16384LL * 16384;

// The display matrix as one of the eight EXIF orientations, so that video and photos share one
// upright-turning routine. Only the signs of the 2×2 part matter: (x, y) goes to
// (a·x + c·y, b·x + d·y) on screen, with y pointing down.
int orientationOf(const AVStream *stream)
{
    const auto *matrix = reinterpret_cast<const int32_t *>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 1;
    const auto sign = [](int32_t v) { return v > 0x8000 ? 1 : (v < -0x8000 ? -1 : 0); };
    const int a = sign(matrix[0]), b = sign(matrix[1]), c = sign(matrix[3]), d = sign(matrix[4]);
    if (a != 0 && d != 0 && b == 0 && c == 0) {
        if (a > 0)
            return d > 0 ? 1 : 4;
        return d > 0 ? 2 : 3;
    }
    if (a == 0 && d == 0 && b != 0 && c != 0) {
        if (b > 0)
            return c < 0 ? 6 : 5;
        return c > 0 ? 8 : 7;
    }
    return 1;
}

// The stream's YUV matrix; streams that do not say are HD (BT.709) from 720 lines up, SD below.
int swscaleColourSpace(AVColorSpace space, int height)
{
    switch (space) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    default: return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

const AVStream *pictureStream(const AVFormatContext *format)
{
    // Cover art in an audio file is a video stream too, but not a video.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream *s = format->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)
            && s->codecpar->width > 0 && s->codecpar->height > 0)
            return s;
    }
    return nullptr;
}

} // namespace

struct VideoFile::Private
{
    Deadline deadline;
    FormatContextPtr format;
    AVStream *stream = nullptr;
    CodecContextPtr codec;
    bool codecFailed = false;
    PacketPtr packet{av_packet_alloc()};
    RgbConverter converter;
    int orientation = 1;
    int64_t startPts = 0;

    // The decoding state between requests: `shown` is the newest frame at or before the last
    // requested time, `ahead` the first frame after it, if already decoded.
    FramePtr shown{av_frame_alloc()};
    FramePtr ahead{av_frame_alloc()};
    bool hasShown = false;
    bool hasAhead = false;
    bool drained = false;
    bool positioned = false;

    static int64_t ptsOf(const AVFrame *f, int64_t fallback)
    {
        return f->best_effort_timestamp == AV_NOPTS_VALUE ? fallback : f->best_effort_timestamp;
    }

    bool openDecoder();
    bool mustSeekFor(int64_t target) const;
    bool seekTo(int64_t target);
    bool seekBefore(int64_t target);
    bool decodeNext(AVFrame *into);
    const AVFrame *frameShownAt(int64_t target);
    bool reachesTarget(const AVFrame *last, int64_t target) const;
    std::optional<QImage> toImage(const AVFrame *frame, QSize box);
};

bool VideoFile::Private::openDecoder()
{
    if (codec)
        return true;
    if (codecFailed || !stream)
        return false;
    codecFailed = true;
    const AVCodec *decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        return false;
    CodecContextPtr context(avcodec_alloc_context3(decoder));
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0)
        return false;
    context->pkt_timebase = stream->time_base;
    // A stream that declares a picture far beyond any camera's is refused before anything is
    // allocated for it.
    context->max_pixels = largestPicture;
    // Two threads decode as fast as FFmpeg's own choice here, and each further thread holds several
    // more full-size pictures in memory.
    context->thread_count = 2;
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return false;
    codec = std::move(context);
    codecFailed = false;
    return true;
}

bool VideoFile::Private::mustSeekFor(int64_t target) const
{
    if (!positioned || drained || !hasShown)
        return true;
    const int64_t frontier = ptsOf(shown.get(), target);
    if (target < frontier)
        return true;
    if (hasAhead && ptsOf(ahead.get(), target) > target)
        return false;
    // Decoding on is cheaper than seeking as long as no key frame lies between here and the target.
    const int entry = av_index_search_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
    if (entry >= 0)
        return avformat_index_get_entry(stream, entry)->timestamp > frontier;
    const int64_t twoSeconds = av_rescale_q(2, AVRational{1, 1}, stream->time_base);
    return target - frontier > twoSeconds;
}

bool VideoFile::Private::seekTo(int64_t target)
{
    const int index = stream->index;
    int result = avformat_seek_file(format.get(), index, std::numeric_limits<int64_t>::min(), target, target, 0);
    if (result < 0)
        result = av_seek_frame(format.get(), index, target, AVSEEK_FLAG_BACKWARD);
    if (result < 0 && !positioned)
        result = 0; // freshly opened: reading starts at the beginning anyway
    if (result < 0)
        return false;
    avcodec_flush_buffers(codec.get());
    hasShown = hasAhead = drained = false;
    positioned = true;
    return true;
}

// Some demuxers (MPEG-TS, MPEG-PS) land on any packet rather than a key frame, and the decoder
// then waits for the next key frame, which may lie past the target: step back further until the
// first picture is not late, or the start is reached.
bool VideoFile::Private::seekBefore(int64_t target)
{
    const int64_t second = av_rescale_q(1, AVRational{1, 1}, stream->time_base);
    int64_t point = target;
    for (int64_t step = second;; step *= 2) {
        if (!seekTo(point))
            return false;
        hasAhead = decodeNext(ahead.get());
        if (hasAhead && ptsOf(ahead.get(), target) <= target)
            return true;
        if (point <= startPts)
            break;
        point = std::max(startPts, target - step);
    }
    // Even a search for the start landed late; only reading from the first byte is certain.
    if (!(format->iformat->flags & AVFMT_NO_BYTE_SEEK)
        && avformat_seek_file(format.get(), -1, std::numeric_limits<int64_t>::min(), 0, 0, AVSEEK_FLAG_BYTE) >= 0) {
        avcodec_flush_buffers(codec.get());
        hasShown = drained = false;
        hasAhead = decodeNext(ahead.get());
    }
    return true;
}

// Decodes the next frame in presentation order; false at the end of the stream or on a hard error.
bool VideoFile::Private::decodeNext(AVFrame *into)
{
    while (!deadline.passed()) {
        const int received = avcodec_receive_frame(codec.get(), into);
        if (received == 0)
            return true;
        if (received != AVERROR(EAGAIN))
            return false;
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            if (read == AVERROR_EXIT)
                return false;
            avcodec_send_packet(codec.get(), nullptr); // flush: the delayed frames follow
            continue;
        }
        if (packet->stream_index == stream->index)
            avcodec_send_packet(codec.get(), packet.get()); // a damaged packet only loses its frame
        av_packet_unref(packet.get());
    }
    return false;
}

// The last frame of the stream is on screen for its own duration, not for ever: in a cut-off file
// the times the file claims but no longer holds show nothing, and repeating the last frame under
// those times would be a wrong picture. Past the end the file claims, the last frame stays.
bool VideoFile::Private::reachesTarget(const AVFrame *last, int64_t target) const
{
    if (format->duration > 0) {
        const int64_t claimedEnd = startPts + av_rescale_q(format->duration, AV_TIME_BASE_Q, stream->time_base);
        if (target >= claimedEnd)
            return true;
    }
    int64_t span = std::max<int64_t>(last->pkt_duration, av_rescale_q(1, AVRational{1, 10}, stream->time_base));
    if (stream->avg_frame_rate.num > 0)
        span = std::max(span, av_rescale_q(1, av_inv_q(stream->avg_frame_rate), stream->time_base));
    // Twice its duration leaves room for the rounding of the times asked for.
    return target - ptsOf(last, target) <= 2 * span;
}

const AVFrame *VideoFile::Private::frameShownAt(int64_t target)
{
    if (mustSeekFor(target) && !seekBefore(target))
        return nullptr;
    for (;;) {
        if (!hasAhead) {
            if (drained)
                return hasShown && reachesTarget(shown.get(), target) ? shown.get() : nullptr;
            if (!decodeNext(ahead.get())) {
                drained = true;
                continue;
            }
            hasAhead = true;
        }
        // A frame without a time cannot be placed; it is taken as the one at the target.
        const int64_t pts = ptsOf(ahead.get(), target);
        if (pts > target && hasShown)
            return shown.get();
        std::swap(shown, ahead);
        av_frame_unref(ahead.get());
        hasAhead = false;
        hasShown = true;
        if (pts >= target) // exact, or the target precedes the first frame
            return shown.get();
    }
}

std::optional<QImage> VideoFile::Private::toImage(const AVFrame *frame, QSize box)
{
    const int width = frame->width, height = frame->height;
    if (width <= 0 || height <= 0)
        return std::nullopt;
    AVRational aspect = frame->sample_aspect_ratio;
    if (aspect.num <= 0 || aspect.den <= 0)
        aspect = stream->sample_aspect_ratio;
    // Real pixel shapes are near square; an absurd one would ask for an absurdly wide picture.
    const double declaredAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    const double pixelAspect = declaredAspect >= 0.1 && declaredAspect <= 10 ? declaredAspect : 1.0;
    const double shownWidth = width * pixelAspect, shownHeight = height;

    const bool turnsSideways = orientation >= 5;
    double scale = 1.0;
    if (box.width() > 0 && box.height() > 0) {
        const double uprightWidth = turnsSideways ? shownHeight : shownWidth;
        const double uprightHeight = turnsSideways ? shownWidth : shownHeight;
        scale = std::min({1.0, box.width() / uprightWidth, box.height() / uprightHeight});
    }
    const int outWidth = std::max(1, static_cast<int>(std::lround(shownWidth * scale)));
    const int outHeight = std::max(1, static_cast<int>(std::lround(shownHeight * scale)));
    if (qint64(outWidth) * outHeight > largestPicture)
        return std::nullopt;

    PlanarPicture planar;
    planar.planes = frame->data;
    planar.strides = frame->linesize;
    planar.format = static_cast<AVPixelFormat>(frame->format);
    planar.size = QSize(width, height);
    planar.colourSpace = swscaleColourSpace(frame->colorspace, height);
    planar.fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const auto picture = converter.convert(planar, QSize(outWidth, outHeight));
    if (!picture)
        return std::nullopt;
    return applyOrientation(*picture, orientation);
}

VideoFile::VideoFile(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}

VideoFile::~VideoFile() = default;

std::unique_ptr<VideoFile> VideoFile::open(const QString &path)
{
    auto d = std::make_unique<Private>();
    d->deadline.restart();
    d->format = openInput(path, &d->deadline);
    if (!d->format || !d->packet || !d->shown || !d->ahead)
        return {};
    if (avformat_find_stream_info(d->format.get(), nullptr) < 0)
        return {};
    d->stream = const_cast<AVStream *>(pictureStream(d->format.get()));
    if (d->stream) {
        d->orientation = orientationOf(d->stream);
        if (d->stream->start_time != AV_NOPTS_VALUE)
            d->startPts = d->stream->start_time;
    }
    return std::unique_ptr<VideoFile>(new VideoFile(std::move(d)));
}

double VideoFile::duration() const
{
    if (d->format->duration != AV_NOPTS_VALUE && d->format->duration > 0)
        return d->format->duration / static_cast<double>(AV_TIME_BASE);
    if (d->stream && d->stream->duration != AV_NOPTS_VALUE && d->stream->duration > 0)
        return d->stream->duration * av_q2d(d->stream->time_base);
    return 0;
}

bool VideoFile::hasVideoTrack() const
{
    return d->stream != nullptr;
}

std::optional<QImage> VideoFile::frameAt(double seconds, QSize box)
{
    if (!std::isfinite(seconds) || !d->openDecoder())
        return std::nullopt;
    d->deadline.restart();
    // Times are asked for in 1/600 s, the unit every caller rounds to.
    const int64_t target = d->startPts
        + av_rescale_q_rnd(std::llround(std::max(0.0, seconds) * 600), AVRational{1, 600}, d->stream->time_base,
                           AV_ROUND_DOWN);
    const AVFrame *frame = d->frameShownAt(target);
    if (!frame)
        return std::nullopt;
    return d->toImage(frame, box);
}

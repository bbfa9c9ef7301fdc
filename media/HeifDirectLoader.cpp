// HEIC straight through FFmpeg: the file's own boxes say where the HEVC tiles are, two decoders
// share the tiles, each tile lands in one YUV picture of the grid's size, and swscale turns that
// into RGB at the size asked for. libheif would add a colour-conversion pass and a copy of every
// tile on the way, which costs about as much as decoding.

#include "StillLoaders.h"

#include "ExifReader.h"
#include "FfmpegInput.h"
#include "FilePath.h"
#include "HeifPicture.h"
#include "Orientation.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <atomic>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

using namespace Ffmpeg;

namespace {

// As the video decoder: a third thread gains nothing on the machines this runs on.
constexpr int decodingThreads = 2;

// Each tile's bytes are read straight into a packet FFmpeg can keep without copying.
std::optional<std::vector<PacketPtr>> readTiles(QIODevice &file, const HeifContainer::Container &container,
                                                const HevcPictureLayout &layout)
{
    // Tiles may not share bytes: a grid that names one large item thousands of times must not
    // make us hold thousands of copies.
    qint64 unread = file.size();
    std::vector<PacketPtr> tiles;
    for (quint32 id : layout.tiles) {
        const HeifContainer::Item &item = *container.item(id);
        const auto size = HeifContainer::itemSize(file, container, item);
        if (!size || *size == 0 || *size > std::min<qint64>(unread, std::numeric_limits<int>::max() / 2))
            return std::nullopt;
        unread -= *size;
        PacketPtr packet(av_packet_alloc());
        if (!packet || av_new_packet(packet.get(), int(*size)) < 0
            || !HeifContainer::readItem(file, container, item, reinterpret_cast<char *>(packet->data)))
            return std::nullopt;
        tiles.push_back(std::move(packet));
    }
    return tiles;
}

AVPixelFormat withoutJpegRange(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

// Block edges that the deblocking filter would smooth are averaged away when the picture is
// scaled to half its size or less: skipping the filter there moves the result by a tenth of a
// level on average at most, and saves a twentieth of the decoding.
enum class Deblocking { Apply, Skip };

// One HEVC decoder that takes tiles one at a time: each tile is a picture of its own, so the
// decoder is drained after each and reset for the next.
class TileDecoder
{
public:
    bool open(const HevcPictureLayout &layout, int threads, Deblocking deblocking)
    {
        const AVCodec *hevc = avcodec_find_decoder(AV_CODEC_ID_HEVC);
        m_context.reset(hevc ? avcodec_alloc_context3(hevc) : nullptr);
        m_frame.reset(av_frame_alloc());
        if (!m_context || !m_frame)
            return false;
        // The hvcC box as extradata: FFmpeg reads the parameter sets and the NAL length size from it.
        const int size = int(layout.configuration.size());
        m_context->extradata = static_cast<uint8_t *>(av_mallocz(size_t(size) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!m_context->extradata)
            return false;
        std::copy_n(layout.configuration.constData(), size, m_context->extradata);
        m_context->extradata_size = size;
        // Parameter sets that claim a far larger picture than the file's boxes are refused
        // before the decoder allocates for them.
        m_context->max_pixels = (qint64(layout.tileSize.width()) + 64) * (layout.tileSize.height() + 64);
        m_context->thread_count = threads;
        m_context->thread_type = FF_THREAD_SLICE;
        if (deblocking == Deblocking::Skip)
            m_context->skip_loop_filter = AVDISCARD_ALL;
        return avcodec_open2(m_context.get(), hevc, nullptr) >= 0;
    }

    // The decoded tile, valid until the next call; nothing when it does not decode to planar
    // YUV or grey of the tile's size.
    const AVFrame *decode(const AVPacket &tile, QSize expected)
    {
        av_frame_unref(m_frame.get());
        avcodec_flush_buffers(m_context.get());
        const bool decoded = avcodec_send_packet(m_context.get(), &tile) >= 0
            && avcodec_send_packet(m_context.get(), nullptr) >= 0
            && avcodec_receive_frame(m_context.get(), m_frame.get()) >= 0;
        if (!decoded || QSize(m_frame->width, m_frame->height) != expected)
            return nullptr;
        // The range is passed to swscale on its own; the old full-range formats only make it complain.
        m_frame->format = withoutJpegRange(static_cast<AVPixelFormat>(m_frame->format));
        const AVPixFmtDescriptor *format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(m_frame->format));
        const bool planarYuvOrGrey = format
            && !(format->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL
                                  | AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_BE))
            && (format->flags & AV_PIX_FMT_FLAG_PLANAR || format->nb_components == 1)
            && format->comp[0].depth <= 16;
        return planarYuvOrGrey ? m_frame.get() : nullptr;
    }

private:
    CodecContextPtr m_context;
    FramePtr m_frame;
};

int depthOf(const AVFrame &frame)
{
    return av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format))->comp[0].depth;
}

// The 8-bit format with the same planes. swscale turns 10-bit YUV into 8-bit RGB visibly worse
// than it does 8-bit YUV (about 30 dB against 45), so deeper tiles are rounded to 8 bits as they
// are placed, which costs nothing over the copy.
AVPixelFormat eightBitFormatLike(AVPixelFormat format)
{
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    if (descriptor->nb_components == 1)
        return AV_PIX_FMT_GRAY8;
    switch (descriptor->log2_chroma_w * 4 + descriptor->log2_chroma_h) {
    case 0: return AV_PIX_FMT_YUV444P;
    case 1: return AV_PIX_FMT_YUV440P;
    case 4: return AV_PIX_FMT_YUV422P;
    case 5: return AV_PIX_FMT_YUV420P;
    case 8: return AV_PIX_FMT_YUV411P;
    case 10: return AV_PIX_FMT_YUV410P;
    default: return AV_PIX_FMT_NONE;
    }
}

void copyRounded(uint8_t *target, int targetStride, const uint8_t *source, int sourceStride, int width, int height,
                 int depth)
{
    const int shift = depth - 8;
    const int half = 1 << (shift - 1);
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const uint16_t *>(source + qint64(y) * sourceStride);
        uint8_t *out = target + qint64(y) * targetStride;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<uint8_t>(std::min((in[x] + half) >> shift, 255));
    }
}

// The tiles put together into one 8-bit picture of the grid's size, which crops the last column
// and row.
class TileCanvas
{
public:
    explicit TileCanvas(const HevcPictureLayout &layout) : m_layout(layout) {}

    // Safe to call from several threads for different tiles.
    bool place(const AVFrame &tile, int index)
    {
        std::call_once(m_allocated, [&] { allocate(tile); });
        if (!m_picture || tile.format != m_tileFormat)
            return false;
        const AVPixFmtDescriptor *format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(tile.format));
        const int depth = format->comp[0].depth;
        const int left = (index % m_layout.columns) * tile.width;
        const int top = (index / m_layout.columns) * tile.height;
        const int right = std::min(left + tile.width, m_layout.size.width());
        const int bottom = std::min(top + tile.height, m_layout.size.height());
        for (int plane = 0; plane < format->nb_components; ++plane) {
            const int shiftX = plane == 0 ? 0 : format->log2_chroma_w;
            const int shiftY = plane == 0 ? 0 : format->log2_chroma_h;
            const int x = left >> shiftX;
            const int y = top >> shiftY;
            const int width = AV_CEIL_RSHIFT(right, shiftX) - x;
            const int height = AV_CEIL_RSHIFT(bottom, shiftY) - y;
            uint8_t *target = m_picture->data[plane] + qint64(y) * m_picture->linesize[plane] + x;
            if (depth > 8)
                copyRounded(target, m_picture->linesize[plane], tile.data[plane], tile.linesize[plane], width, height,
                            depth);
            else
                av_image_copy_plane(target, m_picture->linesize[plane], tile.data[plane], tile.linesize[plane], width,
                                    height);
        }
        return true;
    }

    const AVFrame *picture() const { return m_picture.get(); }

private:
    void allocate(const AVFrame &tile)
    {
        m_tileFormat = tile.format;
        const AVPixelFormat format = eightBitFormatLike(static_cast<AVPixelFormat>(tile.format));
        const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(tile.format));
        // Tiles must start on whole chroma samples.
        const bool aligned = (m_layout.columns == 1 || tile.width % (1 << descriptor->log2_chroma_w) == 0)
            && (m_layout.rows == 1 || tile.height % (1 << descriptor->log2_chroma_h) == 0);
        FramePtr picture(av_frame_alloc());
        if (format == AV_PIX_FMT_NONE || !aligned || !picture)
            return;
        picture->format = format;
        picture->width = m_layout.size.width();
        picture->height = m_layout.size.height();
        if (av_frame_get_buffer(picture.get(), 0) < 0)
            return;
        m_picture = std::move(picture);
    }

    const HevcPictureLayout &m_layout;
    std::once_flag m_allocated;
    int m_tileFormat = AV_PIX_FMT_NONE;
    FramePtr m_picture;
};

// Decodes every tile of a grid into the canvas, sharing the tiles between two decoders.
bool decodeGrid(const HevcPictureLayout &layout, const std::vector<PacketPtr> &tiles, Deblocking deblocking,
                TileCanvas &canvas)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        TileDecoder decoder;
        if (!decoder.open(layout, 1, deblocking)) {
            failed = true;
            return;
        }
        for (std::size_t index = next++; index < tiles.size() && !failed; index = next++) {
            const AVFrame *tile = decoder.decode(*tiles[index], layout.tileSize);
            if (!tile || !canvas.place(*tile, int(index)))
                failed = true;
        }
    };
    std::jthread helper;
    try {
        helper = std::jthread(work);
    } catch (const std::system_error &) {
        // Without a second thread this one decodes every tile.
    }
    work();
    if (helper.joinable())
        helper.join();
    return !failed;
}

// swscale's name for the YUV matrix; nothing for RGB, YCgCo and the other matrices that are not
// a plain YCbCr weighting, which libheif converts itself.
std::optional<int> swsColourSpace(std::optional<int> matrixCoefficients)
{
    switch (matrixCoefficients.value_or(6)) {
    case 1: return SWS_CS_ITU709;
    case 2: // unspecified
    case 4:
    case 5:
    case 6: return SWS_CS_ITU601;
    case 7: return SWS_CS_SMPTE240M;
    case 9:
    case 10: return SWS_CS_BT2020;
    default: return std::nullopt;
    }
}

void freeFrame(void *frame)
{
    auto *owned = static_cast<AVFrame *>(frame);
    av_frame_free(&owned);
}

struct Colour
{
    int swsColourSpace = SWS_CS_ITU601;
    bool fullRange = true;
};

// One pass from the decoder's YUV to RGBX at the target size, on two threads.
std::optional<QImage> toRgb(const AVFrame &source, Colour colour, QSize target)
{
    ScalerPtr scaler(sws_alloc_context());
    FramePtr rgb(av_frame_alloc());
    if (!scaler || !rgb)
        return std::nullopt;
    SwsContext *s = scaler.get();
    if (av_opt_set_int(s, "srcw", source.width, 0) < 0 || av_opt_set_int(s, "srch", source.height, 0) < 0
        || av_opt_set_int(s, "src_format", source.format, 0) < 0 || av_opt_set_int(s, "dstw", target.width(), 0) < 0
        || av_opt_set_int(s, "dsth", target.height(), 0) < 0 || av_opt_set_int(s, "dst_format", AV_PIX_FMT_RGB0, 0) < 0
        || av_opt_set_int(s, "sws_flags", SWS_BILINEAR, 0) < 0 || av_opt_set_int(s, "threads", decodingThreads, 0) < 0
        || sws_init_context(s, nullptr, nullptr) < 0)
        return std::nullopt;
    sws_setColorspaceDetails(s, sws_getCoefficients(colour.swsColourSpace), colour.fullRange ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    rgb->format = AV_PIX_FMT_RGB0;
    rgb->width = target.width();
    rgb->height = target.height();
    if (av_frame_get_buffer(rgb.get(), 0) < 0 || sws_scale_frame(s, rgb.get(), &source) < 0)
        return std::nullopt;
    AVFrame *frame = rgb.release();
    QImage picture(frame->data[0], frame->width, frame->height, frame->linesize[0], QImage::Format_RGBX8888,
                   &freeFrame, frame);
    if (picture.isNull()) {
        freeFrame(frame);
        return std::nullopt;
    }
    return picture;
}

// A single 8-bit picture goes to swscale as the decoder left it; grids and deeper pictures go
// through the canvas.
std::optional<QImage> decodeToRgb(const HevcPictureLayout &layout, const std::vector<PacketPtr> &tiles, Colour colour,
                                  QSize target)
{
    const bool halfOrLess = target.width() * 2 <= layout.size.width() && target.height() * 2 <= layout.size.height();
    const Deblocking deblocking = halfOrLess ? Deblocking::Skip : Deblocking::Apply;
    TileCanvas canvas(layout);
    if (tiles.size() == 1) {
        TileDecoder decoder;
        const AVFrame *frame = decoder.open(layout, decodingThreads, deblocking)
            ? decoder.decode(*tiles.front(), layout.tileSize)
            : nullptr;
        if (!frame)
            return std::nullopt;
        if (depthOf(*frame) == 8 && layout.size == layout.tileSize)
            return toRgb(*frame, colour, target);
        if (!canvas.place(*frame, 0))
            return std::nullopt;
    } else if (!decodeGrid(layout, tiles, deblocking, canvas)) {
        return std::nullopt;
    }
    return toRgb(*canvas.picture(), colour, target);
}

} // namespace

namespace StillLoaders {

std::optional<QImage> heifDirect(const QString &path, int maxSide)
{
    const auto file = FilePath::openForReading(path);
    if (!file)
        return std::nullopt;
    const auto container = HeifContainer::read(*file);
    const auto layout = container ? hevcPictureLayout(*file, *container) : std::nullopt;
    const auto colourSpace = layout ? swsColourSpace(layout->matrixCoefficients) : std::nullopt;
    if (!colourSpace || qint64(layout->size.width()) * layout->size.height() > maxPixels
        || qint64(layout->tileSize.width()) * layout->tileSize.height() > maxPixels)
        return std::nullopt;
    const auto tiles = readTiles(*file, *container, *layout);
    if (!tiles)
        return std::nullopt;
    // Scaled as stored, then turned: the turn then moves only the small picture.
    const auto picture = decodeToRgb(*layout, *tiles, Colour{*colourSpace, layout->fullRange},
                                     StillLoaders::fittedInto(layout->size, maxSide));
    if (!picture)
        return std::nullopt;
    return applyOrientation(*picture, layout->orientation);
}

std::optional<ImageProperties> heifDirectProperties(const QString &path)
{
    const auto file = FilePath::openForReading(path);
    const auto container = file ? HeifContainer::read(*file) : std::nullopt;
    if (!container)
        return std::nullopt;
    const auto block = heifExifBlock(*file, *container);
    if (!block)
        return ImageProperties{};
    return ExifReader::fromHeifExifBlock(*block).value_or(ImageProperties{});
}

} // namespace StillLoaders

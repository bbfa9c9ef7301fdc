#include "HevcForHeif.h"

#include "FfmpegInput.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

#include <QByteArray>

#include <cstring>
#include <mutex>

using namespace Ffmpeg;

namespace {

struct Decoder
{
    QByteArray annexB; // the NAL units with start codes, as FFmpeg's raw HEVC decoder reads them
};

heif_error failure(const char *message)
{
    return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, message};
}

constexpr heif_error ok{heif_error_Ok, heif_suberror_Unspecified, "Success"};

heif_error newDecoder(void **decoder)
{
    *decoder = new Decoder;
    return ok;
}

void freeDecoder(void *decoder)
{
    delete static_cast<Decoder *>(decoder);
}

// libheif hands over NAL units each behind a 4-byte big-endian length.
heif_error pushData(void *decoder, const void *data, size_t size)
{
    auto &stream = static_cast<Decoder *>(decoder)->annexB;
    const auto *bytes = static_cast<const unsigned char *>(data);
    size_t at = 0;
    while (at + 4 <= size) {
        const size_t length = (size_t(bytes[at]) << 24) | (size_t(bytes[at + 1]) << 16) | (size_t(bytes[at + 2]) << 8)
            | bytes[at + 3];
        at += 4;
        if (length > size - at)
            return failure("HEVC data is cut short");
        stream.append("\0\0\0\1", 4);
        stream.append(reinterpret_cast<const char *>(bytes + at), static_cast<qsizetype>(length));
        at += length;
    }
    return ok;
}

std::optional<heif_chroma> chromaOf(const AVPixFmtDescriptor *format)
{
    if (format->nb_components == 1)
        return heif_chroma_monochrome;
    if (format->log2_chroma_w == 1 && format->log2_chroma_h == 1)
        return heif_chroma_420;
    if (format->log2_chroma_w == 1 && format->log2_chroma_h == 0)
        return heif_chroma_422;
    if (format->log2_chroma_w == 0 && format->log2_chroma_h == 0)
        return heif_chroma_444;
    return std::nullopt;
}

// Copies the decoded planes into a libheif image of the same layout.
heif_error toHeifImage(const AVFrame *frame, heif_image **out)
{
    const AVPixFmtDescriptor *format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    const auto chroma = format ? chromaOf(format) : std::nullopt;
    if (!chroma || (format->flags & AV_PIX_FMT_FLAG_RGB))
        return failure("unsupported HEVC picture format");
    const int depth = format->comp[0].depth;
    const int bytesPerSample = depth > 8 ? 2 : 1;
    heif_image *image = nullptr;
    // An alpha plane is coded as a grey picture, which libheif takes only as monochrome.
    const heif_colorspace space = *chroma == heif_chroma_monochrome ? heif_colorspace_monochrome : heif_colorspace_YCbCr;
    heif_error error = heif_image_create(frame->width, frame->height, space, *chroma, &image);
    if (error.code != heif_error_Ok)
        return error;
    const heif_channel channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int plane = 0; plane < (*chroma == heif_chroma_monochrome ? 1 : 3); ++plane) {
        const int width = plane == 0 ? frame->width : AV_CEIL_RSHIFT(frame->width, format->log2_chroma_w);
        const int height = plane == 0 ? frame->height : AV_CEIL_RSHIFT(frame->height, format->log2_chroma_h);
        error = heif_image_add_plane(image, channels[plane], width, height, depth);
        if (error.code != heif_error_Ok) {
            heif_image_release(image);
            return error;
        }
        int stride = 0;
        uint8_t *target = heif_image_get_plane(image, channels[plane], &stride);
        for (int row = 0; row < height; ++row)
            std::memcpy(target + std::size_t(row) * stride, frame->data[plane] + std::size_t(row) * frame->linesize[plane],
                        std::size_t(width) * bytesPerSample);
    }
    *out = image;
    return ok;
}

heif_error decodeImage(void *decoder, heif_image **out)
{
    const QByteArray &stream = static_cast<Decoder *>(decoder)->annexB;
    const AVCodec *hevc = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    CodecContextPtr context(hevc ? avcodec_alloc_context3(hevc) : nullptr);
    if (!context)
        return failure("no HEVC decoder");
    context->thread_count = 0;
    context->thread_type = FF_THREAD_SLICE;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame || avcodec_open2(context.get(), hevc, nullptr) < 0
        || av_new_packet(packet.get(), static_cast<int>(stream.size())) < 0)
        return failure("HEVC decoder could not start");
    std::memcpy(packet->data, stream.constData(), std::size_t(stream.size()));
    if (avcodec_send_packet(context.get(), packet.get()) < 0 || avcodec_send_packet(context.get(), nullptr) < 0
        || avcodec_receive_frame(context.get(), frame.get()) < 0)
        return failure("HEVC picture did not decode");
    return toHeifImage(frame.get(), out);
}

const char *pluginName()
{
    return "FFmpeg HEVC";
}

int supportsFormat(heif_compression_format format)
{
    // Above libde265's default priority of 100.
    return format == heif_compression_HEVC ? 200 : 0;
}

} // namespace

void useFfmpegForHeifHevc()
{
    static const heif_decoder_plugin plugin = [] {
        heif_decoder_plugin p{};
        p.plugin_api_version = 1;
        p.get_plugin_name = &pluginName;
        p.does_support_format = &supportsFormat;
        p.new_decoder = &newDecoder;
        p.free_decoder = &freeDecoder;
        p.push_data = &pushData;
        p.decode_image = &decodeImage;
        return p;
    }();
    static std::once_flag once;
    std::call_once(once, [] { heif_register_decoder_plugin(&plugin); });
}

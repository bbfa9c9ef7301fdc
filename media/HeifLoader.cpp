#include "StillLoaders.h"

#include "ExifReader.h"
#include "HevcForHeif.h"
#include "RgbConverter.h"

#include "FilePath.h"

#include <libheif/heif.h>

#include <memory>

namespace {

struct ContextDeleter { void operator()(heif_context *c) const { heif_context_free(c); } };
struct HandleDeleter { void operator()(heif_image_handle *h) const { heif_image_handle_release(h); } };
struct OptionsDeleter { void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); } };

using HandlePtr = std::unique_ptr<heif_image_handle, HandleDeleter>;

struct OpenedHeif
{
    std::unique_ptr<heif_context, ContextDeleter> context;
    HandlePtr primary;
};

std::optional<OpenedHeif> openHeif(const QString &path)
{
    useFfmpegForHeifHevc();
    OpenedHeif opened{std::unique_ptr<heif_context, ContextDeleter>(heif_context_alloc()), {}};
    if (!opened.context)
        return std::nullopt;
    if (heif_context_read_from_file(opened.context.get(), FilePath::encode(path).constData(), nullptr).code
        != heif_error_Ok)
        return std::nullopt;
    heif_image_handle *handle = nullptr;
    if (heif_context_get_primary_image_handle(opened.context.get(), &handle).code != heif_error_Ok)
        return std::nullopt;
    opened.primary.reset(handle);
    return opened;
}

struct ImageDeleter { void operator()(heif_image *i) const { heif_image_release(i); } };
using ImagePtr = std::unique_ptr<heif_image, ImageDeleter>;

ImagePtr decoded(heif_image_handle *handle, heif_colorspace colourspace, heif_chroma chroma)
{
    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image *image = nullptr;
    if (heif_decode_image(handle, &image, colourspace, chroma, options.get()).code != heif_error_Ok)
        return {};
    return ImagePtr(image);
}

AVPixelFormat pixelFormatOf(heif_chroma chroma, int depth)
{
    const bool deep = depth > 8;
    switch (chroma) {
    case heif_chroma_monochrome: return deep ? AV_PIX_FMT_GRAY10 : AV_PIX_FMT_GRAY8;
    case heif_chroma_420: return deep ? AV_PIX_FMT_YUV420P10 : AV_PIX_FMT_YUV420P;
    case heif_chroma_422: return deep ? AV_PIX_FMT_YUV422P10 : AV_PIX_FMT_YUV422P;
    case heif_chroma_444: return deep ? AV_PIX_FMT_YUV444P10 : AV_PIX_FMT_YUV444P;
    default: return AV_PIX_FMT_NONE;
    }
}

// The YUV matrix the file declares; without one, HEIF means BT.601 over the full range.
void readColourDetails(const heif_image *image, const heif_image_handle *handle, PlanarPicture &planar)
{
    heif_color_profile_nclx *nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok
        && heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok) {
        planar.colourSpace = SWS_CS_ITU601;
        planar.fullRange = true;
        return;
    }
    switch (nclx->matrix_coefficients) {
    case heif_matrix_coefficients_ITU_R_BT_709_5: planar.colourSpace = SWS_CS_ITU709; break;
    case heif_matrix_coefficients_SMPTE_240M: planar.colourSpace = SWS_CS_SMPTE240M; break;
    case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
    case heif_matrix_coefficients_ITU_R_BT_2020_2_constant_luminance: planar.colourSpace = SWS_CS_BT2020; break;
    default: planar.colourSpace = SWS_CS_ITU601; break;
    }
    planar.fullRange = nclx->full_range_flag != 0;
    heif_nclx_color_profile_free(nclx);
}

// The usual case: the decoder's YUV planes go straight to RGB at the asked size in one pass.
std::optional<QImage> fromPlanes(const heif_image *image, const heif_image_handle *handle, int maxSide)
{
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    const AVPixelFormat format = pixelFormatOf(chroma, heif_image_get_bits_per_pixel_range(image, heif_channel_Y));
    if (format == AV_PIX_FMT_NONE)
        return std::nullopt;
    const uint8_t *planes[4] = {};
    int strides[4] = {};
    const heif_channel channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int i = 0; i < (chroma == heif_chroma_monochrome ? 1 : 3); ++i) {
        planes[i] = heif_image_get_plane_readonly(image, channels[i], &strides[i]);
        if (!planes[i])
            return std::nullopt;
    }
    PlanarPicture planar;
    planar.planes = planes;
    planar.strides = strides;
    planar.format = format;
    planar.size = QSize(heif_image_get_width(image, heif_channel_Y), heif_image_get_height(image, heif_channel_Y));
    readColourDetails(image, handle, planar);
    return RgbConverter().convert(planar, StillLoaders::fittedInto(planar.size, maxSide));
}

void releaseImage(void *image)
{
    heif_image_release(static_cast<heif_image *>(image));
}

// Files coded in RGB: libheif converts, and the picture keeps libheif's buffer.
std::optional<QImage> inRgb(heif_image_handle *handle)
{
    ImagePtr image = decoded(handle, heif_colorspace_RGB, heif_chroma_interleaved_RGBA);
    if (!image)
        return std::nullopt;
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0)
        return std::nullopt;
    QImage picture(const_cast<uchar *>(plane), width, height, stride, QImage::Format_RGBX8888, &releaseImage,
                   image.get());
    if (picture.isNull())
        return std::nullopt;
    image.release();
    return picture;
}

} // namespace

namespace StillLoaders {

QSize fittedInto(QSize size, int maxSide)
{
    if (maxSide <= 0 || std::max(size.width(), size.height()) <= maxSide)
        return size;
    return size.scaled(maxSide, maxSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

std::optional<QImage> heif(const QString &path, int maxSide)
{
    const auto opened = openHeif(path);
    if (!opened)
        return std::nullopt;
    heif_image_handle *handle = opened->primary.get();
    const std::int64_t pixels = std::int64_t(heif_image_handle_get_width(handle)) * heif_image_handle_get_height(handle);
    if (pixels <= 0 || pixels > maxPixels)
        return std::nullopt;

    // Phone and camera HEIF is coded as 4:2:0, which libheif then hands over untouched, with its
    // rotation and mirror applied; anything else it converts.
    const ImagePtr image = decoded(handle, heif_colorspace_YCbCr, heif_chroma_420);
    if (!image)
        return std::nullopt;
    const heif_colorspace colourspace = heif_image_get_colorspace(image.get());
    if (colourspace == heif_colorspace_YCbCr || colourspace == heif_colorspace_monochrome)
        return fromPlanes(image.get(), handle, maxSide);
    return inRgb(handle);
}

std::optional<ImageProperties> heifProperties(const QString &path)
{
    const auto opened = openHeif(path);
    if (!opened)
        return std::nullopt;
    heif_image_handle *handle = opened->primary.get();
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1)
        return ImageProperties{};
    QByteArray block(static_cast<qsizetype>(heif_image_handle_get_metadata_size(handle, id)), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        return ImageProperties{};
    return ExifReader::fromHeifExifBlock(block).value_or(ImageProperties{});
}

} // namespace StillLoaders

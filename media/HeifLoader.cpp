#include "StillLoaders.h"

#include "ExifReader.h"
#include "HevcForHeif.h"

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

void releaseImage(void *image)
{
    heif_image_release(static_cast<heif_image *>(image));
}

} // namespace

namespace StillLoaders {

std::optional<QImage> heif(const QString &path)
{
    const auto opened = openHeif(path);
    if (!opened)
        return std::nullopt;
    heif_image_handle *handle = opened->primary.get();
    const std::int64_t pixels = std::int64_t(heif_image_handle_get_width(handle)) * heif_image_handle_get_height(handle);
    if (pixels <= 0 || pixels > maxPixels)
        return std::nullopt;

    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image *image = nullptr;
    // Four bytes a pixel: Qt's smooth scaling works on that directly instead of converting first.
    if (heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get()).code
        != heif_error_Ok)
        return std::nullopt;
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0) {
        heif_image_release(image);
        return std::nullopt;
    }
    // The picture keeps libheif's buffer and releases it with the last copy: no 36 MB copy per photo.
    // Everything after this only reads it or makes new pictures from it.
    const QImage::Format format = heif_image_handle_has_alpha_channel(handle) ? QImage::Format_RGBA8888
                                                                               : QImage::Format_RGBX8888;
    QImage picture(const_cast<uchar *>(plane), width, height, stride, format, &releaseImage, image);
    if (picture.isNull()) {
        heif_image_release(image);
        return std::nullopt;
    }
    return picture;
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

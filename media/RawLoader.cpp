#include "StillLoaders.h"

#include "Orientation.h"

#include <QDateTime>
#include "FilePath.h"

#include <libraw/libraw.h>

#include <chrono>
#include <cmath>
#include <memory>

#include <sys/stat.h>

namespace {

// LibRaw's `flip` as the EXIF orientation the rest of the program speaks.
int orientationOfFlip(int flip)
{
    switch (flip) {
    case 3: return 3;
    case 5: return 8;
    case 6: return 6;
    default: return 1;
    }
}

// Developing a damaged file can loop for long; LibRaw asks this between stages and rows.
int cancelAfterDeadline(void *deadline, LibRaw_progress, int, int)
{
    return std::chrono::steady_clock::now() > *static_cast<std::chrono::steady_clock::time_point *>(deadline) ? 1 : 0;
}

// LibRaw keeps where the sensor data lies to itself; it is needed to tell a cut-off file.
class InspectedRaw : public LibRaw
{
public:
    // Whether the file holds all the sensor data it declares. A cut-off file would otherwise be
    // developed from whatever the buffer held: a black or random picture sent as a success.
    bool holdsItsData(qint64 fileSize) const
    {
        const INT64 offset = libraw_internal_data.unpacker_data.data_offset;
        const INT64 size = libraw_internal_data.unpacker_data.data_size; // 0 where the format does not say
        return offset < fileSize && offset + size <= fileSize;
    }
    bool holdsItsPreview(qint64 fileSize) const
    {
        const INT64 offset = libraw_internal_data.internal_data.toffset;
        return offset > 0 && offset + INT64(imgdata.thumbnail.tlength) <= fileSize;
    }
};

qint64 sizeOnDisk(const QString &path)
{
    struct stat info {};
    return ::stat(FilePath::encode(path).constData(), &info) == 0 ? qint64(info.st_size) : 0;
}

void noteDataError(void *flag, const char *, const int)
{
    *static_cast<bool *>(flag) = true;
}

struct OpenedRaw
{
    std::unique_ptr<InspectedRaw> raw = std::make_unique<InspectedRaw>();
    bool dataError = false;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
};

std::unique_ptr<OpenedRaw> openRaw(const QString &path)
{
    auto opened = std::make_unique<OpenedRaw>();
    opened->raw->set_progress_handler(&cancelAfterDeadline, &opened->deadline);
    opened->raw->set_dataerror_handler(&noteDataError, &opened->dataError);
    if (opened->raw->open_file(FilePath::encode(path).constData()) != LIBRAW_SUCCESS)
        return {};
    const libraw_image_sizes_t &sizes = opened->raw->imgdata.sizes;
    const std::int64_t pixels = std::int64_t(sizes.raw_width) * sizes.raw_height;
    if (pixels <= 0 || pixels > StillLoaders::maxPixels)
        return {};
    return opened;
}

std::optional<QImage> embeddedPreview(LibRaw &raw)
{
    if (raw.unpack_thumb() != LIBRAW_SUCCESS)
        return std::nullopt;
    const libraw_thumbnail_t &thumb = raw.imgdata.thumbnail;
    QImage picture;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG) {
        picture = QImage::fromData(reinterpret_cast<const uchar *>(thumb.thumb), static_cast<int>(thumb.tlength), "JPEG");
    } else if (thumb.tformat == LIBRAW_THUMBNAIL_BITMAP && thumb.tcolors == 3
               && std::int64_t(thumb.twidth) * thumb.theight * 3 <= thumb.tlength) {
        picture = QImage(reinterpret_cast<const uchar *>(thumb.thumb), thumb.twidth, thumb.theight, thumb.twidth * 3,
                         QImage::Format_RGB888).copy();
    }
    if (picture.isNull())
        return std::nullopt;
    return applyOrientation(picture, orientationOfFlip(raw.imgdata.sizes.flip));
}

void releaseDeveloped(void *image)
{
    LibRaw::dcraw_clear_mem(static_cast<libraw_processed_image_t *>(image));
}

std::optional<QImage> developed(LibRaw &raw, int maxSide)
{
    const libraw_image_sizes_t &sizes = raw.imgdata.sizes;
    const int longest = std::max<int>(sizes.width, sizes.height);
    libraw_output_params_t &params = raw.imgdata.params;
    params.half_size = maxSide > 0 && longest / 2 >= maxSide;
    params.use_camera_wb = 1;
    params.output_bps = 8;
    if (raw.unpack() != LIBRAW_SUCCESS || raw.dcraw_process() != LIBRAW_SUCCESS)
        return std::nullopt;
    int error = 0;
    libraw_processed_image_t *image = raw.dcraw_make_mem_image(&error);
    if (!image)
        return std::nullopt;
    if (image->type != LIBRAW_IMAGE_BITMAP || image->colors != 3 || image->bits != 8) {
        LibRaw::dcraw_clear_mem(image);
        return std::nullopt;
    }
    // The picture keeps LibRaw's buffer and frees it with the last copy. The developed picture
    // already has the camera's orientation applied.
    QImage picture(image->data, image->width, image->height, image->width * 3, QImage::Format_RGB888,
                   &releaseDeveloped, image);
    if (picture.isNull()) {
        LibRaw::dcraw_clear_mem(image);
        return std::nullopt;
    }
    return picture;
}

} // namespace

namespace StillLoaders {

std::optional<QImage> cameraRaw(const QString &path, int maxSide, RawChoice choice)
{
    const auto opened = openRaw(path);
    if (!opened)
        return std::nullopt;
    LibRaw &raw = *opened->raw;
    const libraw_thumbnail_t &thumb = raw.imgdata.thumbnail;
    const bool previewSuffices = maxSide > 0 && std::max<int>(thumb.twidth, thumb.theight) >= maxSide;
    const bool usePreview = previewSuffices == (choice == RawChoice::Preferred);
    if (usePreview)
        return embeddedPreview(raw);
    // A cut-off file gives its preview when that is whole, otherwise nothing.
    const qint64 fileSize = sizeOnDisk(path);
    const auto previewIfWhole = [&]() -> std::optional<QImage> {
        return opened->raw->holdsItsPreview(fileSize) ? embeddedPreview(raw) : std::nullopt;
    };
    if (!opened->raw->holdsItsData(fileSize))
        return previewIfWhole();
    auto picture = developed(raw, maxSide);
    return opened->dataError ? previewIfWhole() : picture;
}

std::optional<ImageProperties> cameraRawProperties(const QString &path)
{
    const auto opened = openRaw(path);
    if (!opened)
        return std::nullopt;
    const libraw_data_t &data = opened->raw->imgdata;
    ImageProperties properties;
    properties.orientation = orientationOfFlip(data.sizes.flip);
    if (data.other.timestamp > 0) {
        // LibRaw turned the camera's local wall-clock text into seconds with the local zone; turning
        // it back gives the text the camera wrote.
        properties.dateTimeOriginal = QDateTime::fromSecsSinceEpoch(data.other.timestamp)
                                          .toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    }
    const libraw_gps_info_t &gps = data.other.parsed_gps;
    if (gps.gpsparsed) {
        const auto degrees = [](const float (&dms)[3]) { return dms[0] + dms[1] / 60.0 + dms[2] / 3600.0; };
        properties.gpsLatitude = degrees(gps.latitude);
        properties.gpsLongitude = degrees(gps.longitude);
        properties.gpsLatitudeRef = QString(QChar::fromLatin1(gps.latref));
        properties.gpsLongitudeRef = QString(QChar::fromLatin1(gps.longref));
    }
    return properties;
}

} // namespace StillLoaders

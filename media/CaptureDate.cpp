#include "FrameExtractor.h"

#include "DateText.h"
#include "FileBirthTime.h"
#include "StillDecoder.h"
#include "VideoMetadata.h"

namespace FrameExtractor {

std::optional<QDateTime> creationDate(const QString &videoPath)
{
    const VideoMetadata metadata = VideoMetadataReader::read(videoPath);
    for (const MetadataItem &item : metadata.common) {
        if (item.commonKey != VideoMetadataReader::creationDateKey)
            continue;
        if (auto date = DateText::parseVideoDate(item.value))
            return date;
    }
    return fileBirthTime(videoPath);
}

std::optional<QDateTime> photoCreationDate(const QString &photoPath)
{
    const ImageProperties properties = StillDecoder::readProperties(photoPath);
    // The first EXIF date present decides; a bad original does not fall back to the digitized one.
    const auto exifDate = properties.dateTimeOriginal ? properties.dateTimeOriginal : properties.dateTimeDigitized;
    if (exifDate) {
        if (auto date = DateText::parseExifDate(*exifDate))
            return date;
    }
    if (properties.tiffDateTime) {
        if (auto date = DateText::parseExifDate(*properties.tiffDateTime))
            return date;
    }
    return fileBirthTime(photoPath);
}

} // namespace FrameExtractor

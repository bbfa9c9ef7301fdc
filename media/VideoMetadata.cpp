#include "VideoMetadata.h"

#include "FfmpegInput.h"

#include <array>

namespace {

struct CommonTag
{
    const char *identifier;
    const QString &commonKey;
};

// The tags that carry a capture date or a place, most precise first: QuickTime's own keys keep the
// zone and the phone's position; the plain ones are what other writers use.
const std::array<CommonTag, 6> &commonTags()
{
    static const std::array<CommonTag, 6> tags{{
        {"com.apple.quicktime.creationdate", VideoMetadataReader::creationDateKey},
        {"date", VideoMetadataReader::creationDateKey},
        {"creation_time", VideoMetadataReader::creationDateKey},
        {"com.apple.quicktime.location.ISO6709", VideoMetadataReader::locationKey},
        {"location", VideoMetadataReader::locationKey},
        {"location-eng", VideoMetadataReader::locationKey},
    }};
    return tags;
}

MetadataFormat formatOf(const QString &name, const AVDictionary *tags)
{
    MetadataFormat format{name, {}};
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(tags, "", entry, AV_DICT_IGNORE_SUFFIX)))
        format.items.append({std::nullopt, QString::fromUtf8(entry->key), QString::fromUtf8(entry->value)});
    return format;
}

} // namespace

namespace VideoMetadataReader {

VideoMetadata read(const QString &path)
{
    Ffmpeg::Deadline deadline;
    deadline.restart();
    const Ffmpeg::FormatContextPtr format = Ffmpeg::openInput(path, &deadline);
    if (!format)
        return {};

    VideoMetadata metadata;
    for (const CommonTag &tag : commonTags()) {
        if (const AVDictionaryEntry *entry = av_dict_get(format->metadata, tag.identifier, nullptr, 0))
            metadata.common.append({tag.commonKey, QString::fromUtf8(tag.identifier), QString::fromUtf8(entry->value)});
    }
    metadata.formats.append(formatOf(QStringLiteral("container"), format->metadata));
    for (unsigned i = 0; i < format->nb_streams; ++i)
        metadata.formats.append(formatOf(QStringLiteral("stream %1").arg(i), format->streams[i]->metadata));
    return metadata;
}

} // namespace VideoMetadataReader

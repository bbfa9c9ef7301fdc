#pragma once

#include <QList>
#include <QString>

#include <optional>

// One metadata item of a video: the tag's own identifier, its text, and for the items that the
// program knows by meaning, a common key ("creationDate" or "location").
struct MetadataItem
{
    std::optional<QString> commonKey;
    QString identifier;
    QString value;
};

// The items of one tag source of the file: the container, or one of its streams.
struct MetadataFormat
{
    QString name;
    QList<MetadataItem> items;
};

struct VideoMetadata
{
    // Creation-date items first, then location items, each group in order of trust.
    QList<MetadataItem> common;
    QList<MetadataFormat> formats;
};

namespace VideoMetadataReader {

inline const QString creationDateKey = QStringLiteral("creationDate");
inline const QString locationKey = QStringLiteral("location");

// Reads the tags without decoding any picture. An unreadable file gives empty lists.
VideoMetadata read(const QString &path);

} // namespace VideoMetadataReader

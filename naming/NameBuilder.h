#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// What a name is made from: the item fields the builder reads, taken as plain values so that
// naming/ stays below model/.
struct NameParts
{
    std::optional<QDateTime> creationDate;
    QString location;
    QString content;
    QString url; // path of the media file; its base name is the last component
};

// The naming settings.
struct NamingOptions
{
    bool includeDate = true;
    bool includeLocation = true;
    bool includeContent = true;
    bool includeOriginal = true;
    QString separator = QStringLiteral("_");
};

namespace NameBuilder {

// The proposed file name without extension, possibly empty. Reads only the local time zone.
QString build(const NameParts &parts, const NamingOptions &options);

// A name as it may go on disk: without / \ : * ? " < > |, control characters or bidirectional marks,
// line feeds as spaces, no spaces or tabs at either end and no dot at the start. Possibly empty.
QString clean(QString name);

} // namespace NameBuilder

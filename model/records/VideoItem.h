#pragma once

#include "GeoCoordinate.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

enum class MediaKind { video, photo };

// Which kinds of media an import takes in.
enum class MediaTarget { videos, photos, both };

QString rawValue(MediaKind kind);
QString rawValue(MediaTarget target);
// Any text other than the three raw values means videos.
MediaTarget mediaTargetFromRaw(const QString &raw);
// How the choice reads in the windows and the status line: "仅视频", "仅照片", "两者都处理".
QString mediaTargetTitle(MediaTarget target);
// The three choices in the order the windows list them.
inline constexpr MediaTarget mediaTargets[] = {MediaTarget::videos, MediaTarget::photos, MediaTarget::both};

// One media file in the list. A value: copies are independent, and background work addresses the
// item in the list only by its id.
struct VideoItem
{
    enum class Status { pending, analyzing, analyzed, naming, renamed, error };

    QUuid id = QUuid::createUuid();
    QString url;
    MediaKind mediaKind = MediaKind::video;
    // The frames and the montage sent to the model, as JPEG files in the model's picture folder.
    QStringList frameFiles;
    std::optional<QString> montageFile;
    QString analysisText;
    QString content;
    QString location;
    std::optional<QString> pathPlace;
    std::optional<GeoCoordinate> coordinate;
    std::optional<QString> geoPlace;
    std::optional<QDateTime> creationDate;
    QString proposedName;
    Status status = Status::pending;

    // What the item's row in the list says about its state.
    QString rowLabel() const;
    // Error rows are drawn in red.
    bool rowLabelIsError() const { return status == Status::error; }
};

QString rawValue(VideoItem::Status status);

namespace MediaExtensions {

// Lower case; a file's extension is lower-cased before it is looked up.
const QStringList &videos();
const QStringList &photos();

} // namespace MediaExtensions

#include "VideoItem.h"

QString rawValue(MediaKind kind)
{
    return kind == MediaKind::photo ? QStringLiteral("photo") : QStringLiteral("video");
}

QString rawValue(MediaTarget target)
{
    switch (target) {
    case MediaTarget::photos: return QStringLiteral("photos");
    case MediaTarget::both: return QStringLiteral("both");
    case MediaTarget::videos: break;
    }
    return QStringLiteral("videos");
}

MediaTarget mediaTargetFromRaw(const QString &raw)
{
    if (raw == QLatin1String("photos"))
        return MediaTarget::photos;
    if (raw == QLatin1String("both"))
        return MediaTarget::both;
    return MediaTarget::videos;
}

QString mediaTargetTitle(MediaTarget target)
{
    switch (target) {
    case MediaTarget::photos: return QStringLiteral("仅照片");
    case MediaTarget::both: return QStringLiteral("两者都处理");
    case MediaTarget::videos: break;
    }
    return QStringLiteral("仅视频");
}

QString rawValue(VideoItem::Status status)
{
    switch (status) {
    case VideoItem::Status::pending: return QStringLiteral("pending");
    case VideoItem::Status::analyzing: return QStringLiteral("analyzing");
    case VideoItem::Status::analyzed: return QStringLiteral("analyzed");
    case VideoItem::Status::naming: return QStringLiteral("naming");
    case VideoItem::Status::renamed: return QStringLiteral("renamed");
    case VideoItem::Status::error: return QStringLiteral("error");
    }
    return {};
}

QString VideoItem::rowLabel() const
{
    const auto withContent = [this](const QString &label) {
        return content.isEmpty() ? label : label + QStringLiteral(" · ") + content;
    };
    switch (status) {
    case Status::pending: return QStringLiteral("待分析");
    case Status::analyzing: return QStringLiteral("分析中");
    case Status::analyzed: return withContent(QStringLiteral("已分析"));
    case Status::naming: return QStringLiteral("命名中");
    case Status::renamed: return withContent(QStringLiteral("已重命名"));
    case Status::error:
        return analysisText.isEmpty() ? QStringLiteral("出错") : QStringLiteral("出错 · ") + analysisText;
    }
    return {};
}

namespace MediaExtensions {

const QStringList &videos()
{
    static const QStringList list{"mp4", "mov", "m4v", "avi", "mkv", "webm", "wmv", "flv", "ts",
                                  "mpg", "mpeg", "mts", "m2ts", "3gp"};
    return list;
}

const QStringList &photos()
{
    static const QStringList list{"cr3", "cr2", "nef", "nrw", "arw", "raf", "rw2", "orf", "pef", "srw", "dng",
                                  "jpg", "jpeg", "png", "tiff", "tif", "webp", "avif", "bmp", "heic", "heif", "hif"};
    return list;
}

} // namespace MediaExtensions

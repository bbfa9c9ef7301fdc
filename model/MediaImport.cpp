#include "MediaImport.h"

#include "FilePath.h"
#include "FolderWalk.h"
#include "FrameExtractor.h"
#include "PlaceResolver.h"

#include <QtConcurrent/QtConcurrentMap>

#include <sys/stat.h>

namespace MediaImport {

namespace {

QString extensionOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash + 1 ? path.mid(dot + 1).toLower() : QString();
}

enum class LocationKind { Folder, File, Nothing };

LocationKind kindOf(const QString &location)
{
    struct stat info {};
    if (::stat(FilePath::encode(location).constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? LocationKind::Nothing : LocationKind::File;
    if (S_ISDIR(info.st_mode))
        return LocationKind::Folder;
    return S_ISREG(info.st_mode) ? LocationKind::File : LocationKind::Nothing;
}

} // namespace

std::optional<MediaKind> classify(const QString &path, MediaTarget target)
{
    const QString extension = extensionOf(path);
    const bool isVideo = MediaExtensions::videos().contains(extension);
    const bool isPhoto = MediaExtensions::photos().contains(extension);
    switch (target) {
    case MediaTarget::videos: return isVideo ? std::optional(MediaKind::video) : std::nullopt;
    case MediaTarget::photos: return isPhoto ? std::optional(MediaKind::photo) : std::nullopt;
    case MediaTarget::both:
        if (isVideo)
            return MediaKind::video;
        return isPhoto ? std::optional(MediaKind::photo) : std::nullopt;
    }
    return std::nullopt;
}

QList<File> collect(const Request &request)
{
    QList<File> files;
    QSet<QString> taken = request.listed;
    const auto stopped = [&request] { return request.cancel && *request.cancel; };
    const auto consider = [&](const QString &path) {
        if (stopped())
            return false;
        const auto kind = classify(path, request.target);
        if (!kind || taken.contains(path))
            return true;
        taken.insert(path);
        files.append({path, *kind, std::nullopt, std::nullopt});
        return true;
    };
    for (const QString &location : request.locations) {
        switch (kindOf(location)) {
        case LocationKind::Folder: walkFolder(location, consider); break;
        case LocationKind::File: consider(location); break;
        case LocationKind::Nothing: break;
        }
    }

    if (stopped())
        return {};

    // The place depends on the folder alone, and a shoot holds hundreds of files.
    if (request.usePathPlace) {
        QHash<QStringView, std::optional<QString>> placeOfFolder;
        for (File &file : files) {
            const QStringView folder = QStringView(file.path).left(file.path.lastIndexOf(QLatin1Char('/')) + 1);
            auto place = placeOfFolder.find(folder);
            if (place == placeOfFolder.end())
                place = placeOfFolder.insert(folder,
                                             PlaceResolver::fromPath(file.path, PlaceResolver::placeFolderDepth));
            file.pathPlace = *place;
        }
    }
    QtConcurrent::blockingMap(files, [&stopped](File &file) {
        if (stopped())
            return;
        file.creationDate = file.kind == MediaKind::video ? FrameExtractor::creationDate(file.path)
                                                          : FrameExtractor::photoCreationDate(file.path);
    });
    return stopped() ? QList<File>() : files;
}

} // namespace MediaImport

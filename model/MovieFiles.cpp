#include "MovieFiles.h"

#include "FilePath.h"
#include "FolderWalk.h"

#include <QFileInfo>
#include <QMimeDatabase>

QStringList movieFilesIn(const QString &folder)
{
    const QMimeDatabase types;
    QStringList movies;
    walkFolder(folder, [&](const QString &path) {
        // Only regular files open here: folders, links to nowhere and devices are passed over.
        const std::unique_ptr<QFile> file = FilePath::openForReading(path);
        if (!file)
            return true;
        const QMimeType type = types.mimeTypeForFileNameAndData(QFileInfo(path).fileName(), file.get());
        if (type.name().startsWith(u"video/"))
            movies << path;
        return true;
    });
    return movies;
}

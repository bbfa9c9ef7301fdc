#include "ItemPictures.h"

#include "PerUserFolder.h"

#include <QDir>
#include <QSaveFile>

namespace {

const QString folderPrefix = QStringLiteral("pictures-");

std::optional<QString> written(const QString &path, const QByteArray &jpeg)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit())
        return std::nullopt;
    return path;
}

} // namespace

QString ItemPictures::folder()
{
    if (!m_folder) {
        const std::optional<QString> cache = perUserCacheFolder();
        if (!cache)
            return {};
        m_folder = std::make_unique<QTemporaryDir>(*cache + u'/' + folderPrefix + QStringLiteral("XXXXXX"));
    }
    return m_folder->isValid() ? m_folder->path() : QString();
}

ItemPictures::Stored ItemPictures::store(const QString &folder, const QUuid &id, const QList<QByteArray> &frames,
                                         const std::optional<QByteArray> &montage)
{
    Stored stored;
    if (folder.isEmpty())
        return stored;
    // A name of its own each time, so a picture shown from the last analysis is never the new one.
    const QString base = folder + u'/' + id.toString(QUuid::WithoutBraces) + u'-'
        + QUuid::createUuid().toString(QUuid::Id128).left(8);
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (const auto path = written(base + QStringLiteral("-frame%1.jpg").arg(i), frames[i]))
            stored.frames << *path;
    }
    if (montage)
        stored.montage = written(base + QStringLiteral("-montage.jpg"), *montage);
    return stored;
}

void ItemPictures::remove(const Stored &pictures)
{
    for (const QString &path : pictures.frames)
        QFile::remove(path);
    if (pictures.montage)
        QFile::remove(*pictures.montage);
}

void ItemPictures::removeLeftovers(const QString &cacheFolder)
{
    const QDir cache(cacheFolder);
    for (const QString &name : cache.entryList({folderPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
        QDir(cache.filePath(name)).removeRecursively();
}

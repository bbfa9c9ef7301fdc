#pragma once

// Where analysed items keep their frames and montage: JPEG files in a folder of the per-user
// cache, so that a list of thousands of clips does not hold its pictures in memory. The folder
// belongs to one model and goes with it; folders left by a crash are removed at the next start.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUuid>

#include <memory>
#include <optional>

class ItemPictures
{
public:
    struct Stored
    {
        QStringList frames;
        std::optional<QString> montage;
    };

    // Nothing is created before the first pictures arrive.
    ItemPictures() = default;

    // The folder the pictures go to, made on first use; empty when the cache cannot be had.
    // Called on the main thread before a run starts; the run writes there from its worker.
    QString folder();

    // From any thread: writes the item's pictures under new names. Pictures that cannot be written
    // are left out: they are only shown, never needed for naming.
    static Stored store(const QString &folder, const QUuid &id, const QList<QByteArray> &frames,
                        const std::optional<QByteArray> &montage);
    static void remove(const Stored &pictures);

    static void removeLeftovers(const QString &cacheFolder);

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

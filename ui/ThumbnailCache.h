#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QThreadPool>
#include <QUuid>

// Small pictures of the items' JPEG files, decoded on worker threads and kept by item, picture and
// size, so scrolling and selecting never decode on the main thread.
class ThumbnailCache : public QObject
{
    Q_OBJECT

public:
    explicit ThumbnailCache(QObject *parent = nullptr);
    ~ThumbnailCache() override;

    // The JPEG file scaled to fit `pixels` (device pixels), or a null image while it is decoded;
    // then ready(id) is sent. `slot` tells the pictures of one item apart (a frame's index, say).
    QImage image(const QUuid &id, int slot, const QString &file, QSize pixels);

signals:
    void ready(const QUuid &id);

private:
    struct Key
    {
        QUuid id;
        int slot;
        QSize pixels;
        bool operator==(const Key &) const = default;
    };
    friend size_t qHash(const Key &key, size_t seed) { return qHashMulti(seed, key.id, key.slot, key.pixels.width(), key.pixels.height()); }
    struct Entry
    {
        QString source; // a new analysis writes new files, so the name tells a stale picture
        QImage image;
    };

    QCache<Key, Entry> m_images;
    QHash<Key, QString> m_decoding;
    QThreadPool m_pool;
    int m_requests = 0;
};

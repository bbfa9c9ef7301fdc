#include "ThumbnailCache.h"

#include <QImageReader>
#include <QPointer>

namespace {

constexpr qsizetype cacheBytes = 96 * 1024 * 1024;

QImage decodeToFit(const QString &file, QSize pixels)
{
    QImageReader reader(file);
    const QSize full = reader.size();
    if (full.isValid()) // JPEG decodes straight to a smaller size, which is far quicker
        reader.setScaledSize(full.scaled(pixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > pixels.width() || image.height() > pixels.height()))
        image = image.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

ThumbnailCache::ThumbnailCache(QObject *parent)
    : QObject(parent)
    , m_images(cacheBytes)
{
    m_pool.setMaxThreadCount(2);
}

ThumbnailCache::~ThumbnailCache()
{
    m_pool.clear();
    m_pool.waitForDone();
}

QImage ThumbnailCache::image(const QUuid &id, int slot, const QString &file, QSize pixels)
{
    if (file.isEmpty() || pixels.isEmpty())
        return {};
    const Key key{id, slot, pixels};
    if (const Entry *entry = m_images.object(key); entry && entry->source == file)
        return entry->image;
    if (const auto decoding = m_decoding.constFind(key); decoding != m_decoding.cend() && *decoding == file)
        return {};

    m_decoding.insert(key, file);
    QPointer<ThumbnailCache> self(this);
    // The latest request runs first: it is what is on screen now.
    m_pool.start([self, key, file] {
        QImage image = decodeToFit(file, key.pixels);
        QMetaObject::invokeMethod(self.get(), [self, key, file, image] {
            if (!self)
                return;
            const auto decoding = self->m_decoding.constFind(key);
            if (decoding == self->m_decoding.cend() || *decoding != file)
                return; // asked again for another file meanwhile
            self->m_decoding.erase(decoding);
            self->m_images.insert(key, new Entry{file, image}, std::max<qsizetype>(image.sizeInBytes(), 1));
            emit self->ready(key.id);
        }, Qt::QueuedConnection);
    }, ++m_requests);
    return {};
}

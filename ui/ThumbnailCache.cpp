#include "ThumbnailCache.h"

#include "FittedImage.h"

#include <QImageReader>
#include <QPointer>

namespace {

constexpr qsizetype cacheBytes = 96 * 1024 * 1024;

QImage decodeToFit(const QString &file, QSize pixels)
{
    QImageReader reader(file);
    return readFitted(reader, pixels);
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

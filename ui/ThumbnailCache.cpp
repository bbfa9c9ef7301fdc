#include "ThumbnailCache.h"

#include <QBuffer>
#include <QImageReader>
#include <QPointer>

namespace {

constexpr qsizetype cacheBytes = 96 * 1024 * 1024;

QImage decodeToFit(const QByteArray &jpeg, QSize pixels)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    if (full.isValid()) // JPEG decodes straight to a smaller size, which is far quicker
        reader.setScaledSize(full.scaled(pixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > pixels.width() || image.height() > pixels.height()))
        image = image.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    return a.constData() == b.constData() || a == b;
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

QImage ThumbnailCache::image(const QUuid &id, int slot, const QByteArray &jpeg, QSize pixels)
{
    if (jpeg.isEmpty() || pixels.isEmpty())
        return {};
    const Key key{id, slot, pixels};
    if (const Entry *entry = m_images.object(key); entry && sameBytes(entry->source, jpeg))
        return entry->image;
    if (const auto decoding = m_decoding.constFind(key); decoding != m_decoding.cend() && sameBytes(*decoding, jpeg))
        return {};

    m_decoding.insert(key, jpeg);
    QPointer<ThumbnailCache> self(this);
    // The latest request runs first: it is what is on screen now.
    m_pool.start([self, key, jpeg] {
        QImage image = decodeToFit(jpeg, key.pixels);
        QMetaObject::invokeMethod(self.get(), [self, key, jpeg, image] {
            if (!self)
                return;
            const auto decoding = self->m_decoding.constFind(key);
            if (decoding == self->m_decoding.cend() || !sameBytes(*decoding, jpeg))
                return; // asked again for other bytes meanwhile
            self->m_decoding.erase(decoding);
            self->m_images.insert(key, new Entry{jpeg, image}, std::max<qsizetype>(image.sizeInBytes(), 1));
            emit self->ready(key.id);
        }, Qt::QueuedConnection);
    }, ++m_requests);
    return {};
}

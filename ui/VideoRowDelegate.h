#pragma once

#include <QStyledItemDelegate>

class ThumbnailCache;

// Paints one row of the item list: the first frame as a thumbnail, the file name cut in the
// middle, and the status line below it cut at the end, red for errors.
class VideoRowDelegate : public QStyledItemDelegate
{
public:
    VideoRowDelegate(ThumbnailCache &thumbnails, QObject *parent = nullptr);

    void setThumbnailSize(int size) { m_thumbnailSize = size; }
    int thumbnailSize() const { return m_thumbnailSize; }
    int rowHeight() const { return m_thumbnailSize + 16; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    ThumbnailCache &m_thumbnails;
    int m_thumbnailSize = 40;
};

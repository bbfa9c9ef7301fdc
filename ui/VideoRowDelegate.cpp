#include "VideoRowDelegate.h"

#include "ItemListModel.h"
#include "PaletteColors.h"
#include "ThumbnailCache.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int leftInset = 10;
constexpr int rightInset = 10;
constexpr int gap = 10;
constexpr int nameHeight = 17;
constexpr int statusHeight = 15;

} // namespace

VideoRowDelegate::VideoRowDelegate(ThumbnailCache &thumbnails, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_thumbnails(thumbnails)
{
}

QSize VideoRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return {300, rowHeight()};
}

void VideoRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QRect cell = option.rect;
    const int rowHeight = cell.height();
    const int side = std::min(m_thumbnailSize, std::max(rowHeight - 4, 16));
    const QRect thumbRect(cell.left() + leftInset, cell.top() + (rowHeight - side) / 2, side, side);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath rounded;
    rounded.addRoundedRect(thumbRect, 4, 4);
    const QString frame = index.data(ItemListModel::FirstFrameRole).toString();
    const qreal ratio = painter->device()->devicePixelRatioF();
    const QImage thumb = m_thumbnails.image(index.data(ItemListModel::IdRole).toUuid(), 0, frame,
                                            QSize(side, side) * ratio);
    if (!thumb.isNull()) {
        // Scaled proportionally inside the square.
        const QSizeF shown = QSizeF(thumb.size()) / ratio;
        const QRectF target(thumbRect.left() + (side - shown.width()) / 2, thumbRect.top() + (side - shown.height()) / 2,
                            shown.width(), shown.height());
        QPainterPath clip;
        clip.addRoundedRect(target, 4, 4);
        painter->setClipPath(clip);
        painter->drawImage(target, thumb);
        painter->setClipping(false);
    } else {
        painter->fillPath(rounded, PaletteColors::placeholderFill(option.palette));
    }

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const int textLeft = thumbRect.right() + 1 + gap;
    const int textWidth = std::max(cell.right() + 1 - rightInset - textLeft, 40);
    const int nameTop = cell.top() + (rowHeight + nameHeight) / 2 - 1 - nameHeight;

    QFont nameFont = option.font;
    nameFont.setPixelSize(13);
    nameFont.setWeight(QFont::Medium);
    painter->setFont(nameFont);
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QString name = index.data(Qt::DisplayRole).toString();
    painter->drawText(QRect(textLeft, nameTop, textWidth, nameHeight), Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(nameFont).elidedText(name, Qt::ElideMiddle, textWidth));

    QFont statusFont = option.font;
    statusFont.setPixelSize(11);
    painter->setFont(statusFont);
    const bool isError = index.data(ItemListModel::IsErrorRole).toBool();
    QColor statusColor = isError ? PaletteColors::error(option.palette) : PaletteColors::secondaryText(option.palette);
    if (selected && !isError)
        statusColor = option.palette.color(group, QPalette::HighlightedText);
    painter->setPen(statusColor);
    const QString status = index.data(ItemListModel::StatusTextRole).toString();
    painter->drawText(QRect(textLeft, nameTop + nameHeight + 1, textWidth, statusHeight), Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(statusFont).elidedText(status, Qt::ElideRight, textWidth));
    painter->restore();
}

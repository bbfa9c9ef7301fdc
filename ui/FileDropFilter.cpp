#include "FileDropFilter.h"

#include "DragPayload.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QWidget>

FileDropFilter::FileDropFilter(QWidget *target, std::function<void(const QStringList &)> onDropFiles,
                               std::function<void(bool)> onHighlight)
    : QObject(target)
    , m_onDropFiles(std::move(onDropFiles))
    , m_onHighlight(std::move(onHighlight))
{
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

bool FileDropFilter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        const bool hasFiles = !DragPayload::fileURLs(drag->mimeData()).isEmpty();
        if (hasFiles) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        highlight(hasFiles);
        return true;
    }
    case QEvent::DragLeave:
        highlight(false);
        return true;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        highlight(false);
        const QStringList files = DragPayload::fileURLs(drop->mimeData());
        if (files.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        m_onDropFiles(files);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

void FileDropFilter::highlight(bool on)
{
    if (m_onHighlight)
        m_onHighlight(on);
}

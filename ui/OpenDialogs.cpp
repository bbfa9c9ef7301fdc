#include "OpenDialogs.h"

#include "VideoItem.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QStandardPaths>

namespace OpenDialogs {

namespace {

QString filter(const QString &title, const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    return QStringLiteral("%1 (%2)").arg(title, patterns.join(u' '));
}

} // namespace

QString movieFilter()
{
    return filter(QStringLiteral("视频"), MediaExtensions::videos());
}

QString pictureFilter()
{
    return filter(QStringLiteral("图片"), MediaExtensions::photos());
}

QStringList chooseFolders(QWidget *parent, const QString &title)
{
    QFileDialog dialog(parent, title, QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    for (QAbstractItemView *view : dialog.findChildren<QAbstractItemView *>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

} // namespace OpenDialogs

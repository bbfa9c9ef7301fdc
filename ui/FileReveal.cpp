#include "FileReveal.h"

#include "FilePath.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

// A file URL made from the bytes on disk, so names that are not UTF-8 still find their file.
QUrl fileUrl(const QString &path)
{
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(FilePath::encode(path).toPercentEncoding("/")), QUrl::TolerantMode);
    return url;
}

void openContainingFolder(const QString &path)
{
    QDesktopServices::openUrl(fileUrl(QFileInfo(path).path()));
}

} // namespace

void revealInFileManager(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUrl(path).toString(QUrl::FullyEncoded)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher *done) {
        if (QDBusPendingReply<>(*done).isError())
            openContainingFolder(path);
        done->deleteLater();
    });
}

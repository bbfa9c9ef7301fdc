#include "PerUserFolder.h"

#include <QDir>
#include <QFile>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isPrivateFolder(const QByteArray &path)
{
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 077) == 0;
}

std::optional<QString> folderOfOurOwn()
{
    QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/orvane-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) // made 0700
        return std::nullopt;
    return QFile::decodeName(pattern);
}

} // namespace

std::optional<QString> perUserTempFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    static const std::optional<QString> fallback = folderOfOurOwn();
    return fallback;
}

std::optional<QString> perUserCacheFolder()
{
    QByteArray base = qgetenv("XDG_CACHE_HOME");
    if (base.isEmpty() || !base.startsWith('/'))
        base = QFile::encodeName(QDir::homePath()) + "/.cache";
    const QByteArray folder = base + "/Orvane";
    if (!QDir().mkpath(QFile::decodeName(folder)) || ::chmod(folder.constData(), 0700) != 0
        || !isPrivateFolder(folder))
        return std::nullopt;
    return QFile::decodeName(folder);
}

#include "SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SettingsFile {

namespace {

// Eighteen short values fit in a few kilobytes; anything far larger was not written by us, and
// reading it would only cost memory.
constexpr qint64 largestStore = 1024 * 1024;

bool readJson(QIODevice &device, QSettings::SettingsMap &map)
{
    if (device.size() > largestStore)
        return false;
    const QByteArray bytes = device.readAll();
    if (bytes.trimmed().isEmpty()) { // a file just made owner-only, before its first write
        map.clear();
        return true;
    }
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    map = document.object().toVariantMap();
    return document.isObject();
}

bool writeJson(QIODevice &device, const QSettings::SettingsMap &map)
{
    const QByteArray bytes = QJsonDocument(QJsonObject::fromVariantMap(map)).toJson();
    return device.write(bytes) == bytes.size();
}

// A missing or empty file holds nothing to lose.
bool isDamaged(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > largestStore)
        return true;
    const QByteArray bytes = file.readAll();
    return !bytes.isEmpty() && !QJsonDocument::fromJson(bytes).isObject();
}

// Replaces an older .bak: the newest damaged file is the closest to what the user last had.
bool moveAside(const QString &path)
{
    const QByteArray backup = QFile::encodeName(path + QLatin1String(".bak"));
    return std::rename(QFile::encodeName(path).constData(), backup.constData()) == 0
        && ::chmod(backup.constData(), 0600) == 0;
}

// Creating the file ourselves, before QSettings does, means it never exists with wider permissions;
// QSaveFile then keeps them when it replaces the file. An existing file is narrowed too.
bool makeOwnerOnly(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool narrowed = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return narrowed;
}

} // namespace

QSettings::Format jsonFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson);
    return format;
}

bool prepareForWrite(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const bool folderReady = QFileInfo::exists(folder)
        || (QDir().mkpath(folder)
            && QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    return folderReady && (!isDamaged(path) || moveAside(path)) && makeOwnerOnly(path);
}

} // namespace SettingsFile

#include "FrameSpool.h"

#include <QDir>

#include <sys/statvfs.h>

#include <utility>

namespace {

QString writeFailure(const QString &reason)
{
    return QStringLiteral("无法暂存抽取的帧：") + reason;
}

const QString diskFull = QStringLiteral("磁盘空间不足，无法暂存抽取的帧");
const QString folderPattern = QStringLiteral("orvane-search-");

QString readFailure(const QString &reason)
{
    return QStringLiteral("无法读取暂存的帧：") + reason;
}

} // namespace

FrameSpool::FrameSpool(QString parentFolder, qint64 keepFree)
    : m_parentFolder(std::move(parentFolder))
    , m_keepFree(keepFree)
{
}

void FrameSpool::removeLeftovers(const QString &parentFolder)
{
    const QDir parent(parentFolder);
    for (const QString &name : parent.entryList({folderPattern + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
        QDir(parent.filePath(name)).removeRecursively();
}

std::expected<void, QString> FrameSpool::open()
{
    m_folder = std::make_unique<QTemporaryDir>(m_parentFolder + u'/' + folderPattern + QStringLiteral("XXXXXX"));
    if (!m_folder->isValid())
        return std::unexpected(writeFailure(m_folder->errorString()));
    m_file.setFileName(m_folder->filePath(QStringLiteral("frames")));
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly))
        return std::unexpected(writeFailure(m_file.errorString()));
    return {};
}

std::expected<FrameSpool::Slot, QString> FrameSpool::append(const QByteArray &jpeg)
{
    if (!m_file.isOpen()) {
        if (auto opened = open(); !opened)
            return std::unexpected(opened.error());
    }
    // Checked before each frame: a search over many videos would otherwise fill the disk.
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(m_folder->path()).constData(), &disk) == 0
        && qint64(disk.f_bavail) * qint64(disk.f_frsize) - jpeg.size() < m_keepFree)
        return std::unexpected(diskFull);
    if (!m_file.seek(m_end) || m_file.write(jpeg) != jpeg.size())
        return std::unexpected(m_file.error() == QFileDevice::ResourceError ? diskFull
                                                                            : writeFailure(m_file.errorString()));
    const Slot slot{m_end, jpeg.size()};
    m_end += jpeg.size();
    return slot;
}

std::expected<QByteArray, QString> FrameSpool::read(Slot slot)
{
    if (!m_file.seek(slot.offset))
        return std::unexpected(readFailure(m_file.errorString()));
    QByteArray jpeg = m_file.read(slot.size);
    if (jpeg.size() != slot.size)
        return std::unexpected(readFailure(m_file.errorString()));
    return jpeg;
}

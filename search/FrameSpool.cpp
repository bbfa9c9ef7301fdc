#include "FrameSpool.h"

#include <utility>

namespace {

QString writeFailure(const QString &reason)
{
    return QStringLiteral("无法暂存抽取的帧：") + reason;
}

QString readFailure(const QString &reason)
{
    return QStringLiteral("无法读取暂存的帧：") + reason;
}

} // namespace

FrameSpool::FrameSpool(QString parentFolder)
    : m_parentFolder(std::move(parentFolder))
{
}

std::expected<void, QString> FrameSpool::open()
{
    m_folder = std::make_unique<QTemporaryDir>(m_parentFolder + QStringLiteral("/orvane-search-XXXXXX"));
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
    if (!m_file.seek(m_end) || m_file.write(jpeg) != jpeg.size())
        return std::unexpected(writeFailure(m_file.errorString()));
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

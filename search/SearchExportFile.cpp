#include "SearchExportFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

bool hasExtension(const QString &path, const QString &extension)
{
    return QFileInfo(path).suffix().compare(extension, Qt::CaseInsensitive) == 0;
}

std::unexpected<QString> failed(const QString &reason)
{
    return std::unexpected(QStringLiteral("导出失败：") + reason);
}

// What went wrong, as the user can act on it, with Qt's own words in parentheses.
QString whyNotWritten(const QSaveFile &file, const QString &path)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    QString reason;
    if (!folder.isDir())
        reason = QStringLiteral("所选的文件夹不存在");
    else if (!folder.isWritable())
        reason = QStringLiteral("没有写入该文件夹的权限");
    else if (file.error() == QFileDevice::ResourceError)
        reason = QStringLiteral("磁盘空间不足");
    else
        reason = QStringLiteral("无法写入该文件");
    return reason + QStringLiteral("（") + file.errorString() + QStringLiteral("）");
}

} // namespace

std::expected<QString, QString> saveExport(const QString &path, SearchExportFormat format, const SearchSession &session)
{
    const QString extension = fileExtension(format);
    // A link is followed when written through, so what it points at must fit too.
    const QString existing = QFileInfo(path).canonicalFilePath();
    if (!hasExtension(path, extension) || (!existing.isEmpty() && !hasExtension(existing, extension)))
        return failed(QStringLiteral("文件名须以 .%1 结尾").arg(extension));

    QSaveFile file(path);
    const QByteArray bytes = render(format, session).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return failed(whyNotWritten(file, path));
    return QStringLiteral("已导出到 ") + QFileInfo(path).fileName();
}

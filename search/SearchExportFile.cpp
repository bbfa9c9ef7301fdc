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
        return failed(file.errorString());
    return QStringLiteral("已导出到 ") + QFileInfo(path).fileName();
}

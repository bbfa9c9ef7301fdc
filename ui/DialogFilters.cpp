#include "DialogFilters.h"

#include "VideoItem.h"

#include <QStringList>

namespace DialogFilters {

namespace {

QString filter(const QString &title, const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    return QStringLiteral("%1 (%2)").arg(title, patterns.join(u' '));
}

} // namespace

QString movies()
{
    return filter(QStringLiteral("视频"), MediaExtensions::videos());
}

QString pictures()
{
    return filter(QStringLiteral("图片"), MediaExtensions::photos());
}

} // namespace DialogFilters

#include "RunText.h"

#include <algorithm>
#include <cmath>

namespace RunText {

namespace {

// Halves away from zero; the clamp keeps absurd inputs out of undefined territory.
qint64 nearestWhole(double value)
{
    if (!std::isfinite(value))
        value = value > 0 ? 1e12 : 0;
    return std::llround(std::clamp(value, -1e12, 1e12));
}

} // namespace

QString eta(double seconds)
{
    const qint64 n = nearestWhole(seconds);
    if (n <= 59)
        return QStringLiteral("%1 秒").arg(std::max<qint64>(n, 1));
    if (n <= 3599) {
        const qint64 minutes = n / 60;
        const qint64 rest = n % 60;
        return rest != 0 ? QStringLiteral("%1 分 %2 秒").arg(minutes).arg(rest) : QStringLiteral("%1 分钟").arg(minutes);
    }
    const qint64 hours = n / 3600;
    const qint64 rest = n % 3600;
    return rest > 59 ? QStringLiteral("%1 小时 %2 分").arg(hours).arg(rest / 60) : QStringLiteral("%1 小时").arg(hours);
}

QString progress(qsizetype position, qsizetype total, const QString &fileName, int done, double elapsed)
{
    QString text = QStringLiteral("分析中 %1/%2：").arg(position + 1).arg(total) + fileName;
    if (done >= 1) {
        const double average = elapsed / done;
        text += QStringLiteral("\u3000·\u3000平均 %1 秒/个，预计还需 ").arg(nearestWhole(average))
            + eta(average * double(total - position));
    }
    return text;
}

QString summary(int done, qsizetype total, double elapsed, bool listChanged)
{
    QString text = QStringLiteral("分析完成：成功 %1/%2 个，用时 ").arg(done).arg(total) + eta(elapsed);
    if (done >= 1)
        text += QStringLiteral("，平均 %1 秒/个").arg(nearestWhole(elapsed / done));
    if (listChanged)
        text += QStringLiteral("（列表中途有增删，已自动跳过）");
    return text;
}

QString stoppedSummary(int done, qsizetype total, double elapsed)
{
    return QStringLiteral("分析已停止：成功 %1/%2 个，用时 ").arg(done).arg(total) + eta(elapsed);
}

} // namespace RunText

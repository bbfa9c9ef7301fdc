#include "DateText.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace DateText {

namespace {

// Builds the point in time from matched fields, refusing days and times that do not exist.
std::optional<QDateTime> fromFields(const QRegularExpressionMatch &m, int milliseconds, const QTimeZone &zone)
{
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QString seconds = m.captured(6);
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), seconds.isEmpty() ? 0 : seconds.toInt(),
                     milliseconds);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QDateTime result = zone.isValid() ? QDateTime(date, time, zone) : QDateTime(date, time);
    if (!result.isValid())
        return std::nullopt;
    return result;
}

int millisecondsOf(const QString &fraction)
{
    return fraction.isEmpty() ? 0 : fraction.left(3).leftJustified(3, QLatin1Char('0')).toInt();
}

} // namespace

std::optional<QDateTime> parseExifDate(const QString &text)
{
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral(R"(^(\d{4}):(\d{2}):(\d{2}) (\d{2}):(\d{2}):(\d{2})$)")),
        QRegularExpression(QStringLiteral(R"(^(\d{4}):(\d{2}):(\d{2}) (\d{2}):(\d{2})()$)")),
        QRegularExpression(QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})$)")),
    };
    for (const QRegularExpression &pattern : patterns) {
        const auto match = pattern.match(text);
        if (match.hasMatch())
            return fromFields(match, 0, QTimeZone());
    }
    return std::nullopt;
}

std::optional<QDateTime> parseVideoDate(const QString &text)
{
    static const QRegularExpression zoned(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d+))?(?:(Z)|([+-])(\d{2}):?(\d{2}))$)"));
    // Cameras' MJPEG clips also write a space for the T, or the day alone (taken as local midnight).
    static const QRegularExpression local(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2}):(\d{2}))?$)"));

    if (const auto m = zoned.match(text); m.hasMatch()) {
        int offsetSeconds = 0;
        if (m.captured(8).isEmpty()) {
            const int hours = m.captured(10).toInt(), minutes = m.captured(11).toInt();
            if (hours > 23 || minutes > 59)
                return std::nullopt;
            offsetSeconds = (hours * 3600 + minutes * 60) * (m.captured(9) == QLatin1String("-") ? -1 : 1);
        }
        return fromFields(m, millisecondsOf(m.captured(7)), QTimeZone(offsetSeconds));
    }
    if (const auto m = local.match(text); m.hasMatch())
        return fromFields(m, 0, QTimeZone());
    return std::nullopt;
}

} // namespace DateText

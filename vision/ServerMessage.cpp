#include "ServerMessage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace ServerMessage {

std::optional<QString> pick(const QString &text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue error = object.value(QLatin1String("error"));
    if (error.isObject() && error.toObject().value(QLatin1String("message")).isString())
        return error.toObject().value(QLatin1String("message")).toString();
    if (object.value(QLatin1String("message")).isString())
        return object.value(QLatin1String("message")).toString();
    if (error.isString())
        return error.toString();
    return std::nullopt;
}

std::optional<QString> unwrap(const QString &text)
{
    const auto outer = pick(text);
    if (!outer)
        return std::nullopt;
    return pick(*outer).value_or(*outer);
}

QString readable(const QString &body)
{
    if (const auto message = unwrap(body))
        return *message;
    const QString firstLine = body.section(u'\n', 0, 0).trimmed();
    if (const auto message = unwrap(firstLine))
        return *message;
    if (!body.trimmed().startsWith(u'<'))
        return body;
    // A proxy's or web server's error page: its words, not its markup.
    static const QRegularExpression hidden(QStringLiteral(R"(<(head|script|style)\b.*?</\1\s*>)"),
                                           QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString words = body;
    words.remove(hidden).replace(tag, QStringLiteral(" "));
    return words.simplified();
}

} // namespace ServerMessage

#include "ServerMessage.h"

#include <QJsonDocument>
#include <QJsonObject>

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

} // namespace ServerMessage

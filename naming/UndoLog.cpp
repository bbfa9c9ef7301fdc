#include "UndoLog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace UndoLog {

namespace {

// A name that is not valid UTF-8 cannot survive a JSON text; writing it would point undo at a file
// that does not exist.
bool survivesJson(const QString &path)
{
    return QString::fromUtf8(path.toUtf8()) == path;
}

} // namespace

QString location(const QString &folder, qint64 unixSeconds)
{
    return folder + QStringLiteral("/lumisort_undo_") + QString::number(unixSeconds) + QStringLiteral(".json");
}

std::expected<void, QString> write(const QString &path, const UndoMap &moves)
{
    QJsonObject object;
    for (auto move = moves.begin(); move != moves.end(); ++move) {
        if (!survivesJson(move.key()) || !survivesJson(move.value()))
            return std::unexpected(QStringLiteral("文件名含有无法记录的字符"));
        object.insert(move.key(), move.value());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return std::unexpected(file.errorString());
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return std::unexpected(file.errorString());
    return {};
}

std::optional<UndoMap> read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    UndoMap moves;
    const QJsonObject object = document.object();
    for (auto member = object.begin(); member != object.end(); ++member) {
        if (!member.value().isString())
            return std::nullopt;
        moves.insert(member.key(), member.value().toString());
    }
    return moves;
}

} // namespace UndoLog

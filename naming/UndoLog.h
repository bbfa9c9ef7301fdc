#pragma once

#include <QHash>
#include <QString>

#include <expected>
#include <optional>

// New path → old path of every file a rename batch moved.
using UndoMap = QHash<QString, QString>;

// The file that lets a rename batch be undone: one pretty-printed JSON object whose members map
// each new absolute path to the old one.
namespace UndoLog {

// "lumisort_undo_<Unix seconds>.json" in the folder.
QString location(const QString &folder, qint64 unixSeconds);

// Whole or not at all; the error is the reason as the user reads it.
std::expected<void, QString> write(const QString &path, const UndoMap &moves);

// Nothing when the file cannot be read or is not an object of texts.
std::optional<UndoMap> read(const QString &path);

} // namespace UndoLog

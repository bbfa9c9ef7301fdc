#pragma once

#include "UndoLog.h"

#include <QList>
#include <QString>

#include <optional>

// Gives media files their proposed names in their own folders, never replacing anything, and lets
// the last batch be moved back. Sidecar files (edits, thumbnails, proxies, telemetry) named after a
// media file move with it. Works on plain paths; the caller decides which items take part.
namespace Renamer {

struct Request
{
    QString path;
    QString proposedName; // cleaned here before use
};

struct Outcome
{
    enum class Kind { untouched, moved, failed };
    Kind kind = Kind::untouched;
    QString newPath; // when moved
    QString reason;  // when failed, as the user reads it
};

struct Batch
{
    QList<Outcome> outcomes; // one per request, in order
    UndoMap moves;           // media files and sidecars
    int sidecarsMoved = 0;
    std::optional<QString> log; // where the undo log goes; nothing when no file moved
    QString logError;           // why the log could not be written; empty when it was
};

// Moves the files one after another. When the log cannot be written the moves still stand;
// `moves` can then undo them for as long as the caller keeps it.
Batch rename(const QList<Request> &requests, const std::optional<QString> &logFolder);

struct UndoResult
{
    int restored = 0;  // files moved back
    UndoMap restoredMoves;
    UndoMap remaining; // entries that could not be moved back; the log keeps just these
    bool logReadable = true;
};

// Replays a log and then deletes it, or rewrites it with the entries that could not be moved back.
// An unreadable log stays as it is.
UndoResult undo(const QString &log);
// Replays a batch kept in memory.
UndoResult undo(const UndoMap &moves);

} // namespace Renamer

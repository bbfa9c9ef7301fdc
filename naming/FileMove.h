#pragma once

#include <QString>

// Moving files within a folder without ever replacing what is at the target. Paths are absolute
// and may hold names that are not valid UTF-8 (see FilePath).
namespace FileMove {

// 0 when the file now has the new name, else the errno; EEXIST when something is at `to`, even
// something that appeared a moment before the move.
int moveWithoutReplacing(const QString &from, const QString &to);

// Anything at all at the path, a dangling link included.
bool exists(const QString &path);

// The reason a move failed, as the user reads it.
QString describe(int error);

} // namespace FileMove

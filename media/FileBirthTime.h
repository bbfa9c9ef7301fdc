#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// When the file was created on this file system (statx's birth time). Nothing where the file system
// keeps no such time: the last change time would be a wrong date, not an approximate one.
std::optional<QDateTime> fileBirthTime(const QString &path);

#pragma once

// Version texts: how two compare, and which is the newest a download page names.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace UpdateChecker {

// The decimal pieces between the dots; other pieces are left out ("2.0-beta" gives 2).
QList<qint64> numericParts(const QString &version);

// -1 when a is older than b, 0 when equal (1.2 equals 1.2.0), 1 when newer (1.10 is newer than 1.9).
int compare(const QString &a, const QString &b);

// Group 1 of every match of the pattern, case-insensitive, in text order; nothing for a bad pattern.
QStringList allMatches(const QString &pattern, const QString &text);

// The newest version among the installer file names and the version meta tag; the first of equals.
// A version longer than 32 characters is not one.
std::optional<QString> parseLatestVersion(const QString &page);

} // namespace UpdateChecker

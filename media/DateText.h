#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Date texts as cameras and phones write them. Texts without a zone are read in the machine's
// current time zone.
namespace DateText {

// "yyyy:MM:dd HH:mm:ss", then "yyyy:MM:dd HH:mm", then "yyyy-MM-dd'T'HH:mm:ss"; the whole text must match.
std::optional<QDateTime> parseExifDate(const QString &text);

// ISO 8601 with a zone (Z, +hh:mm or +hhmm) and an optional fraction of any length, or
// "yyyy-MM-dd'T'HH:mm:ss" or "yyyy-MM-dd HH:mm:ss" without zone or fraction, or "yyyy-MM-dd" alone
// (local midnight).
std::optional<QDateTime> parseVideoDate(const QString &text);

} // namespace DateText

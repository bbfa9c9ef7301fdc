#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

// File names on Linux are bytes, not text. Names that are valid UTF-8 map to the same QString
// that Qt uses; any other byte is kept as an unpaired surrogate (U+DC80 to U+DCFF) so that the
// name goes back to the exact bytes on disk. Qt's own file classes cannot do this, so media/
// opens files through here.
namespace FilePath {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &path);

bool isRegularFile(const QString &path);

// An open, read-only device on the file; nothing when it cannot be opened.
std::unique_ptr<QFile> openForReading(const QString &path);

} // namespace FilePath

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Plain file work for tests, inside their temporary folders.
namespace Files {

// Writes the file, making its folders; fails the test when it cannot.
QString write(const QString &path, const QByteArray &content = {});
// The whole file; fails the test when it cannot be read.
QByteArray read(const QString &path);
// Every entry under the folder, one "relative/path <what>" line each in name order: a file's
// SHA-256, a folder's "/", a link's target. Equal listings before and after prove nothing in the
// tree was added, removed, renamed or changed.
QStringList tree(const QString &root);

} // namespace Files

#pragma once

#include <QByteArray>
#include <QString>

// Plain file work for tests, inside their temporary folders.
namespace Files {

// Writes the file, making its folders; fails the test when it cannot.
QString write(const QString &path, const QByteArray &content = {});
// The whole file; fails the test when it cannot be read.
QByteArray read(const QString &path);

} // namespace Files

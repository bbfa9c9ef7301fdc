#include "Files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace Files {

QString write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size()) << path.toStdString();
    return path;
}

QByteArray read(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

QStringList tree(const QString &root)
{
    QStringList lines;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        QString what;
        if (entry.isSymLink()) {
            what = "-> " + entry.symLinkTarget();
        } else if (entry.isDir()) {
            what = "/";
        } else {
            QFile file(entry.filePath());
            QCryptographicHash hash(QCryptographicHash::Sha256);
            what = file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex() : "unreadable";
        }
        lines << base.relativeFilePath(entry.filePath()) + ' ' + what;
    }
    lines.sort();
    return lines;
}

} // namespace Files

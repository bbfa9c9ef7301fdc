#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <expected>
#include <memory>

// Sampled frames parked on disk for the length of one search, so that memory does not grow with
// the number of videos. They go into one file in a fresh owner-only folder that is removed with
// the spool. Errors are the readable reason.
class FrameSpool
{
public:
    // One frame's place in the file.
    struct Slot
    {
        qint64 offset = 0;
        qint64 size = 0;
    };

    // Room the spool leaves on its disk for everything else; short of it, it takes no more frames.
    static constexpr qint64 defaultKeepFree = 256LL * 1024 * 1024;

    // Nothing is created before the first frame arrives.
    explicit FrameSpool(QString parentFolder, qint64 keepFree = defaultKeepFree);

    // Removes the spools a search left in the folder when the program did not end cleanly. Call
    // it when no search runs.
    static void removeLeftovers(const QString &parentFolder);

    std::expected<Slot, QString> append(const QByteArray &jpeg);
    std::expected<QByteArray, QString> read(Slot slot);

private:
    std::expected<void, QString> open();

    QString m_parentFolder;
    qint64 m_keepFree;
    std::unique_ptr<QTemporaryDir> m_folder; // declared before the file, so the file closes first
    QFile m_file;
    qint64 m_end = 0;
};

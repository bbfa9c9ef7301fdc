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

    // Nothing is created before the first frame arrives.
    explicit FrameSpool(QString parentFolder);

    std::expected<Slot, QString> append(const QByteArray &jpeg);
    std::expected<QByteArray, QString> read(Slot slot);

private:
    std::expected<void, QString> open();

    QString m_parentFolder;
    std::unique_ptr<QTemporaryDir> m_folder; // declared before the file, so the file closes first
    QFile m_file;
    qint64 m_end = 0;
};

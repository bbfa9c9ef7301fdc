#pragma once

#include <atomic>
#include <memory>

#include "VideoItem.h"

#include <QSet>
#include <QStringList>

// The slow half of an import, for a worker thread: finding the files and reading what each carries.
namespace MediaImport {

struct Request
{
    QStringList locations;
    MediaTarget target = MediaTarget::videos;
    bool usePathPlace = true;
    QSet<QString> listed; // files already in the list when the import began
    // Set when the program closes: the import stops at the next file and finds nothing.
    std::shared_ptr<std::atomic<bool>> cancel;
};

struct File
{
    QString path;
    MediaKind kind = MediaKind::video;
    std::optional<QDateTime> creationDate;
    std::optional<QString> pathPlace;
};

// Whether an import takes the file, and as what, by its extension alone.
std::optional<MediaKind> classify(const QString &path, MediaTarget target);

// The files to add, in import order, each once and none already listed, with capture dates and
// folder places read on every core.
QList<File> collect(const Request &request);

} // namespace MediaImport

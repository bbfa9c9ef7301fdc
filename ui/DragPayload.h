#pragma once

#include <QByteArray>
#include <QStringList>

class QMimeData;

namespace DragPayload {

// The local files a drag carries, in order. Read from the raw uri-list bytes, so names that are
// not UTF-8 keep their bytes on disk; remote addresses are left out.
QStringList fileURLs(const QMimeData *data);
QStringList localPathsOfUriList(const QByteArray &uriList);

} // namespace DragPayload

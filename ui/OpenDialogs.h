#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The open dialogs the windows share.
namespace OpenDialogs {

// "视频 (*.mp4 *.MP4 …)", the extensions the import takes as videos. The dialog matches names as
// written, so each extension is listed in both cases.
QString movieFilter();
// Stills the media layer reads, camera RAW and HEIC included.
QString pictureFilter();

// Several folders at once, through Qt's own dialog, as the desktop's may let only one be chosen.
// Empty when cancelled.
QStringList chooseFolders(QWidget *parent, const QString &title);

} // namespace OpenDialogs

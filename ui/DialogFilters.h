#pragma once

#include <QString>

// Name filters for the open dialogs. The dialog matches names as written, so each extension is
// listed in both cases.
namespace DialogFilters {

// "视频 (*.mp4 *.MP4 …)", the extensions the import takes as videos.
QString movies();
// Stills the media layer reads, camera RAW and HEIC included.
QString pictures();

} // namespace DialogFilters

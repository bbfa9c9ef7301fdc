#pragma once

#include "AppSettings.h"
#include "VideoItem.h"

// The proposed name of an item under the current naming settings.
QString proposedNameFor(const VideoItem &item, const AppSettings &settings);

#pragma once

// The video content search: a frame every few seconds from each video, one model question per
// frame, and the frames judged hits. The call blocks for the whole search; run it on a worker
// thread.

#include "CancelFlag.h"
#include "SearchHit.h"
#include "SearchMode.h"
#include "VisionService.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <expected>
#include <functional>
#include <optional>

// Everything a search reads, fixed when it starts: the settings of the moment and the window's
// choices.
struct SearchRequest
{
    VisionEndpoint vision;

    QStringList videos; // absolute paths, searched in this order
    QString query;      // trimmed keyword; the reference prompt does not use it
    std::optional<QByteArray> reference; // JPEG; sent only in reference mode
    SearchMode mode = SearchMode::keyword;
    double interval = 3; // seconds between sampled frames
    int concurrency = 1; // questions in flight at once

    // An owner-only folder where the sampled frames wait for their turn, each search in a folder
    // of its own inside it.
    QString scratchFolder;
    // Set to end the search early; it then fails as cancelled.
    CancelFlag cancel;
};

struct SearchResult
{
    QList<SearchHit> hits; // by video name, then time
    int failedFrames = 0;  // frames whose question got no answer; the others were judged
};

struct SearchError
{
    enum class Kind {
        noFrames,          // no video gave a frame, or there were no videos
        spool,             // the sampled frames could not be parked on disk
        allRequestsFailed, // not one frame got an answer: a stopped server, a wrong key
        cancelled,         // its owner went away
    };
    Kind kind = Kind::noFrames;
    QString message; // what the user is told after "检索失败："
};

namespace SearchEngine {

// However long the video and short the interval.
constexpr int maxFramesPerVideo = 600;

// Called as each frame's question ends: how many have ended, the number of frames of all videos,
// and the line to show. Called on a searching thread, one call at a time; it must not block.
using ProgressHandler = std::function<void(int current, int total, const QString &text)>;

std::expected<SearchResult, SearchError> searchVideos(const SearchRequest &request, const ProgressHandler &onProgress);

} // namespace SearchEngine

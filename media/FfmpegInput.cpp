#include "FfmpegInput.h"

#include "FilePath.h"

#include <mutex>

namespace Ffmpeg {

int Deadline::interruptCallback(void *deadline)
{
    return static_cast<const Deadline *>(deadline)->passed() ? 1 : 0;
}

FormatContextPtr openInput(const QString &path, Deadline *deadline)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    if (!FilePath::isRegularFile(path))
        return {};
    AVFormatContext *context = avformat_alloc_context();
    if (!context)
        return {};
    context->interrupt_callback = {&Deadline::interruptCallback, deadline};

    // "file:" keeps names with a colon from being taken as another protocol; the whitelist keeps a
    // playlist disguised as a video from reaching anything but local files.
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const QByteArray url = "file:" + FilePath::encode(path);
    const int result = avformat_open_input(&context, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0)
        return {}; // avformat_open_input frees the context on failure
    return FormatContextPtr(context);
}

} // namespace Ffmpeg

// One exact frame from the middle of a 1080p H.264 clip, beside ffmpeg's command line doing the same.

#include "BenchSupport.h"
#include "VideoFile.h"

#include <QFile>

#include <benchmark/benchmark.h>

namespace {

// 1.7 s past the key frame at 12 s (a key frame every 2 s, B-frames between): a seek plus decoding
// on, the usual cost of a frame taken for naming.
constexpr double target = 13.7;
constexpr double frameSeconds = 1.0 / 30;
constexpr QSize box(640, 640);
constexpr QSize shown(640, 360);

// The ffmpeg command that matches frameAt: accurate seek, scaled bilinearly into the box, read with
// the HD matrix (BT.709) that frameAt assumes for an HD clip that names none. Raw RGB comes out, as
// ours does; a PNG would time zlib rather than the seek and decode.
bool ffmpegFrame(const QString &clip, double seconds, const QString &output)
{
    return Bench::runTool(QStringLiteral("ffmpeg"),
                          {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                           QStringLiteral("-ss"), QString::number(seconds, 'f', 4), QStringLiteral("-i"), clip,
                           QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-vf"),
                           QStringLiteral("scale=%1:%2:flags=bilinear:force_original_aspect_ratio=decrease:in_color_matrix=bt709")
                               .arg(box.width())
                               .arg(box.height()),
                           QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), QStringLiteral("-f"),
                           QStringLiteral("rawvideo"), QStringLiteral("-y"), output});
}

QImage ffmpegPicture(const QString &clip, double seconds)
{
    const QString output = Bench::scratchPath(QStringLiteral("reference.rgb"));
    QFile file(output);
    if (!ffmpegFrame(clip, seconds, output) || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() != shown.width() * shown.height() * 3)
        return {};
    return QImage(reinterpret_cast<const uchar *>(bytes.constData()), shown.width(), shown.height(),
                  shown.width() * 3, QImage::Format_RGB888)
        .copy();
}

struct Clip
{
    QString path;
    QImage atTarget;    // ffmpeg's frame at the target time
    QImage frameBefore; // and the one before it, to tell how far a wrong frame would be
};

Clip makeClip()
{
    const QString path = Bench::scratchPath(QStringLiteral("clip.mp4"));
    if (!Bench::runTool(QStringLiteral("ffmpeg"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("testsrc2=size=1920x1080:rate=30"), QStringLiteral("-t"), QStringLiteral("30"),
                         QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                         QStringLiteral("veryfast"), QStringLiteral("-g"), QStringLiteral("60"), QStringLiteral("-bf"),
                         QStringLiteral("2"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path}))
        return {};
    return {path, ffmpegPicture(path, target), ffmpegPicture(path, target - 1.5 * frameSeconds)};
}

const Clip *clip(benchmark::State &state)
{
    static const Clip made = makeClip();
    if (!made.atTarget.isNull() && !made.frameBefore.isNull())
        return &made;
    state.SkipWithError("could not make the clip");
    return nullptr;
}

void ours(benchmark::State &state)
{
    const Clip *made = clip(state);
    if (!made)
        return;
    // The file is opened inside the loop: the command line pays for its open too.
    const auto frame = [&]() -> std::optional<QImage> {
        const auto video = VideoFile::open(made->path);
        return video ? video->frameAt(target, box) : std::nullopt;
    };
    // A wrong frame would be quick to find and worthless: the picture must be ffmpeg's, closer to it
    // than the neighbouring frame is.
    const auto first = frame();
    if (!first || first->size() != shown
        || Bench::meanDifference(*first, made->atTarget) >= Bench::meanDifference(made->frameBefore, made->atTarget)) {
        state.SkipWithError("frameAt did not give the frame ffmpeg gives");
        return;
    }
    for (auto _ : state) {
        if (!frame()) {
            state.SkipWithError("frameAt failed");
            return;
        }
    }
}

void anchor_ffmpeg(benchmark::State &state)
{
    const Clip *made = clip(state);
    if (!made)
        return;
    const QString output = Bench::scratchPath(QStringLiteral("anchor.rgb"));
    for (auto _ : state) {
        if (!ffmpegFrame(made->path, target, output)) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
}

} // namespace

BENCHMARK(ours)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(anchor_ffmpeg)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

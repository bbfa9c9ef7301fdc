// The frames taken from a clip for naming (six through it) and for the search (one every two
// seconds), each beside the ffmpeg command line doing the same job; then the montage of six, and
// what one item's frames and montage cost in memory.

#include "BenchSupport.h"
#include "FrameExtractor.h"
#include "FrameMontage.h"
#include "FreshCopy.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int itemFrames = 6;
constexpr QSize frameSize(640, 360); // 1080p fitted into the 640 × 640 box
constexpr double searchInterval = 2;
constexpr int searchCap = 600;
constexpr double montageQuality = 0.8;
// Six 16:9 cells sharing 1280 × 720 in three columns and two rows, with 6-pixel gaps.
constexpr QSize montageSize(1593, 606);

bool ffmpeg(const QStringList &arguments)
{
    return Bench::runTool(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-nostdin"_s} + arguments);
}

// Scaled as ours is, into the BT.601 full range that JPEG readers assume, so the colours match.
const QString scaleFilter = u"scale=640:360:flags=bilinear:out_color_matrix=bt601:out_range=full"_s;

// One frame the way a script would take it: accurate seek, and JPEG out, since ours hands back JPEG
// too and the encoding is part of the job.
bool ffmpegFrame(const QString &clip, double seconds, const QString &output)
{
    return ffmpeg({u"-ss"_s, QString::number(seconds, 'f', 4), u"-i"_s, clip, u"-frames:v"_s, u"1"_s, u"-vf"_s,
                   scaleFilter, u"-f"_s, u"image2"_s, u"-c:v"_s, u"mjpeg"_s, u"-q:v"_s, u"5"_s, u"-y"_s, output});
}

struct Clip
{
    QString path;
    double seconds = 0;
    QList<QImage> reference; // ffmpeg's frame at each of the item's times

    double itemTime(int i) const { return seconds * (i + 1) / (itemFrames + 1); }
};

Clip withReferences(const QString &path, double seconds)
{
    Clip clip{path, seconds, {}};
    const QString output = Bench::scratchPath(u"reference.jpg"_s);
    for (int i = 0; i < itemFrames; ++i) {
        if (!ffmpegFrame(path, clip.itemTime(i), output))
            return {};
        clip.reference.append(QImage(output));
    }
    return clip;
}

// A key frame every 2 s with B-frames between, in BT.709 and saying so, as phones record.
// superfast keeps CABAC and the deblocking filter, so decoding costs what it does on a camera's
// clip, and encodes a minute in about half a minute on two cores.
Clip makeMinute()
{
    const QString path = Bench::scratchPath(u"minute.mp4"_s);
    if (!ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=size=1920x1080:rate=30"_s, u"-t"_s, u"60"_s, u"-vf"_s,
                 u"format=rgb24,scale=out_color_matrix=bt709"_s, u"-c:v"_s, u"libx264"_s, u"-preset"_s,
                 u"superfast"_s, u"-g"_s, u"60"_s, u"-keyint_min"_s, u"60"_s, u"-sc_threshold"_s, u"0"_s, u"-bf"_s,
                 u"2"_s, u"-pix_fmt"_s, u"yuv420p"_s, u"-colorspace"_s, u"bt709"_s, u"-color_primaries"_s,
                 u"bt709"_s, u"-color_trc"_s, u"bt709"_s, path}))
        return {};
    return withReferences(path, 60);
}

const Clip &minute()
{
    static const Clip clip = makeMinute();
    return clip;
}

// Ten copies of the minute joined without re-encoding: the same key frames and B-frames for ten
// minutes, made in a second rather than the five or so minutes encoding would take.
Clip makeTenMinutes()
{
    if (minute().path.isEmpty())
        return {};
    const QString list = Bench::scratchPath(u"ten.txt"_s), path = Bench::scratchPath(u"ten-minutes.mp4"_s);
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly) || !file.write(QByteArray("file 'minute.mp4'\n").repeated(10)))
        return {};
    file.close();
    if (!ffmpeg({u"-f"_s, u"concat"_s, u"-i"_s, list, u"-c"_s, u"copy"_s, path}))
        return {};
    return withReferences(path, 600);
}

const Clip &tenMinutes()
{
    static const Clip clip = makeTenMinutes();
    return clip;
}

// A quick wrong answer must not pass: six frames of the right size, each nearer ffmpeg's frame at
// its own time than ffmpeg's frame at any of the other five.
bool rightFrames(const QList<QByteArray> &frames, const Clip &clip)
{
    if (frames.size() != itemFrames)
        return false;
    for (int i = 0; i < itemFrames; ++i) {
        const QImage picture = QImage::fromData(frames[i], "JPEG");
        if (picture.size() != frameSize)
            return false;
        const double own = Bench::meanDifference(picture, clip.reference[i]);
        for (int j = 0; j < itemFrames; ++j) {
            if (j != i && Bench::meanDifference(picture, clip.reference[j]) <= own)
                return false;
        }
    }
    return true;
}

const Clip *ready(benchmark::State &state, const Clip &(*made)())
{
    const Clip &clip = made();
    if (clip.reference.size() == itemFrames)
        return &clip;
    state.SkipWithError("could not make the clip");
    return nullptr;
}

void framesPerSecond(benchmark::State &state, int frames)
{
    state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
}

void item_frames(benchmark::State &state, const Clip &(*made)())
{
    const Clip *clip = ready(state, made);
    if (!clip)
        return;
    if (!rightFrames(FrameExtractor::extractFrames(clip->path, itemFrames), *clip)) {
        state.SkipWithError("extractFrames did not give the frames ffmpeg gives");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameExtractor::extractFrames(clip->path, itemFrames));
    framesPerSecond(state, itemFrames);
}

void item_frames_anchor_ffmpeg(benchmark::State &state, const Clip &(*made)())
{
    const Clip *clip = ready(state, made);
    if (!clip)
        return;
    const QString output = Bench::scratchPath(u"anchor.jpg"_s);
    for (auto _ : state) {
        for (int i = 0; i < itemFrames; ++i) {
            if (!ffmpegFrame(clip->path, clip->itemTime(i), output)) {
                state.SkipWithError("ffmpeg failed");
                return;
            }
        }
    }
    framesPerSecond(state, itemFrames);
}

// The samples come every 2 s from the start; the last is held a step before the end.
bool rightSamples(const QList<FrameExtractor::TimestampedFrame> &frames, double seconds)
{
    if (frames.size() != 300 && frames.size() != 301)
        return false;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (std::abs(frames[i].time - std::min(i * searchInterval, seconds - searchInterval)) > 1e-6
            || QImage::fromData(frames[i].jpeg, "JPEG").size() != frameSize)
            return false;
    }
    return true;
}

void search_samples(benchmark::State &state)
{
    const Clip *clip = ready(state, &tenMinutes);
    if (!clip)
        return;
    const auto first = FrameExtractor::extractTimestampedFrames(clip->path, searchInterval, searchCap);
    if (!rightSamples(first, clip->seconds)) {
        state.SkipWithError("extractTimestampedFrames did not give a frame every 2 s");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameExtractor::extractTimestampedFrames(clip->path, searchInterval, searchCap));
    state.counters["frames"] = double(first.size());
    framesPerSecond(state, int(first.size()));
}

// The one-pass way a script samples a clip: the fps filter picks a frame every 2 s while the whole
// clip is decoded. The JPEGs go down a pipe into /dev/null, so that 300 file writes are not timed.
void search_samples_anchor_ffmpeg(benchmark::State &state)
{
    const Clip *clip = ready(state, &tenMinutes);
    if (!clip)
        return;
    for (auto _ : state) {
        if (!ffmpeg({u"-i"_s, clip->path, u"-vf"_s, u"fps=1/2,"_s + scaleFilter, u"-f"_s,
                     u"image2pipe"_s, u"-c:v"_s, u"mjpeg"_s, u"-q:v"_s, u"5"_s, u"-"_s})) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
}

bool rightMontage(const std::optional<Montage> &montage)
{
    return montage && montage->columns == 3 && montage->rows == 2 && montage->frameCount == itemFrames
        && QImage::fromData(montage->jpeg, "JPEG").size() == montageSize;
}

void montage(benchmark::State &state)
{
    const Clip *clip = ready(state, &minute);
    if (!clip)
        return;
    const QList<QByteArray> frames = FrameExtractor::extractFrames(clip->path, itemFrames);
    if (!rightFrames(frames, *clip) || !rightMontage(FrameMontage::compose(frames, montageQuality))) {
        state.SkipWithError("compose did not give a 3 × 2 montage of the six frames");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameMontage::compose(frames, montageQuality));
}

// One item as naming handles it, its six frames then the montage of them, in a fresh copy of this
// program. The rise above the start counts every page the item touches, library code included, as
// the system sees it.
void item_peak_memory(benchmark::State &state)
{
    if (const auto clip = Bench::FreshCopy::input()) {
        Bench::FreshCopy::report([&] {
            const auto montage = FrameMontage::compose(FrameExtractor::extractFrames(*clip, itemFrames), montageQuality);
            // Checked cheaply: decoding the montage here would add to the peak being measured.
            return montage && montage->frameCount == itemFrames;
        });
    }
    const Clip *clip = ready(state, &minute);
    if (!clip)
        return;
    std::optional<Bench::FreshCopy::Memory> memory;
    for (auto _ : state)
        memory = Bench::FreshCopy::measure(u"item_peak_memory"_s, clip->path);
    if (!memory) {
        state.SkipWithError("the measuring copy failed");
        return;
    }
    state.counters["peak_MiB"] = double(memory->peakKiB - memory->startKiB) / 1024;
    state.counters["start_MiB"] = double(memory->startKiB) / 1024;
}

} // namespace

BENCHMARK_CAPTURE(item_frames, clip_60s, &minute)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(item_frames_anchor_ffmpeg, clip_60s, &minute)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(item_frames, clip_10min, &tenMinutes)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(item_frames_anchor_ffmpeg, clip_10min, &tenMinutes)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(search_samples)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(search_samples_anchor_ffmpeg)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(montage)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(item_peak_memory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

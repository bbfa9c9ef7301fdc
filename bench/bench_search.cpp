// The video search end to end against a model that answers at once, beside the sampling alone on
// the same ten-minute clip; and, while 200 one-minute clips are searched, how high memory climbs,
// where the waiting frames go and how long the first question waits.

#include "BenchSupport.h"
#include "FrameExtractor.h"
#include "FreshCopy.h"
#include "InstantOllama.h"
#include "PerUserFolder.h"
#include "SearchEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>


#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr double longInterval = 2;
constexpr double shortInterval = 1;
constexpr int shortClips = 200;
constexpr double shortSeconds = 60;

bool ffmpeg(const QStringList &arguments)
{
    return Bench::runTool(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-nostdin"_s} + arguments);
}

// 1080p at 30 frames a second in BT.709 with B-frames, as phones record; a key frame every `gop`.
bool encode(const QString &path, double seconds, int gop)
{
    return ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=size=1920x1080:rate=30"_s, u"-t"_s, QString::number(seconds),
                   u"-vf"_s, u"format=rgb24,scale=out_color_matrix=bt709"_s, u"-c:v"_s, u"libx264"_s, u"-preset"_s,
                   u"superfast"_s, u"-g"_s, QString::number(gop), u"-keyint_min"_s, QString::number(gop),
                   u"-sc_threshold"_s, u"0"_s, u"-bf"_s, u"2"_s, u"-pix_fmt"_s, u"yuv420p"_s, u"-colorspace"_s,
                   u"bt709"_s, u"-color_primaries"_s, u"bt709"_s, u"-color_trc"_s, u"bt709"_s, path});
}

// A minute encoded once and joined ten times without re-encoding: ten minutes in seconds.
QString makeTenMinutes()
{
    const QString minute = Bench::scratchPath(u"minute.mp4"_s), list = Bench::scratchPath(u"ten.txt"_s),
                  path = Bench::scratchPath(u"ten-minutes.mp4"_s);
    QFile file(list);
    if (!encode(minute, 60, 60) || !file.open(QIODevice::WriteOnly) || !file.write(QByteArray("file 'minute.mp4'\n").repeated(10)))
        return {};
    file.close();
    return ffmpeg({u"-f"_s, u"concat"_s, u"-i"_s, list, u"-c"_s, u"copy"_s, path}) ? path : QString();
}

const QString &tenMinutes()
{
    static const QString path = makeTenMinutes();
    return path;
}

// One short clip under 200 names, each its own entry of the search.
QStringList makeShortClips()
{
    const QString clip = Bench::scratchPath(u"short.mp4"_s), folder = Bench::scratchPath(u"clips"_s);
    if (!encode(clip, shortSeconds, 30) || !QDir().mkpath(folder))
        return {};
    QStringList clips;
    for (int i = 0; i < shortClips; ++i) {
        clips << u"%1/clip-%2.mp4"_s.arg(folder).arg(i, 3, 10, QLatin1Char('0'));
        if (!QFile::link(clip, clips.last()))
            return {};
    }
    return clips;
}

SearchRequest requestTo(const Bench::InstantOllama &model, const QStringList &videos, double interval)
{
    SearchRequest request;
    request.vision = {VisionEngine::ollama, model.url(), {}, u"qwen2.5vl:7b"_s};
    request.videos = videos;
    request.query = u"石桥"_s;
    request.interval = interval;
    request.scratchFolder = QFileInfo(Bench::scratchPath(u"spool"_s)).path();
    return request;
}

void framesPerSecond(benchmark::State &state, qsizetype frames)
{
    state.counters["frames"] = double(frames);
    state.counters["frames_per_s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsIterationInvariantRate);
}

// Seconds per run of the sampling alone, for the search to be compared with.
double samplingSeconds = 0;

void sampling_alone(benchmark::State &state)
{
    if (tenMinutes().isEmpty()) {
        state.SkipWithError("could not make the clip");
        return;
    }
    qsizetype frames = 0;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        frames = FrameExtractor::extractTimestampedFrames(tenMinutes(), longInterval, SearchEngine::maxFramesPerVideo).size();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    samplingSeconds = total / double(state.iterations());
    framesPerSecond(state, frames);
}

void search_end_to_end(benchmark::State &state)
{
    const Bench::InstantOllama model(R"({"caption":"石桥","hit":true,"score":80})");
    if (tenMinutes().isEmpty() || !model.listening()) {
        state.SkipWithError("could not make the clip or the model");
        return;
    }
    const SearchRequest request = requestTo(model, {tenMinutes()}, longInterval);
    qsizetype hits = 0;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = SearchEngine::searchVideos(request, {});
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!result || result->failedFrames > 0) {
            state.SkipWithError("the search failed");
            return;
        }
        hits = result->hits.size();
    }
    framesPerSecond(state, hits); // every frame is a hit
    if (samplingSeconds > 0)
        state.counters["over_sampling_pct"] = (total / double(state.iterations()) / samplingSeconds - 1) * 100;
}

// Searches the clips of the folder in a fresh copy of this program.
void search_200_clips_peak_memory(benchmark::State &state)
{
    if (const auto folder = Bench::FreshCopy::input()) {
        const Bench::InstantOllama model(R"({"caption":"空镜","hit":false,"score":0})");
        QStringList clips;
        for (const QString &name : QDir(*folder).entryList(QDir::Files, QDir::Name))
            clips << QDir(*folder).filePath(name);
        Bench::FreshCopy::report([&] {
            const auto result = SearchEngine::searchVideos(requestTo(model, clips, shortInterval), {});
            return model.listening() && clips.size() == shortClips && result && result->failedFrames == 0;
        });
    }
    const QStringList clips = makeShortClips();
    if (clips.isEmpty()) {
        state.SkipWithError("could not make the clips");
        return;
    }
    // What holding every sampled frame in memory until the questions begin would take.
    qint64 held = 0;
    for (const auto &frame : FrameExtractor::extractTimestampedFrames(clips[0], shortInterval, SearchEngine::maxFramesPerVideo))
        held += frame.jpeg.size();
    std::optional<Bench::FreshCopy::Memory> memory;
    for (auto _ : state)
        memory = Bench::FreshCopy::measure(u"search_200_clips_peak_memory"_s, QFileInfo(clips[0]).path());
    if (!memory) {
        state.SkipWithError("the measuring copy failed");
        return;
    }
    state.counters["peak_MiB"] = double(memory->peakKiB) / 1024;
    state.counters["start_MiB"] = double(memory->startKiB) / 1024;
    state.counters["frames_held_before_MiB"] = double(held) * shortClips / (1024 * 1024);
}

qint64 bytesUnder(const QString &folder)
{
    qint64 bytes = 0;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        bytes += it.nextFileInfo().size();
    return bytes;
}

// The 200 clips searched where the program puts its frames: the session's runtime folder, often
// a small RAM disk, should not grow; the frames wait in the cache folder on disk instead.
void search_200_clips_spool_and_first_question(benchmark::State &state)
{
    const QString runtime = Bench::scratchPath(u"runtime"_s), cache = Bench::scratchPath(u"cache"_s);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    qputenv("XDG_CACHE_HOME", cache.toUtf8());
    const QStringList clips = makeShortClips();
    const Bench::InstantOllama model(R"({"caption":"空镜","hit":false,"score":0})");
    const std::optional<QString> spoolFolder = perUserCacheFolder();
    if (clips.isEmpty() || !model.listening() || !spoolFolder) {
        state.SkipWithError("could not make the clips, the model or the cache folder");
        return;
    }
    SearchRequest request = requestTo(model, clips, shortInterval);
    request.scratchFolder = *spoolFolder;
    for (auto _ : state) {
        const qint64 runtimeBefore = bytesUnder(runtime);
        std::atomic<qint64> runtimePeak = runtimeBefore, cachePeak = 0;
        std::atomic<bool> searching = true;
        std::thread watch([&] {
            while (searching) {
                runtimePeak = std::max(runtimePeak.load(), bytesUnder(runtime));
                cachePeak = std::max(cachePeak.load(), bytesUnder(cache));
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
        });
        const auto start = std::chrono::steady_clock::now();
        const auto result = SearchEngine::searchVideos(request, {});
        const auto end = std::chrono::steady_clock::now();
        searching = false;
        watch.join();
        const auto first = model.firstQuestion();
        if (!result || result->failedFrames > 0 || !first) {
            state.SkipWithError("the search failed");
            return;
        }
        state.counters["runtime_folder_peak_growth_KiB"] = double(runtimePeak - runtimeBefore) / 1024;
        state.counters["spool_peak_MiB"] = double(cachePeak) / (1024 * 1024);
        state.counters["first_question_s"] = std::chrono::duration<double>(*first - start).count();
        state.counters["whole_search_s"] = std::chrono::duration<double>(end - start).count();
    }
}

} // namespace

BENCHMARK(sampling_alone)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(search_end_to_end)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(search_200_clips_peak_memory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(search_200_clips_spool_and_first_question)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

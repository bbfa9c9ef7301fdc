// The analysis run's own cost, with a model that answers at once: 100 clips of 30 s 1080p and 100
// photos of 12 megapixels through AppModel::analyzeAll, and the stages one by one on one file of
// each kind (frames, montage, the HTTP request), to see where the time goes.

#include "AppModel.h"
#include "BenchSupport.h"
#include "FrameExtractor.h"
#include "FrameMontage.h"
#include "InstantOllama.h"
#include "OllamaClient.h"
#include "PromptBuilder.h"


#include <benchmark/benchmark.h>

namespace {

constexpr int filesOfEachKind = 100;

Bench::InstantOllama &model()
{
    static Bench::InstantOllama instant(R"({"content":"石桥流水","location":"上里古镇"})");
    return instant;
}

QString makeClip()
{
    const QString clip = Bench::scratchPath(QStringLiteral("seed.mp4"));
    // A phone's GOP of about a second, so frames are found by seeking as in real footage.
    Bench::runTool(QStringLiteral("ffmpeg"),
                   {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30", "-t", "30",
                    "-c:v", "libx264", "-preset", "veryfast", "-g", "30", "-pix_fmt", "yuv420p", clip});
    return clip;
}

QString makePhoto()
{
    const QString photo = Bench::scratchPath(QStringLiteral("seed.jpg"));
    Bench::photoLikePicture(QSize(4000, 3000)).save(photo, "JPEG", 90);
    return photo;
}

const QString &clip()
{
    static const QString made = makeClip();
    return made;
}

const QString &photo()
{
    static const QString made = makePhoto();
    return made;
}

void analyzeAll(benchmark::State &state, const QString &(*seed)(), const char *folder)
{
    const QStringList files = Bench::copies(seed(), QString::fromLatin1(folder), filesOfEachKind);
    const QString settings = Bench::scratchPath(QStringLiteral("settings/Orvane.json"));
    for (auto _ : state) {
        state.PauseTiming();
        AppModel app(settings);
        app.settings().mediaTargetRaw = QStringLiteral("both");
        app.settings().ollamaEndpoint = model().url().toString();
        app.addFiles(files);
        Bench::waitUntil([&] { return !app.isImporting(); });
        state.ResumeTiming();

        app.analyzeAll();
        Bench::waitUntil([&] { return !app.isBusy(); });
    }
    state.counters["items_per_s"] = benchmark::Counter(double(files.size()) * double(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.counters["s_per_item"] = benchmark::Counter(double(files.size()) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void frames(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameExtractor::extractFrames(clip(), 4));
}

void photoImage(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameExtractor::extractImage(photo(), 1280));
}

void montage(benchmark::State &state)
{
    const QList<QByteArray> four = FrameExtractor::extractFrames(clip(), 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameMontage::compose(four, 0.8));
}

void request(benchmark::State &state)
{
    const std::optional<Montage> grid = FrameMontage::compose(FrameExtractor::extractFrames(clip(), 4), 0.8);
    const OllamaClient client(model().url(), QStringLiteral("qwen2.5vl:7b"));
    const QString prompt = PromptBuilder::build(grid->columns, grid->rows, PromptBuilder::Media::video);
    for (auto _ : state)
        benchmark::DoNotOptimize(client.analyze({grid->jpeg}, prompt));
}

} // namespace

BENCHMARK_CAPTURE(analyzeAll, clips_30s_1080p, &clip, "clips")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(analyzeAll, photos_12mp, &photo, "photos")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(frames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(photoImage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(montage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(request)->Unit(benchmark::kMillisecond)->UseRealTime();

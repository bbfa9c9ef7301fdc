// Importing a folder of 10,000 files (half JPEG photos with EXIF dates, half short clips) with the
// target "both", beside reading the same capture dates alone. Also how long the main thread's event
// loop is kept from running during the import.

#include "AppModel.h"
#include "BenchSupport.h"
#include "FrameExtractor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <benchmark/benchmark.h>

namespace {

constexpr int filesOfEachKind = 5000;

struct Folder
{
    QString path;
    QStringList photos;
    QStringList clips;
};

// One tagged photo and one tagged clip, copied into nested shoot folders.
Folder makeFolder()
{
    const QString photo = Bench::scratchPath(QStringLiteral("seed.jpg"));
    const QString clip = Bench::scratchPath(QStringLiteral("seed.mp4"));
    if (!Bench::photoLikePicture(QSize(160, 120)).save(photo)
        || !Bench::runTool(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                        QStringLiteral("-DateTimeOriginal=2024:05:01 14:30:15"), photo})
        || !Bench::runTool(QStringLiteral("ffmpeg"),
                           {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                            QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=size=64x48:rate=10"),
                            QStringLiteral("-t"), QStringLiteral("1"), QStringLiteral("-metadata"),
                            QStringLiteral("creation_time=2024-05-01T06:30:15.000000Z"), clip}))
        return {};
    Folder folder{Bench::scratchPath(QStringLiteral("library")), {}, {}};
    for (int i = 0; i < filesOfEachKind; ++i) {
        const QString shoot = QStringLiteral("%1/2024/成都/shoot%2").arg(folder.path).arg(i / 500);
        QDir().mkpath(shoot);
        folder.photos << QStringLiteral("%1/IMG_%2.JPG").arg(shoot).arg(i, 4, 10, QLatin1Char('0'));
        folder.clips << QStringLiteral("%1/CLIP_%2.MOV").arg(shoot).arg(i, 4, 10, QLatin1Char('0'));
        if (!QFile::copy(photo, folder.photos.last()) || !QFile::copy(clip, folder.clips.last()))
            return {};
    }
    return folder;
}

const Folder &folder()
{
    static const Folder made = makeFolder();
    return made;
}

void import_10k_files(benchmark::State &state)
{
    if (folder().path.isEmpty()) {
        state.SkipWithError("could not make the folder");
        return;
    }
    double longestStall = 0;
    for (auto _ : state) {
        AppModel model(Bench::scratchPath(QStringLiteral("settings/Orvane.json")));
        model.settings().mediaTargetRaw = QStringLiteral("both");
        QEventLoop loop;
        QObject::connect(&model, &AppModel::importFinished, &loop, &QEventLoop::quit);
        // A timer that should fire every 5 ms: how late it comes is how long the window would freeze.
        constexpr qint64 tick = 5;
        QElapsedTimer sinceTick;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            longestStall = std::max(longestStall, double(sinceTick.restart() - tick));
        });
        heartbeat.start(tick);
        sinceTick.start();
        model.addFiles({folder().path});
        loop.exec();
        if (model.items().size() != 2 * filesOfEachKind) {
            state.SkipWithError("the import did not add every file");
            return;
        }
    }
    state.counters["longest_stall_ms"] = longestStall;
}

void read_dates_alone(benchmark::State &state)
{
    if (folder().path.isEmpty()) {
        state.SkipWithError("could not make the folder");
        return;
    }
    const bool allCores = state.range(0) != 0;
    for (auto _ : state) {
        const auto photoDate = [](const QString &path) { benchmark::DoNotOptimize(FrameExtractor::photoCreationDate(path)); };
        const auto clipDate = [](const QString &path) { benchmark::DoNotOptimize(FrameExtractor::creationDate(path)); };
        if (allCores) {
            QtConcurrent::blockingMap(folder().photos, photoDate);
            QtConcurrent::blockingMap(folder().clips, clipDate);
        } else {
            std::for_each(folder().photos.begin(), folder().photos.end(), photoDate);
            std::for_each(folder().clips.begin(), folder().clips.end(), clipDate);
        }
    }
}

} // namespace

BENCHMARK(import_10k_files)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(read_dates_alone)->ArgName("all_cores")->Arg(1)->Arg(0)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

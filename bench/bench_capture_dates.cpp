// Reading the capture dates of a whole folder of photos, beside exiftool doing the same.

#include "BenchSupport.h"
#include "FrameExtractor.h"

#include <QDir>
#include <QtConcurrent>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

constexpr int photoCount = 5000;

struct Photos
{
    QString folder;
    QStringList files;
};

// Tiny JPEGs: the cost measured is finding and reading the EXIF block, not the pixels.
Photos makePhotos()
{
    const QDir folder(Bench::scratchPath(QStringLiteral("photos")));
    if (!folder.mkpath(QStringLiteral(".")))
        return {};
    QStringList files;
    for (int i = 0; i < photoCount; ++i) {
        const QString file = folder.filePath(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        if (!Bench::photoLikePicture(QSize(64, 48), i).save(file, "JPEG", 85))
            return {};
        files.append(file);
    }
    // One exiftool call for the whole folder; one per file would take many minutes.
    if (!Bench::runTool(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                     QStringLiteral("-DateTimeOriginal=2024:05:01 14:30:15"),
                                                     folder.path()}))
        return {};
    return {folder.path(), files};
}

// The photos, made on first use; nothing, with the benchmark marked failed, when they could not be.
const Photos *photos(benchmark::State &state)
{
    static const Photos made = makePhotos();
    if (made.files.size() == photoCount)
        return &made;
    state.SkipWithError("could not make the photos");
    return nullptr;
}

// A date other than the tagged one means the file's birth time was taken instead: quick, and wrong.
bool allTagged(const QList<std::optional<QDateTime>> &dates)
{
    const QDateTime tagged(QDate(2024, 5, 1), QTime(14, 30, 15));
    return std::all_of(dates.begin(), dates.end(), [&](const auto &date) { return date == tagged; });
}

void ours(benchmark::State &state, bool concurrent)
{
    const Photos *made = photos(state);
    if (!made)
        return;
    const auto readAll = [&] {
        if (concurrent) // QtConcurrent's pool has a thread per core
            return QtConcurrent::blockingMapped(made->files, &FrameExtractor::photoCreationDate);
        QList<std::optional<QDateTime>> dates;
        dates.reserve(photoCount);
        for (const QString &file : made->files)
            dates.append(FrameExtractor::photoCreationDate(file));
        return dates;
    };
    if (!allTagged(readAll())) {
        state.SkipWithError("a photo's EXIF date was not read");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(readAll());
    state.SetItemsProcessed(state.iterations() * photoCount);
}

void anchor_exiftool(benchmark::State &state)
{
    const Photos *made = photos(state);
    if (!made)
        return;
    // -fast2 stops at the image data and skips maker notes: exiftool at its quickest. Its listing
    // goes to /dev/null.
    const QStringList arguments{QStringLiteral("-fast2"), QStringLiteral("-DateTimeOriginal"), QStringLiteral("-r"),
                                made->folder};
    for (auto _ : state) {
        if (!Bench::runTool(QStringLiteral("exiftool"), arguments)) {
            state.SkipWithError("exiftool failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * photoCount);
}

} // namespace

BENCHMARK_CAPTURE(ours, one_thread, false)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ours, all_threads, true)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(anchor_exiftool)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

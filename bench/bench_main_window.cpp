// The main window with 5000 items in its list: the time of one refresh after a change, the
// longest stall of the event loop while an analysis runs with a model that answers at once, and
// renaming the 5000 files and undoing it with the window attached; and the memory an analysed
// list of 5000 photos holds, per item, and after it is cleared.

#include "AppModel.h"
#include "BenchSupport.h"
#include "DecodeMemory.h"
#include "InstantOllama.h"
#include "MainViewController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int itemCount = 5000;

Bench::InstantOllama &instantModel()
{
    static Bench::InstantOllama instant(R"({"content":"石桥流水","location":"上里古镇"})");
    return instant;
}

// 5000 small photos, as many as the list is to hold; small, so the run's own cost shows.
QStringList photos()
{
    static const QStringList made = [] {
        const QString seed = Bench::scratchPath(QStringLiteral("seed-160.jpg"));
        Bench::photoLikePicture(QSize(160, 120)).save(seed, "JPEG", 85);
        return Bench::copies(seed, QStringLiteral("photos"), itemCount);
    }();
    return made;
}

// A shown main window over a model that lists the 5000 photos.
struct ShownWindow
{
    AppModel model{Bench::scratchPath(QStringLiteral("settings/Orvane.json"))};
    QMainWindow window;
    MainViewController *controller = nullptr;

    ShownWindow()
    {
        model.settings().mediaTargetRaw = QStringLiteral("photos");
        model.settings().ollamaEndpoint = instantModel().url().toString();
        model.settings().useGPSGeocoding = false;
        controller = new MainViewController(model);
        window.setCentralWidget(controller);
        window.resize(1000, 680);
        window.show();
        model.addFiles(photos());
        Bench::waitUntil([this] { return !model.isImporting(); }, 1);
        QApplication::processEvents();
    }
};

void refreshAfterAChange(benchmark::State &state)
{
    ShownWindow shown;
    const QUuid id = shown.model.items().first().id; // on screen, so its row is painted again
    int round = 0;
    for (auto _ : state) {
        shown.model.editItem(id, AppModel::EditableField::content, QStringLiteral("内容 %1").arg(++round));
        QApplication::processEvents(); // the queued refresh and the repaint of the row
    }
}

void longestStallDuringAnalysis(benchmark::State &state)
{
    for (auto _ : state) {
        ShownWindow shown;
        qint64 longest = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.nsecsElapsed());
            sinceTick.restart();
        });
        shown.model.analyzeAll();
        sinceTick.start();
        ticker.start();
        Bench::waitUntil([&] { return !shown.model.isBusy(); }, 1);
        state.counters["longest_stall_ms"] = double(longest) / 1e6;
        int analysed = 0;
        for (const VideoItem &item : shown.model.items())
            analysed += item.status == VideoItem::Status::analyzed;
        state.counters["analysed"] = analysed;
    }
}

void renameAndUndoAll(benchmark::State &state)
{
    ShownWindow shown;
    for (auto _ : state) {
        state.PauseTiming();
        for (qsizetype row = 0; row < shown.model.items().size(); ++row) {
            shown.model.mutateItem(shown.model.items()[row].id, [row](VideoItem &item) {
                item.status = VideoItem::Status::analyzed;
                item.proposedName = QStringLiteral("石桥流水_%1").arg(row);
            });
        }
        QApplication::processEvents();
        state.ResumeTiming();

        shown.model.renameAll();
        shown.model.undoLast();
        QApplication::processEvents();
    }
    state.counters["files"] = itemCount;
}

// What a long analysed list costs in memory, per item, and what is left of it once cleared.
void memoryOfAnAnalysedList(benchmark::State &state)
{
    const auto analysed = [](AppModel &model, const QStringList &files) {
        model.settings().mediaTargetRaw = QStringLiteral("photos");
        model.settings().ollamaEndpoint = instantModel().url().toString();
        model.addFiles(files);
        Bench::waitUntil([&] { return !model.isImporting(); }, 1);
        model.analyzeAll();
        Bench::waitUntil([&] { return !model.isBusy(); }, 1);
    };
    for (auto _ : state) {
        AppModel model(Bench::scratchPath(QStringLiteral("settings/Orvane.json")));
        // The empty program has run once: its threads, connections and libraries are all in place.
        analysed(model, photos().mid(0, 20));
        model.clearList();
        QApplication::processEvents();
        const long empty = Bench::statusKiB("VmRSS:");
        analysed(model, photos());
        const long listed = Bench::statusKiB("VmRSS:");
        model.clearList();
        QApplication::processEvents();
        const long cleared = Bench::statusKiB("VmRSS:");
        state.counters["KiB_per_item"] = double(listed - empty) / itemCount;
        state.counters["cleared_over_empty_pct"] = 100.0 * double(cleared - empty) / double(empty);
    }
}

} // namespace

BENCHMARK(memoryOfAnAnalysedList)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(refreshAfterAChange)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(longestStallDuringAnalysis)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(renameAndUndoAll)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Windows want the widgets' application object; offscreen unless a display is chosen.
int main(int argc, char **argv)
{
    keepDecodeBuffersForReuse();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Questions in flight against a service that serves many: an OpenAI-compatible stand-in that
// answers each question after one second and serves at most eight at once. 100 photos analysed
// and a ten-minute clip searched every 2 s (301 questions), each at 1, 4 and 8 questions in
// flight, side by side; then the photos again against a service that turns every third question
// away with 429 and Retry-After: 1.

#include "AppModel.h"
#include "BenchSupport.h"
#include "LocalServer.h"
#include "SearchEngine.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int photoCount = 100;
constexpr int serverLanes = 8;

class BusyService
{
public:
    // Every `turnAway`-th question (from the first) gets 429 at once; 0 turns none away.
    explicit BusyService(int turnAway = 0)
    {
        // One reply that both the naming and the search read.
        const QJsonObject text{{"content", "石桥流水"}, {"location", "古镇"}, {"caption", "石桥"}, {"hit", true}, {"score", 80}};
        const QJsonObject message{{"role", "assistant"}, {"content", QString::fromUtf8(QJsonDocument(text).toJson(QJsonDocument::Compact))}};
        const std::string body = QJsonDocument(QJsonObject{{"choices", QJsonArray{QJsonObject{{"message", message}}}}})
                                     .toJson(QJsonDocument::Compact)
                                     .toStdString();
        m_server.routes().new_task_queue = [] { return new httplib::ThreadPool(serverLanes); };
        m_server.routes().Post("/v1/chat/completions", [this, body, turnAway](const httplib::Request &, httplib::Response &response) {
            if (turnAway > 0 && m_asked++ % turnAway == turnAway - 1) {
                response.status = 429;
                response.set_header("Retry-After", "1");
                return;
            }
            const int now = ++m_inFlight;
            for (int most = m_mostInFlight; now > most && !m_mostInFlight.compare_exchange_weak(most, now);)
                ;
            std::this_thread::sleep_for(std::chrono::seconds(1));
            --m_inFlight;
            response.set_content(body, "application/x-json"); // not compressed by the server
        });
        m_server.start();
    }

    QUrl url() const { return m_server.url(u"/v1"_s); }
    int mostInFlight() const { return m_mostInFlight; }

private:
    std::atomic<int> m_asked = 0, m_inFlight = 0, m_mostInFlight = 0;
    Bench::LocalServer m_server; // last, so it stops before what its handlers use goes
};

const QStringList &photos()
{
    static const QStringList made = [] {
        const QString seed = Bench::scratchPath(u"seed.jpg"_s);
        Bench::photoLikePicture(QSize(4032, 3024)).save(seed, "JPEG", 90);
        return Bench::copies(seed, u"photos"_s, photoCount);
    }();
    return made;
}

const QString &tenMinutes()
{
    static const QString made = [] {
        const QString path = Bench::scratchPath(u"ten-minutes.mp4"_s);
        const bool encoded = Bench::runTool(u"ffmpeg"_s, {"-v", "error", "-nostdin", "-f", "lavfi", "-i",
                                                          "testsrc2=size=1920x1080:rate=30", "-t", "600", "-c:v", "libx264",
                                                          "-preset", "ultrafast", "-g", "60", "-pix_fmt", "yuv420p", path});
        return encoded ? path : QString();
    }();
    return made;
}

// Restarts the kernel's high-water mark, so the peak read afterwards is this run's.
long restartPeak()
{
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    return Bench::statusKiB("VmRSS:");
}

std::map<std::string, double> &singleLaneSeconds()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

void report(benchmark::State &state, const std::string &task, double seconds, long startKiB, const BusyService &service)
{
    const int lanes = int(state.range(0));
    if (lanes == 1)
        singleLaneSeconds()[task] = seconds;
    state.counters["seconds"] = seconds;
    if (const auto single = singleLaneSeconds().find(task); single != singleLaneSeconds().end())
        state.counters["speedup"] = single->second / seconds;
    state.counters["peak_growth_MiB"] = double(Bench::statusKiB("VmHWM:") - startKiB) / 1024;
    state.counters["most_in_flight"] = service.mostInFlight();
}

// Analyses the photos at range(0) questions in flight; returns how many failed.
int analysePhotos(benchmark::State &state, const BusyService &service, double &seconds)
{
    AppModel app(Bench::scratchPath(u"settings-%1/Orvane.json"_s.arg(state.range(0))));
    app.settings().mediaTargetRaw = u"photos"_s;
    app.settings().engineRaw = u"openai"_s;
    app.settings().openAIBaseURL = service.url().toString();
    app.settings().usePathPlace = false;
    app.settings().requestConcurrency = int(state.range(0));
    app.addFiles(photos());
    Bench::waitUntil([&] { return !app.isImporting(); });
    const auto start = std::chrono::steady_clock::now();
    app.analyzeAll();
    Bench::waitUntil([&] { return !app.isBusy(); });
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return int(std::ranges::count_if(app.items(), [](const VideoItem &item) { return item.status != VideoItem::Status::analyzed; }));
}

void analysis_100_photos(benchmark::State &state)
{
    photos();
    for (auto _ : state) {
        const BusyService service;
        const long start = restartPeak();
        double seconds = 0;
        const int failed = analysePhotos(state, service, seconds);
        report(state, "analysis", seconds, start, service);
        state.counters["failed_items"] = failed;
    }
}

void search_10_minutes_every_2s(benchmark::State &state)
{
    if (tenMinutes().isEmpty()) {
        state.SkipWithError("could not make the clip");
        return;
    }
    for (auto _ : state) {
        const BusyService service;
        SearchRequest request;
        request.vision = {VisionEngine::openAI, service.url(), {}, u"m"_s};
        request.videos = {tenMinutes()};
        request.query = u"石桥"_s;
        request.interval = 2;
        request.concurrency = int(state.range(0));
        request.scratchFolder = QFileInfo(Bench::scratchPath(u"spool"_s)).path();
        const long start = restartPeak();
        const auto began = std::chrono::steady_clock::now();
        const auto result = SearchEngine::searchVideos(request, {});
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        if (!result) {
            state.SkipWithError("the search failed");
            return;
        }
        report(state, "search", seconds, start, service);
        state.counters["questions"] = double(result->hits.size() + result->failedFrames);
    }
}

void analysis_turned_away_every_third(benchmark::State &state)
{
    photos();
    for (auto _ : state) {
        const BusyService service(3);
        double seconds = 0;
        state.counters["failed_items"] = analysePhotos(state, service, seconds);
        state.counters["seconds"] = seconds;
    }
}

} // namespace

BENCHMARK(analysis_100_photos)->Arg(1)->Arg(4)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(search_10_minutes_every_2s)->Arg(1)->Arg(4)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(analysis_turned_away_every_third)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The video search end to end against a model that answers at once, beside the sampling alone on
// the same ten-minute clip; and how high memory climbs while 200 short clips are searched.

#include "BenchSupport.h"
#include "FrameExtractor.h"
#include "SearchEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr double longInterval = 2;
constexpr double shortInterval = 1;
constexpr int shortClips = 200;
constexpr double shortSeconds = 20;

// Answers every request at once with the same reply, over plain sockets: the figures are then
// the search's own cost and not a model's.
class InstantModel
{
public:
    explicit InstantModel(bool hit)
    {
        const std::string reply = hit ? R"({\"caption\":\"石桥\",\"hit\":true,\"score\":80})"
                                      : R"({\"caption\":\"空镜\",\"hit\":false,\"score\":0})";
        const std::string body = R"({"model":"m","response":")" + reply + R"(","done":true})";
        m_answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: "
            + std::to_string(body.size()) + "\r\n\r\n" + body;
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_listener, 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~InstantModel()
    {
        // Wakes the accept() so the thread can end.
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }

    bool listening() const { return m_port > 0; }
    QUrl url() const { return QUrl(u"http://127.0.0.1:%1/"_s.arg(m_port)); }

private:
    void serve()
    {
        while (true) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            if (readRequest(client)) {
                for (size_t sent = 0; sent < m_answer.size();) {
                    const ssize_t n = ::send(client, m_answer.data() + sent, m_answer.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    sent += size_t(n);
                }
            }
            ::close(client);
        }
    }

    // Reads one request through to the end of its body.
    static bool readRequest(int client)
    {
        std::string data;
        char buffer[65536];
        size_t headerEnd = std::string::npos, needed = 0;
        while (headerEnd == std::string::npos || data.size() < needed) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            data.append(buffer, size_t(n));
            if (headerEnd == std::string::npos && (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
                const QByteArray headers = QByteArray::fromStdString(data.substr(0, headerEnd)).toLower();
                const qsizetype at = headers.indexOf("content-length:");
                const qsizetype lineEnd = headers.indexOf('\r', at);
                needed = headerEnd + 4 + (at < 0 ? 0 : headers.mid(at + 15, lineEnd - at - 15).trimmed().toULongLong());
            }
        }
        return true;
    }

    int m_listener = -1;
    int m_port = 0;
    std::string m_answer;
    std::thread m_thread;
};

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

SearchRequest requestTo(const InstantModel &model, const QStringList &videos, double interval)
{
    SearchRequest request;
    request.engineRaw = u"ollama"_s;
    request.ollamaURL = model.url();
    request.model = u"qwen2.5vl:7b"_s;
    request.videos = videos;
    request.query = u"石桥"_s;
    request.interval = interval;
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
    const InstantModel model(true);
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

long statusKiB(const std::string &field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field))
            return std::stol(line.substr(field.size()));
    }
    return -1;
}

// The copy of this program that measures learns the clips' folder, and where to write, from these.
constexpr char clipsVariable[] = "ORVANE_BENCH_SEARCH_CLIPS";
constexpr char reportVariable[] = "ORVANE_BENCH_SEARCH_REPORT";

// In that copy: restarts the kernel's high-water mark once everything is loaded, searches the
// clips, and writes the peak resident memory, then the start, in KiB.
[[noreturn]] void measureSearch(const QString &folder, const QString &report)
{
    const InstantModel model(false);
    QStringList clips;
    for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name))
        clips << QDir(folder).filePath(name);
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    const bool restarted = clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1 && clearRefs.flush();
    const long start = statusKiB("VmRSS:");
    const auto result = SearchEngine::searchVideos(requestTo(model, clips, shortInterval), {});
    const long peak = statusKiB("VmHWM:");
    QFile out(report);
    const bool written = restarted && model.listening() && clips.size() == shortClips && result
        && result->failedFrames == 0 && out.open(QIODevice::WriteOnly)
        && out.write(QByteArray::number(peak) + ' ' + QByteArray::number(start)) > 0;
    out.close();
    std::exit(written ? EXIT_SUCCESS : EXIT_FAILURE);
}

// In a fresh copy of this program, where no earlier benchmark's freed memory hides the cost.
void search_200_clips_peak_memory(benchmark::State &state)
{
    if (qEnvironmentVariableIsSet(clipsVariable))
        measureSearch(qEnvironmentVariable(clipsVariable), qEnvironmentVariable(reportVariable));
    const QStringList clips = makeShortClips();
    if (clips.isEmpty()) {
        state.SkipWithError("could not make the clips");
        return;
    }
    // What holding every sampled frame in memory until the questions begin would take.
    qint64 held = 0;
    for (const auto &frame : FrameExtractor::extractTimestampedFrames(clips[0], shortInterval, SearchEngine::maxFramesPerVideo))
        held += frame.jpeg.size();
    const QString report = Bench::scratchPath(u"search-memory.txt"_s);
    qputenv(clipsVariable, QFileInfo(clips[0]).path().toLocal8Bit());
    qputenv(reportVariable, report.toLocal8Bit());
    bool measured = true;
    for (auto _ : state) {
        measured = measured
            && Bench::runTool(QCoreApplication::applicationFilePath(), {u"--benchmark_filter=^search_200_clips"_s});
    }
    qunsetenv(clipsVariable);
    qunsetenv(reportVariable);
    QFile file(report);
    const QList<QByteArray> figures = measured && file.open(QIODevice::ReadOnly) ? file.readAll().split(' ')
                                                                                 : QList<QByteArray>();
    if (figures.size() != 2) {
        state.SkipWithError("the measuring copy failed");
        return;
    }
    state.counters["peak_MiB"] = figures[0].toDouble() / 1024;
    state.counters["start_MiB"] = figures[1].toDouble() / 1024;
    state.counters["frames_held_before_MiB"] = double(held) * shortClips / (1024 * 1024);
}

} // namespace

BENCHMARK(sampling_alone)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(search_end_to_end)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(search_200_clips_peak_memory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

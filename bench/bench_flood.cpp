// What a 1 GiB answer costs in memory: to a question to the model, to the download page read for
// updates, and as one endless line of a model download. Each is refused at its cap; what counts
// is how far the resident high-water mark climbs over where it started.

#include "FreshCopy.h"
#include "LocalServer.h"
#include "OllamaClient.h"
#include "UpdateChecker.h"

#include <benchmark/benchmark.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr size_t gibibyte = size_t(1) << 30;

// Answers every path with a gibibyte of 'x' and no line break.
class Flood
{
public:
    Flood()
    {
        const auto flood = [](const httplib::Request &, httplib::Response &response) {
            response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink &sink) {
                static const std::string megabyte(1 << 20, 'x');
                if (offset >= gibibyte) {
                    sink.done();
                    return true;
                }
                return sink.write(megabyte.data(), megabyte.size());
            });
        };
        m_server.routes().Post("/api/generate", flood).Post("/api/pull", flood).Get("/download", flood);
        m_server.start();
    }

    QUrl url(const QString &path = {}) const { return m_server.url(path); }

private:
    Bench::LocalServer m_server;
};

// Measured in a fresh copy of this program, so no earlier benchmark's freed memory hides the cost.
void peakOver(benchmark::State &state, const QString &name, const std::function<bool(const Flood &)> &refused)
{
    if (Bench::FreshCopy::input()) {
        const Flood flood;
        Bench::FreshCopy::report([&] { return refused(flood); });
    }
    for (auto _ : state) {
        const std::optional<Bench::FreshCopy::Memory> memory = Bench::FreshCopy::measure(name, u"flood"_s);
        if (!memory) {
            state.SkipWithError("the flood was taken in, or the copy failed");
            return;
        }
        state.counters["peak_over_start_MiB"] = double(memory->peakKiB - memory->startKiB) / 1024;
    }
}

void question_to_the_model(benchmark::State &state)
{
    peakOver(state, u"question_to_the_model"_s, [](const Flood &flood) { return !OllamaClient(flood.url(), u"m"_s).analyze({"jpeg"}, u"?"_s); });
}

void download_page(benchmark::State &state)
{
    peakOver(state, u"download_page"_s, [](const Flood &flood) { return !UpdateChecker::fetchLatestVersion(flood.url(u"/download"_s)); });
}

void model_download(benchmark::State &state)
{
    peakOver(state, u"model_download"_s, [](const Flood &flood) {
        return !OllamaClient(flood.url(), u"m"_s).pullModel(u"m"_s, [](const QString &) {});
    });
}

} // namespace

BENCHMARK(question_to_the_model)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(download_page)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(model_download)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

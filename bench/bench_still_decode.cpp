// A 24-megapixel camera RAW and a 12-megapixel HEIC, decoded and scaled as naming needs them.

#include "BenchSupport.h"
#include "DngWriter.h"
#include "StillDecoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

constexpr int box = 1280;

QString makeCameraRaw()
{
    const QString path = Bench::scratchPath(QStringLiteral("camera.dng"));
    return Bench::writeBayerDng(path, Bench::photoLikePicture(QSize(6000, 4000))) ? path : QString();
}

QString makeHeic()
{
    const QString png = Bench::scratchPath(QStringLiteral("phone.png"));
    const QString heic = Bench::scratchPath(QStringLiteral("phone.heic"));
    if (!Bench::photoLikePicture(QSize(4032, 3024)).save(png)
        || !Bench::runTool(QStringLiteral("heif-enc"), {QStringLiteral("-q"), QStringLiteral("80"), png,
                                                        QStringLiteral("-o"), heic}))
        return {};
    return heic;
}

const QString &cameraRaw()
{
    static const QString path = makeCameraRaw();
    return path;
}

const QString &heic()
{
    static const QString path = makeHeic();
    return path;
}

// The loader may hand back more than the box (a half-size development, a full HEIC); what naming
// uses is the picture scaled into it.
std::optional<QImage> decodeIntoBox(const QString &path, int *decodedLongSide)
{
    const auto still = StillDecoder::decode(path, box);
    if (!still || still->picture.isNull())
        return std::nullopt;
    *decodedLongSide = std::max(still->picture.width(), still->picture.height());
    if (*decodedLongSide <= box)
        return still->picture;
    return still->picture.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void decode(benchmark::State &state, const QString &(*photo)(), QSize expected)
{
    const QString &path = photo();
    if (path.isEmpty()) {
        state.SkipWithError("could not make the photo");
        return;
    }
    int decodedLongSide = 0;
    const auto first = decodeIntoBox(path, &decodedLongSide);
    if (!first || first->size() != expected) {
        state.SkipWithError("the photo did not decode to the expected size");
        return;
    }
    for (auto _ : state) {
        if (!decodeIntoBox(path, &decodedLongSide)) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    // Shows whether the loader took its cheaper route (half-size development: 3000 for the RAW).
    state.counters["decoded_long_side"] = decodedLongSide;
}

} // namespace

BENCHMARK_CAPTURE(decode, camera_raw_24mp, &cameraRaw, QSize(1280, 853))
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(decode, heic_12mp, &heic, QSize(1280, 960))->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

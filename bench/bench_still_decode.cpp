// A 24-megapixel camera RAW and a 12-megapixel HEIC, decoded and scaled as naming needs them.

#include "BenchSupport.h"
#include "DngWriter.h"
#include "StillDecoder.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>

#include <algorithm>

namespace {

constexpr int box = 1280;

QString makeCameraRaw()
{
    const QString path = Bench::scratchPath(QStringLiteral("camera.dng"));
    return writeBayerDng(path, Bench::photoLikePicture(QSize(6000, 4000))) ? path : QString();
}

QString encodeHeic(const QString &png, const QString &name)
{
    const QString heic = Bench::scratchPath(name);
    if (!Bench::runTool(QStringLiteral("heif-enc"), {QStringLiteral("-q"), QStringLiteral("80"), png,
                                                     QStringLiteral("-o"), heic}))
        return {};
    return heic;
}

// Fine detail everywhere, coded in about 2.8 MB: the size of a real 12-megapixel phone HEIC. HEVC
// decoding time follows the coded size.
QString makeHeic()
{
    const QString png = Bench::scratchPath(QStringLiteral("detail.png"));
    if (!Bench::runTool(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                                   QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                   QStringLiteral("mandelbrot=size=4032x3024:start_scale=1.5"),
                                                   QStringLiteral("-frames:v"), QStringLiteral("1"), png}))
        return {};
    return encodeHeic(png, QStringLiteral("phone.heic"));
}

// Per-pixel grain costs the coder dearly (about 5 MB): the heavy case.
QString makeGrainyHeic()
{
    const QString png = Bench::scratchPath(QStringLiteral("grain.png"));
    if (!Bench::photoLikePicture(QSize(4032, 3024)).save(png))
        return {};
    return encodeHeic(png, QStringLiteral("grain.heic"));
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

const QString &grainyHeic()
{
    static const QString path = makeGrainyHeic();
    return path;
}

// A real phone photo beside the generated ones, when the shared samples are there.
const QString &phoneHeic()
{
    static const QString path = QFileInfo::exists(QStringLiteral(ORVANE_SOURCE_DIR "/../shared/media/heic/iphonex_orient3_gps-w.heic"))
        ? QStringLiteral(ORVANE_SOURCE_DIR "/../shared/media/heic/iphonex_orient3_gps-w.heic")
        : QString();
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
BENCHMARK_CAPTURE(decode, heic_12mp_grain, &grainyHeic, QSize(1280, 960))
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(decode, heic_12mp_iphone_x, &phoneHeic, QSize(1280, 960))
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

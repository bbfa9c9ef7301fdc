#include "BenchSupport.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <random>
#include <vector>

namespace Bench {

QString scratchPath(const QString &name)
{
    static const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "no temporary folder: %s\n", qPrintable(scratch.errorString()));
        std::exit(EXIT_FAILURE);
    }
    return scratch.filePath(name);
}

bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n%s\n", qPrintable(program), qPrintable(process.errorString()),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

QImage photoLikePicture(QSize size, unsigned seed)
{
    const int width = size.width(), height = size.height();
    QImage picture(size, QImage::Format_RGB888);
    if (picture.isNull())
        return picture;
    // Waves made once per column and per row keep a 24-megapixel picture quick to draw.
    const auto waves = [seed](int length, double periods) {
        std::vector<float> wave(length);
        for (int i = 0; i < length; ++i)
            wave[i] = float(30 * std::sin(2 * std::numbers::pi * periods * i / length + seed));
        return wave;
    };
    const std::vector<float> across = waves(width, 3.5), down = waves(height, 2.5);
    std::minstd_rand random(seed);
    const auto channel = [](float v) { return uchar(std::clamp(v, 0.0f, 255.0f)); };
    for (int y = 0; y < height; ++y) {
        uchar *pixel = picture.scanLine(y);
        const float fy = float(y) / height;
        for (int x = 0; x < width; ++x, pixel += 3) {
            const float fx = float(x) / width;
            // Grain shared by the channels, as a phone's denoised output has: colour noise would
            // make the HEIC several times larger than a real one.
            const float grain = float(random() % 5) - 2;
            pixel[0] = channel(70 + 120 * fx + across[x] + grain);
            pixel[1] = channel(60 + 110 * fy + down[y] + grain);
            pixel[2] = channel(90 + 60 * (1 - fx) * fy + across[x] * down[y] / 30 + grain + seed % 40);
        }
    }
    return picture;
}

double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    const QImage left = a.convertToFormat(QImage::Format_RGB888), right = b.convertToFormat(QImage::Format_RGB888);
    double total = 0;
    for (int y = 0; y < left.height(); ++y) {
        const uchar *p = left.constScanLine(y), *q = right.constScanLine(y);
        for (int i = 0; i < left.width() * 3; ++i)
            total += std::abs(int(p[i]) - int(q[i]));
    }
    return total / (double(left.width()) * left.height() * 3);
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

QStringList copies(const QString &seed, const QString &folder, int count)
{
    const QString root = scratchPath(folder);
    QDir().mkpath(root);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << QStringLiteral("%1/IMG_%2.%3").arg(root).arg(i, 4, 10, QLatin1Char('0')).arg(QFileInfo(seed).suffix());
        if (!QFile::exists(files.last()))
            QFile::copy(seed, files.last());
    }
    return files;
}

void waitUntil(const std::function<bool()> &done, int pollMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(pollMs);
    loop.exec();
}

} // namespace Bench

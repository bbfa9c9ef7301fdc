#include "Fixtures.h"

#include "Files.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <array>
#include <cmath>

Fixtures::Fixtures()
{
    EXPECT_TRUE(m_dir.isValid());
}

void Fixtures::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(120'000);
    ASSERT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << " " << arguments.join(' ').toStdString() << "\n"
        << process.readAll().toStdString();
}

QString Fixtures::video(const QString &name, const QString &source, double seconds, const QStringList &codecArguments)
{
    const QString out = path(name);
    QDir().mkpath(QFileInfo(out).path());
    run("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i", source, "-t", QString::number(seconds)}
                      + codecArguments + QStringList{out});
    return out;
}

QString Fixtures::indexedVideo(const QString &name, double seconds, const QStringList &codecArguments)
{
    return video(name, "nullsrc=size=64x48:rate=10,format=yuv420p,geq=lum='16+3*N':cb=128:cr=128", seconds,
                 QStringList{"-g", "50", "-keyint_min", "50", "-sc_threshold", "0"} + codecArguments);
}

QString Fixtures::picture(const QString &name, const QImage &image, const char *format)
{
    const QString out = path(name);
    QDir().mkpath(QFileInfo(out).path());
    EXPECT_TRUE(image.save(out, format, 95)) << out.toStdString();
    return out;
}

void Fixtures::tag(const QString &file, const QStringList &exiftoolAssignments)
{
    run("exiftool", QStringList{"-q", "-q", "-overwrite_original"} + exiftoolAssignments + QStringList{file});
}

QString Fixtures::text(const QString &name, const QByteArray &content)
{
    return Files::write(path(name), content);
}

namespace {

const std::array<QColor, 4> quadrantColours{QColor(220, 30, 30), QColor(30, 200, 30), QColor(30, 30, 220),
                                            QColor(240, 240, 240)};

QPoint centreOf(Quadrant q, QSize size)
{
    const bool right = q == Quadrant::TopRight || q == Quadrant::BottomRight;
    const bool bottom = q == Quadrant::BottomLeft || q == Quadrant::BottomRight;
    return QPoint(size.width() * (right ? 3 : 1) / 4, size.height() * (bottom ? 3 : 1) / 4);
}

} // namespace

QImage quadrantPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, quadrantColours[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)]);
    return image;
}

Quadrant storedQuadrantSeenAt(const QImage &picture, Quadrant where)
{
    const QColor seen = picture.pixelColor(centreOf(where, picture.size()));
    const auto distance = [&](const QColor &c) {
        return std::hypot(std::hypot(seen.red() - c.red(), seen.green() - c.green()), seen.blue() - c.blue());
    };
    const auto nearest = std::ranges::min_element(quadrantColours, {}, distance);
    return static_cast<Quadrant>(nearest - quadrantColours.begin());
}

int frameIndexOf(const QImage &picture)
{
    // The decoder turns limited-range luma Y into RGB (Y − 16) · 255 / 219.
    const double grey = picture.pixelColor(picture.width() / 2, picture.height() / 2).green();
    const double luma = grey * 219.0 / 255.0 + 16.0;
    return static_cast<int>(std::lround((luma - 16.0) / 3.0));
}

QString sharedMedia(const QString &relativePath)
{
    const QString file = QDir(QStringLiteral(ORVANE_SOURCE_DIR "/../shared/media")).filePath(relativePath);
    return QFileInfo::exists(file) ? QFileInfo(file).canonicalFilePath() : QString();
}

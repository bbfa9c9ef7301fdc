#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Media made at test time with the real tools (ffmpeg, exiftool, heif-enc) inside one temporary
// folder per test.
class Fixtures
{
public:
    Fixtures();

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Runs a tool to completion; a failing tool fails the test with its output.
    static void run(const QString &program, const QStringList &arguments);

    // Encodes a clip from a lavfi source description ("testsrc=size=64x64:rate=10").
    QString video(const QString &name, const QString &source, double seconds, const QStringList &codecArguments = {});

    // A clip whose frame N is a flat grey of luma 16 + 3·N, 10 frames a second, a key frame only
    // every 5 s and B-frames: the frame on screen at any time can be read back from its colour.
    // Luma tops out at 235, so clips stay under 7.3 s.
    QString indexedVideo(const QString &name, double seconds, const QStringList &codecArguments);

    QString picture(const QString &name, const QImage &image, const char *format = nullptr);
    void tag(const QString &file, const QStringList &exiftoolAssignments);

    QString text(const QString &name, const QByteArray &content);

private:
    QTemporaryDir m_dir;
};

// Four flat quadrants, each its own colour, so any turn or mirror can be read back.
QImage quadrantPicture(int width, int height);

enum class Quadrant { TopLeft, TopRight, BottomLeft, BottomRight };
// The quadrant colour of quadrantPicture() nearest to the picture's colour in that quadrant.
Quadrant storedQuadrantSeenAt(const QImage &picture, Quadrant where);

// Frame index of a picture from Fixtures::indexedVideo().
int frameIndexOf(const QImage &picture);

// The real camera and phone files beside the project; empty when they are not there.
QString sharedMedia(const QString &relativePath);

#define SKIP_WITHOUT_SHARED_MEDIA(path)                                                                     \
    if ((path).isEmpty())                                                                                 \
    GTEST_SKIP() << "../shared/media is not present; real camera files not tested"

// Readable failure messages for the Qt values the tests compare.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << "[" << list.join(" | ").toStdString() << "]";
}
inline void PrintTo(const QDateTime &date, std::ostream *out)
{
    *out << date.toString(Qt::ISODateWithMs).toStdString();
}
inline void PrintTo(const QSize &size, std::ostream *out)
{
    *out << size.width() << "x" << size.height();
}

#include "Files.h"
#include "Fixtures.h"
#include "PeakMemory.h"

#include "DecodeMemory.h"
#include "FilePath.h"
#include "FrameExtractor.h"
#include "StillDecoder.h"
#include "VideoFile.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

QString truncatedCopy(Fixtures &f, const QString &source, const QString &name, double keep)
{
    const QByteArray bytes = Files::read(source);
    return f.text(name, bytes.left(static_cast<qsizetype>(bytes.size() * keep)));
}

QString goodClip(Fixtures &f)
{
    return f.video("good.mp4", "testsrc=size=64x48:rate=10", 2, {"-c:v", "libx264"});
}

// Files that are empty, cut short, misnamed or without pictures give nothing: never a crash, never
// a hang, never an error passed off as a picture.
TEST(BadInput, GivesNothing)
{
    const std::pair<const char *, std::function<QString(Fixtures &)>> badFiles[] = {
        {"TextNamedHeic", [](Fixtures &f) { return f.text("photo.heic", "not a picture either\n"); }},
        {"TextNamedRaw", [](Fixtures &f) { return f.text("photo.cr3", "not a picture either\n"); }},
        {"EmptyPhoto", [](Fixtures &f) { return f.text("empty.jpg", {}); }},
        {"TruncatedClip", [](Fixtures &f) { return truncatedCopy(f, goodClip(f), "cut.mp4", 0.5); }},
        {"TruncatedPhotoHeader", [](Fixtures &f) { return truncatedCopy(f, f.picture("good.jpg", quadrantPicture(256, 256)), "cut.jpg", 0.01); }},
        {"AudioOnly", [](Fixtures &f) { return f.video("audio.m4a", "sine=frequency=440:sample_rate=8000", 1, {"-c:a", "aac"}); }},
        {"Folder", [](Fixtures &f) { return f.path(""); }},
    };
    for (const auto &[name, make] : badFiles) {
        Fixtures fixtures;
        const QString file = make(fixtures);
        const auto video = VideoFile::open(file);
        const bool usable = video && video->duration() > 0 && video->hasVideoTrack();
        EXPECT_FALSE(usable && video->frameAt(0.5)) << "a picture came out of " << name;
        EXPECT_FALSE(StillDecoder::decode(file)) << name;
        EXPECT_FALSE(StillDecoder::decode(file, 640, StillDecoder::Loader::Secondary)) << name;
        // Dates fall back to the file itself, never to a made-up one.
        for (const auto &date : {FrameExtractor::creationDate(file), FrameExtractor::photoCreationDate(file)}) {
            EXPECT_LT(date ? std::abs(date->secsTo(QDateTime::currentDateTime())) : 0, 600) << name;
        }
    }
}

// A name that is not valid UTF-8 reaches the file on disk like any other.
TEST(BadInput, NamesThatAreNotUtf8)
{
    Fixtures fixtures;
    const QByteArray folder = QFile::encodeName(fixtures.path(""));
    const QString clip = FilePath::decode(folder + "/clip-\xff\xfe.mp4");
    const QString photo = FilePath::decode(folder + "/photo-\xe9t\xe9.jpg");
    ASSERT_EQ(::rename(QFile::encodeName(goodClip(fixtures)).constData(), FilePath::encode(clip).constData()), 0);
    const QString tagged = fixtures.picture("good.jpg", quadrantPicture(256, 256));
    fixtures.tag(tagged, {"-DateTimeOriginal=2024:05:01 14:30:15"});
    ASSERT_EQ(::rename(QFile::encodeName(tagged).constData(), FilePath::encode(photo).constData()), 0);

    const auto video = VideoFile::open(clip);
    ASSERT_TRUE(video);
    EXPECT_TRUE(video->frameAt(1.0));
    EXPECT_TRUE(StillDecoder::decode(photo));
    EXPECT_EQ(FrameExtractor::photoCreationDate(photo), QDateTime(QDate(2024, 5, 1), QTime(14, 30, 15)));
}

TEST(FilePath, RoundTripsAnyBytes)
{
    const QByteArray names[] = {"/plain/ascii.mov", "/中文/上里古镇.jpg", "/bad/\xff\xfe\x80.mp4", "/cut/\xe4\xb8.jpg",
                                "/overlong/\xc0\xaf.jpg", "/surrogate/\xed\xa0\x80.jpg", "/emoji/\xf0\x9f\x98\x80.png"};
    for (const QByteArray &name : names) {
        EXPECT_EQ(FilePath::encode(FilePath::decode(name)), name) << name.toHex().toStdString();
        if (QString::fromUtf8(name).toUtf8() == name) {
            EXPECT_EQ(FilePath::decode(name), QString::fromUtf8(name)) << "valid UTF-8 reads as Qt reads it";
        }
    }
}

// The buffers kept between photos go back to the system once decoding has ended.
TEST(DecodeMemory, KeptBuffersGoBackWhenAsked)
{
    keepDecodeBuffersForReuse();
    constexpr size_t size = 64 * 1024 * 1024;
    {
        std::vector<char *> blocks;
        for (int i = 0; i < 4; ++i) {
            blocks.push_back(static_cast<char *>(std::malloc(size / 4)));
            std::memset(blocks.back(), 1, size / 4);
        }
        for (char *block : blocks)
            std::free(block);
    }
    const long kept = PeakMemory::statusKiB("VmRSS:");
    returnDecodeBuffers();
    EXPECT_LT(PeakMemory::statusKiB("VmRSS:"), kept - 32 * 1024);
}

} // namespace

#include "Fixtures.h"

#include "FrameExtractor.h"
#include "StillDecoder.h"
#include "VideoFile.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Several files decode at once from worker threads, as the analysis run and the search do, and each
// gets exactly what it gets alone.
TEST(Concurrency, FilesDecodeAtTheSameTime)
{
    Fixtures fixtures;
    const QString clip = fixtures.indexedVideo("index.mp4", 6, {"-c:v", "libx264", "-qp", "0", "-bf", "2"});
    const QString jpeg = fixtures.picture("photo.jpg", quadrantPicture(300, 200));
    fixtures.tag(jpeg, {"-DateTimeOriginal=2024:05:01 14:30:15", "-Orientation#=6"});
    const QString png = fixtures.picture("photo.png", quadrantPicture(300, 200));
    Fixtures::run("heif-enc", {"-q", "80", png, "-o", fixtures.path("photo.heic")});
    const QString heic = fixtures.path("photo.heic");

    std::atomic<int> failures = 0;
    auto worker = [&](int seed) {
        for (int round = 0; round < 6; ++round) {
            const auto video = VideoFile::open(clip);
            const int frame = (seed * 7 + round * 13) % 60;
            const auto picture = video ? video->frameAt(frame / 10.0) : std::nullopt;
            if (!picture || frameIndexOf(*picture) != frame)
                ++failures;
            const auto photo = StillDecoder::decode(jpeg);
            if (!photo || photo->picture.size() != QSize(200, 300))
                ++failures;
            const auto heif = StillDecoder::decode(heic);
            if (!heif || heif->picture.size() != QSize(300, 200))
                ++failures;
            if (FrameExtractor::photoCreationDate(jpeg) != QDateTime(QDate(2024, 5, 1), QTime(14, 30, 15)))
                ++failures;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back(worker, i);
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
}

} // namespace

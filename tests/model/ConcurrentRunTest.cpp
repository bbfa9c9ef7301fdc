#include "FakeVision.h"
#include "Library.h"

#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr int photoCount = 6;

// The photo of item `index` is one flat grey, which the fake model reads back from the picture it
// is sent, so each answer can be traced to its item whatever order the answers come in. Each is
// answered after `delay(index)`, or at once when the model goes.
struct BusyModel
{
    std::atomic<bool> going = false;
    FakeVision vision;

    explicit BusyModel(std::function<std::chrono::milliseconds(int index)> delay)
        : vision([this, delay](const FakeVision::Question &question) {
            const int index = (qGray(QImage::fromData(question.pictures.first()).pixel(4, 4)) + 10) / 40;
            for (const auto end = std::chrono::steady_clock::now() + delay(index); !going && std::chrono::steady_clock::now() < end;)
                std::this_thread::sleep_for(5ms);
            return FakeVision::Answer{200, QStringLiteral(R"({"content":"物品%1","location":""})").arg(index)};
        })
    {
        vision.http.server().new_task_queue = [] { return new httplib::ThreadPool(12); };
        vision.start();
    }
    ~BusyModel() { going = true; }
};

struct Photos : Library
{
    Photos()
        : Library("photos")
    {
        model.settings().requestConcurrency = 3;
        model.settings().usePathPlace = false;
        QStringList files;
        for (int i = 0; i < photoCount; ++i) {
            QImage grey(32, 32, QImage::Format_RGB32);
            grey.fill(qRgb(i * 40, i * 40, i * 40));
            files << fixtures.picture(QStringLiteral("photos/%1.jpg").arg(i), grey);
        }
        import(files);
    }

    void useModel(const BusyModel &busy) { model.settings().ollamaEndpoint = busy.vision.ollamaURL().toString(); }
};

// Three questions at a time, whose answers find their items in whatever order they come. Stopping,
// or closing the application, does not wait for a model that thinks for minutes.
TEST(ConcurrentRun, QuestionsInFlightStayWithinTheChosenNumberAndEndWithTheRun)
{
    std::atomic<bool> thinking = false;
    // Later photos are answered sooner, so the answers overtake each other.
    BusyModel busy([&](int index) { return std::chrono::milliseconds(thinking ? 60000 : 60 * (photoCount - index)); });
    auto photos = std::make_unique<Photos>();
    photos->useModel(busy);
    photos->model.analyzeAll();
    waitUntil([&] { return !photos->model.isBusy(); });
    EXPECT_EQ(busy.vision.http.maxInFlight(), 3);
    for (const VideoItem &item : photos->model.items())
        EXPECT_EQ(item.content, QStringLiteral("物品") + QFileInfo(item.url).baseName()) << item.url.toStdString();

    thinking = true;
    photos->model.analyzeAll();
    waitUntil([&] { return busy.vision.http.inFlight() == 3; });
    photos->model.stopAnalysis();
    waitUntil([&] { return !photos->model.isBusy(); });
    EXPECT_EQ(busy.vision.http.maxInFlight(), 3) << "no question after the stop";
    for (const VideoItem &item : photos->model.items())
        EXPECT_EQ(item.status, VideoItem::Status::analyzed) << "as before the stopped run: " << item.url.toStdString();
    EXPECT_TRUE(photos->model.statusMessage().startsWith("分析已停止：成功 0/6 个，用时 "))
        << photos->model.statusMessage().toStdString();

    photos->model.analyzeAll();
    waitUntil([&] { return busy.vision.http.inFlight() == 6; });
    photos.reset();
    EXPECT_EQ(busy.vision.http.inFlight(), 6) << "closing waited for the answers";
}

} // namespace

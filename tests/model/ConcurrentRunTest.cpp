#include "FakeHttpServer.h"
#include "Library.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr int photoCount = 6;

// The photo of item `index` is one flat grey, which the fake model reads back from the picture it
// is sent, so each answer can be traced to its item whatever order the answers come in.
int indexOfPicture(const std::string &body)
{
    const QJsonObject request = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    const QByteArray jpeg = QByteArray::fromBase64(request["images"].toArray().first().toString().toLatin1());
    return (qGray(QImage::fromData(jpeg).pixel(4, 4)) + 10) / 40;
}

// A fake Ollama that answers each photo after `delay(index)`.
struct BusyModel
{
    FakeHttpServer http;
    std::mutex lock;
    QList<int> arrivals;

    explicit BusyModel(std::function<std::chrono::milliseconds(int index)> delay)
    {
        http.server().new_task_queue = [] { return new httplib::ThreadPool(12); };
        http.server().Post("/api/generate", [this, delay](const httplib::Request &request, httplib::Response &response) {
            const int index = indexOfPicture(request.body);
            {
                const std::lock_guard guard(lock);
                arrivals << index;
            }
            std::this_thread::sleep_for(delay(index));
            const QString reply = QStringLiteral(R"({"content":"物品%1","location":""})").arg(index);
            response.set_content(QJsonDocument(QJsonObject{{"response", reply}, {"done", true}}).toJson().toStdString(),
                                 "application/json");
        });
        http.start();
    }
};

struct Photos : Library
{
    explicit Photos(int concurrency)
        : Library("photos")
    {
        model.settings().requestConcurrency = concurrency;
        model.settings().usePathPlace = false;
        QStringList files;
        for (int i = 0; i < photoCount; ++i) {
            QImage grey(32, 32, QImage::Format_RGB32);
            grey.fill(qRgb(i * 40, i * 40, i * 40));
            files << fixtures.picture(QStringLiteral("photos/%1.jpg").arg(i), grey);
        }
        import(files);
    }

    void useModel(const BusyModel &busy) { model.settings().ollamaEndpoint = busy.http.url(QString()).toString(); }
};

TEST(ConcurrentRun, QuestionsInFlightStayWithinTheChosenNumberAndAnswersFindTheirItems)
{
    for (const int concurrency : {1, 3}) {
        SCOPED_TRACE(concurrency);
        Photos photos(concurrency);
        // Later photos are answered sooner, so with several in flight the answers overtake each other.
        BusyModel busy([](int index) { return std::chrono::milliseconds(60 * (photoCount - index)); });
        photos.useModel(busy);
        photos.model.analyzeAll();
        waitUntil([&] { return !photos.model.isBusy(); });

        EXPECT_EQ(busy.http.maxInFlight(), concurrency);
        if (concurrency == 1) {
            EXPECT_EQ(busy.arrivals, (QList<int>{0, 1, 2, 3, 4, 5}));
        }
        for (const VideoItem &item : photos.model.items()) {
            EXPECT_EQ(item.status, VideoItem::Status::analyzed);
            EXPECT_EQ(item.content, QStringLiteral("物品") + QFileInfo(item.url).baseName()) << item.url.toStdString();
        }
        EXPECT_EQ(photos.model.statusMessage().left(7), QStringLiteral("分析完成：成功"));
    }
}

TEST(ConcurrentRun, StoppingEndsEveryQuestionInFlight)
{
    Photos photos(3);
    BusyModel busy([](int) { return 3s; });
    photos.useModel(busy);
    photos.model.analyzeAll();
    waitUntil([&] { return busy.http.inFlight() == 3; });
    photos.model.stopAnalysis();
    waitUntil([&] { return !photos.model.isBusy(); });

    EXPECT_EQ(busy.http.inFlight(), 3) << "the run ended without waiting for its answers";
    EXPECT_EQ(busy.arrivals.size(), 3);
    for (const VideoItem &item : photos.model.items())
        EXPECT_EQ(item.status, VideoItem::Status::pending) << item.url.toStdString();
    EXPECT_TRUE(photos.model.statusMessage().startsWith("分析已停止：成功 0/6 个，用时 ")) << photos.model.statusMessage().toStdString();
}

// Closing the application must not wait for a model that thinks for minutes.
TEST(ConcurrentRun, ClosingTheModelEndsEveryQuestionInFlight)
{
    BusyModel busy([](int) { return 3s; });
    auto photos = std::make_unique<Photos>(3);
    photos->useModel(busy);
    photos->model.analyzeAll();
    waitUntil([&] { return busy.http.inFlight() == 3; });
    photos.reset(); // would wait for the answers, which come seconds later
    EXPECT_EQ(busy.http.inFlight(), 3);
}

} // namespace

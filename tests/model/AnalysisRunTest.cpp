#include "FakeHttpServer.h"
#include "Library.h"
#include "OllamaClient.h"
#include "PromptBuilder.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <QThread>


using namespace std::chrono_literals;

namespace {

using Status = VideoItem::Status;

const std::string modelAnswer = R"({"content":"石桥流水","location":"模型猜的地"})";

QJsonObject jsonOf(const FakeHttpServer::Request &request)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
}

// A library wired to a fake Ollama, a fake OpenAI-compatible service and a fake geocoder, all on
// 127.0.0.1, with a folder tree of real media. Progress lines are kept as the window would see them.
struct Studio : Library
{
    FakeHttpServer ollama, openAI, geocoder;
    QStringList statusLines;

    Studio()
        : Library("both")
    {
        ollama.server().Post("/api/generate", [](const httplib::Request &, httplib::Response &response) {
            const QJsonObject answer{{"model", "m"}, {"response", QString::fromStdString(modelAnswer)}, {"done", true}};
            response.set_content(QJsonDocument(answer).toJson().toStdString(), "application/json");
        });
        openAI.server().Post("/v1/chat/completions", [](const httplib::Request &, httplib::Response &response) {
            const QJsonObject message{{"role", "assistant"}, {"content", QString::fromStdString(modelAnswer)}};
            const QJsonObject answer{{"choices", QJsonArray{QJsonObject{{"message", message}}}}};
            response.set_content(QJsonDocument(answer).toJson().toStdString(), "application/json");
        });
        geocoder.server().Get("/reverse", [](const httplib::Request &, httplib::Response &response) {
            response.set_content(R"({"address":{"city":"成都市","suburb":"锦江区"},"name":"春熙路"})", "application/json");
        });
        ollama.start();
        openAI.start();
        geocoder.start();

        AppSettings &settings = model.settings();
        settings.ollamaEndpoint = ollama.url(QString()).toString();
        settings.openAIBaseURL = openAI.url(QStringLiteral("/v1")).toString();
        settings.openAIKey = QStringLiteral("sk-test");
        settings.useGPSGeocoding = true;
        model.setGeocoder(ReverseGeocoder(geocoder.url(QString())));
        model.onChange = [this] {
            ++changes;
            if (statusLines.isEmpty() || statusLines.last() != model.statusMessage())
                statusLines << model.statusMessage();
        };
    }

    // Runs an analysis to its end with the main thread's event loop turning.
    void analyze()
    {
        model.analyzeAll();
        waitUntil([this] { return !model.isBusy(); });
        QCoreApplication::processEvents();
    }

    const VideoItem &item(const QString &fileName) const
    {
        for (const VideoItem &item : model.items())
            if (QFileInfo(item.url).fileName() == fileName)
                return item;
        static const VideoItem none;
        ADD_FAILURE() << "no item " << fileName.toStdString();
        return none;
    }
};

QString placeFolder(const QString &name)
{
    return "2026/2025/2024/2023/成都/上里古镇/" + name; // year folders keep the temporary folder out of reach
}

QString noPlaceFolder(const QString &name)
{
    return "2026/2025/2024/2023/2022/2021/" + name;
}

TEST(AnalyzeAll, NamesAWholeTreeFromFramesToFilesOnDisk)
{
    Studio studio;
    Fixtures &fixtures = studio.fixtures;
    QStringList files;
    files << fixtures.video(placeFolder("clip.mp4"), "testsrc=size=160x120:rate=10", 2.0,
                            {"-metadata", "creation_time=2026-09-18T10:00:00Z"});
    files << fixtures.picture(placeFolder("photo.jpg"), quadrantPicture(64, 48));
    files << fixtures.picture(noPlaceFolder("gps.jpg"), quadrantPicture(64, 48));
    fixtures.tag(files.last(), {"-GPSLatitude=30.6570", "-GPSLatitudeRef=N", "-GPSLongitude=104.0800", "-GPSLongitudeRef=E"});
    files << fixtures.text(noPlaceFolder("broken.mp4"), QByteArray(4096, 'x'));
    files << fixtures.text(noPlaceFolder("notaphoto.jpg"), "just text");
    const QString heicSource = sharedMedia("heic/iphone8plus_orient6.heic");
    const QString dngSource = sharedMedia("raw/canon_kiss-x4_colorchart_crop.dng");
    if (!heicSource.isEmpty() && !dngSource.isEmpty()) {
        QFile::copy(heicSource, fixtures.path(noPlaceFolder("phone.heic")));
        QFile::copy(dngSource, fixtures.path(noPlaceFolder("camera.dng")));
        files << fixtures.path(noPlaceFolder("phone.heic")) << fixtures.path(noPlaceFolder("camera.dng"));
    }
    files << fixtures.picture(noPlaceFolder("removed.png"), quadrantPicture(32, 32));
    studio.import(files);
    ASSERT_EQ(studio.model.items().size(), files.size());

    // While the first item is analysed, the last one is removed and a new file added: the same
    // count, so the summary has no note, and the newcomer is not part of this run.
    const QString late = fixtures.picture(noPlaceFolder("late.png"), quadrantPicture(32, 32));
    bool edited = false;
    const auto previousOnChange = studio.model.onChange;
    studio.model.onChange = [&] {
        previousOnChange();
        if (!edited && studio.model.statusMessage().startsWith("分析中 1/")) {
            edited = true;
            QTimer::singleShot(0, [&] {
                studio.model.removeItems({int(studio.model.items().size() - 1)});
                studio.import({late}); // the run goes on meanwhile; its hops are served here
            });
        }
    };
    studio.analyze();
    studio.model.onChange = previousOnChange;
    QCoreApplication::processEvents();

    // One request per analysed item, each with one montage or picture, the grid in the prompt.
    const QList<FakeHttpServer::Request> requests = studio.ollama.requests();
    const qsizetype decodable = files.size() - 3; // broken, notaphoto, removed
    ASSERT_EQ(requests.size(), decodable);
    const QJsonObject first = jsonOf(requests[0]);
    EXPECT_EQ(first["model"].toString(), "qwen2.5vl:7b");
    EXPECT_EQ(first["images"].toArray().size(), 1);
    EXPECT_EQ(first["prompt"].toString(), PromptBuilder::build(2, 2, PromptBuilder::Media::video));
    EXPECT_EQ(first["options"].toObject()["num_ctx"].toInt(), OllamaClient::contextSize(1));
    EXPECT_EQ(jsonOf(requests[1])["prompt"].toString(), PromptBuilder::build(1, 1, PromptBuilder::Media::photo));

    const VideoItem &clip = studio.item("clip.mp4");
    EXPECT_EQ(clip.status, Status::analyzed);
    EXPECT_EQ(clip.content, "石桥流水");
    EXPECT_EQ(clip.location, "成都") << "the folder wins over the model";
    ASSERT_EQ(clip.frameFiles.size(), 4);
    ASSERT_TRUE(clip.montageFile);
    EXPECT_FALSE(QImage(*clip.montageFile).isNull()); // kept on disk, not in memory
    EXPECT_EQ(clip.analysisText.toStdString(), modelAnswer);
    EXPECT_EQ(clip.proposedName, "2026-09-18_成都_石桥流水_clip");

    const VideoItem &gps = studio.item("gps.jpg");
    ASSERT_TRUE(gps.coordinate);
    EXPECT_NEAR(gps.coordinate->latitude, 30.657, 1e-6);
    ASSERT_TRUE(gps.geoPlace);
    EXPECT_TRUE(gps.geoPlace->startsWith("成都市"));
    EXPECT_EQ(gps.location, *gps.geoPlace) << "the map wins over the model";
    EXPECT_EQ(studio.item("photo.jpg").location, "成都");
    if (!heicSource.isEmpty()) {
        EXPECT_EQ(studio.item("phone.heic").status, Status::analyzed);
        EXPECT_EQ(studio.item("camera.dng").location, "模型猜的地");
    }

    EXPECT_EQ(studio.item("broken.mp4").status, Status::error);
    EXPECT_EQ(studio.item("broken.mp4").analysisText, "无法抽取帧（编码不支持或缺少读取权限）");
    EXPECT_EQ(studio.item("notaphoto.jpg").analysisText, "无法读取这张照片（格式不支持、文件损坏或缺少读取权限）");
    EXPECT_EQ(studio.item("late.png").status, Status::pending);

    // Progress for every position, the average once one item succeeded, then the summary.
    const QStringList progress = studio.statusLines.filter(QRegularExpression("^分析"));
    const qsizetype total = files.size();
    ASSERT_GE(progress.size(), total);
    EXPECT_EQ(progress[0], QStringLiteral("分析中 1/%1：clip.mp4").arg(total));
    EXPECT_TRUE(progress[1].contains(QRegularExpression(
        QStringLiteral("^分析中 2/%1：photo.jpg\u3000·\u3000平均 \\d+ 秒/个，预计还需 .+$").arg(total))))
        << progress[1].toStdString();
    EXPECT_TRUE(progress.last().contains(QRegularExpression(
        QStringLiteral("^分析完成：成功 %1/%2 个，用时 .+，平均 \\d+ 秒/个$").arg(decodable).arg(total))))
        << progress.last().toStdString();

    // The names go onto the disk and come back off it.
    studio.model.renameAll();
    EXPECT_TRUE(QFile::exists(fixtures.path(placeFolder("2026-09-18_成都_石桥流水_clip.mp4"))));
    EXPECT_FALSE(QFile::exists(files[0]));
    studio.model.undoLast();
    for (const QString &file : files)
        EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
}

TEST(AnalyzeAll, TheOpenAIEngineAndAListThatShrinks)
{
    Studio studio;
    studio.model.settings().engineRaw = "openai";
    studio.model.settings().openAIModel = "vision-test";
    studio.model.settings().usePathPlace = false;
    const QString a = studio.fixtures.picture(placeFolder("a.png"), quadrantPicture(32, 32));
    const QString b = studio.fixtures.picture(placeFolder("b.png"), quadrantPicture(32, 32));
    studio.import({a, b});

    const auto previousOnChange = studio.model.onChange;
    studio.model.onChange = [&] {
        previousOnChange();
        if (studio.model.statusMessage().startsWith("分析中 1/"))
            QTimer::singleShot(0, [&] { studio.model.removeItems({1}); });
    };
    studio.model.analyzeAll();
    studio.model.analyzeAll(); // a second press while the run is under way does nothing
    studio.analyze();

    const QList<FakeHttpServer::Request> requests = studio.openAI.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(jsonOf(requests[0])["model"].toString(), "vision-test");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer sk-test");
    EXPECT_TRUE(studio.ollama.requests().isEmpty());
    EXPECT_EQ(studio.model.items()[0].location, "模型猜的地") << "folder places are off";
    EXPECT_TRUE(studio.model.statusMessage().endsWith("（列表中途有增删，已自动跳过）"))
        << studio.model.statusMessage().toStdString();
}

TEST(AnalyzeAll, FailuresAndSkipsAreRecordedOnTheItems)
{
    Studio studio;
    studio.analyze();
    EXPECT_TRUE(studio.model.statusMessage().startsWith("分析完成：成功 0/0 个，用时 "));

    studio.model.settings().ollamaEndpoint = "http://127.0.0.1:1"; // nothing listens there
    const QString a = studio.fixtures.picture(noPlaceFolder("a.png"), quadrantPicture(32, 32));
    const QString b = studio.fixtures.picture(noPlaceFolder("b.png"), quadrantPicture(32, 32));
    studio.import({a, b});
    studio.model.mutateItem(studio.model.items()[1].id, [](VideoItem &item) {
        item.status = Status::renamed;
        item.proposedName = "留着";
    });
    studio.analyze();
    EXPECT_EQ(studio.model.items()[0].status, Status::error);
    EXPECT_TRUE(studio.model.items()[0].analysisText.startsWith("错误：")) << studio.model.items()[0].analysisText.toStdString();
    EXPECT_EQ(studio.model.items()[1].status, Status::renamed);
    EXPECT_EQ(studio.model.items()[1].proposedName, "留着");
    EXPECT_TRUE(studio.model.statusMessage().startsWith("分析完成：成功 0/2 个，用时 "));
}

// Pictures wait on disk, not in memory, and go with their item, their list and their model.
TEST(AnalyzeAll, PicturesAreKeptOnDiskAndGoWithTheirItem)
{
    auto studio = std::make_unique<Studio>();
    studio->import({studio->fixtures.picture(noPlaceFolder("a.png"), quadrantPicture(32, 32)),
                    studio->fixtures.picture(noPlaceFolder("b.png"), quadrantPicture(32, 32))});
    studio->analyze();
    const VideoItem first = studio->model.items()[0], second = studio->model.items()[1];
    ASSERT_EQ(first.frameFiles.size(), 1);
    const QString folder = QFileInfo(first.frameFiles[0]).path();
    EXPECT_TRUE(folder.startsWith(studio->fixtures.path("cache/Orvane/"))) << folder.toStdString();
    studio->analyze(); // a second analysis replaces the pictures
    EXPECT_FALSE(QFile::exists(first.frameFiles[0]));
    EXPECT_TRUE(QFile::exists(studio->model.items()[0].frameFiles.value(0)));
    studio->model.removeItems({0});
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1 + (second.montageFile ? 1 : 0));
    studio.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(EtaText, SaysDurationsAsPeopleDo)
{
    const std::pair<double, const char *> cases[] = {
        {-3, "1 秒"},        {0.4, "1 秒"},        {59.4, "59 秒"},      {59.5, "1 分钟"}, {61, "1 分 1 秒"},
        {3599, "59 分 59 秒"}, {3600, "1 小时"},   {3659, "1 小时"},     {3660, "1 小时 1 分"}, {7322, "2 小时 2 分"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(AppModel::etaText(seconds), QString::fromUtf8(text)) << seconds;
}

TEST(BackfillPathPlaces, FillsOnlyWhatIsMissing)
{
    Library library("both");
    library.model.settings().usePathPlace = false;
    const QString a = library.fixtures.picture(placeFolder("a.png"), quadrantPicture(8, 8));
    const QString b = library.fixtures.picture(placeFolder("b.png"), quadrantPicture(8, 8));
    const QString c = library.fixtures.picture(noPlaceFolder("c.png"), quadrantPicture(8, 8));
    library.import({a, b, c});
    const int changesBefore = library.changes;
    library.model.backfillPathPlaces();
    QCoreApplication::processEvents();
    EXPECT_EQ(library.changes, changesBefore) << "off: nothing happens";

    library.model.mutateItem(library.model.items()[0].id, [](VideoItem &item) {
        item.status = Status::analyzed;
        item.content = "石桥";
        item.location = " \t";
    });
    library.model.mutateItem(library.model.items()[1].id, [](VideoItem &item) { item.location = "别处"; });
    library.model.settings().usePathPlace = true;
    library.model.backfillPathPlaces();
    EXPECT_EQ(library.model.statusMessage(), "已从素材目录名补全 2 个条目的地点，检查无误后可执行重命名");
    EXPECT_EQ(library.model.items()[0].location, "成都");
    EXPECT_TRUE(library.model.items()[0].proposedName.contains("成都_石桥_a"));
    EXPECT_EQ(library.model.items()[1].location, "别处");
    EXPECT_EQ(library.model.items()[2].pathPlace, std::nullopt);
}

} // namespace

namespace {

TEST(SearchVideos, ReportsProgressAndHitsOnTheMainThread)
{
    Library library;
    FakeHttpServer ollama;
    ollama.server().Post("/api/generate", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(R"({"response":"{\"caption\":\"石桥\",\"hit\":true,\"score\":90}","done":true})",
                             "application/json");
    });
    ollama.start();
    library.model.settings().ollamaEndpoint = ollama.url(QString()).toString();
    const QString clip = library.fixtures.video("clip.mp4", "testsrc=size=64x48:rate=10", 2.0);

    QStringList progress;
    std::optional<std::expected<SearchResult, SearchError>> result;
    const QThread *mainThread = QThread::currentThread();
    bool everyCallOnTheMainThread = true;
    library.model.searchVideos({clip}, "石桥", std::nullopt, SearchMode::keyword, 1.0,
                               [&](int, int, const QString &text) {
                                   everyCallOnTheMainThread &= QThread::currentThread() == mainThread;
                                   progress << text;
                               },
                               [&](const auto &outcome) {
                                   everyCallOnTheMainThread &= QThread::currentThread() == mainThread;
                                   result = outcome;
                               });
    waitUntil([&] { return result.has_value(); });

    EXPECT_TRUE(everyCallOnTheMainThread);
    EXPECT_EQ(progress.size(), 3);
    ASSERT_TRUE(*result);
    ASSERT_EQ((*result)->hits.size(), 3);
    EXPECT_EQ((*result)->hits[0].caption, "石桥");
    EXPECT_EQ(library.model.statusMessage(), "拖入视频或照片，或点击「添加文件」开始") << "the status line is the window's own";
}

} // namespace

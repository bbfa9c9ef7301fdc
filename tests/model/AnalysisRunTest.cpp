#include "FakeVision.h"
#include "Library.h"
#include "PromptBuilder.h"

#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using Status = VideoItem::Status;

const std::string modelAnswer = R"({"content":"石桥流水","location":"模型猜的地"})";

// A library wired to a fake vision model of either engine and a fake geocoder, both on 127.0.0.1,
// with a folder tree of real media. Progress lines are kept as the window would see them.
struct Studio : Library
{
    FakeVision vision{[](const FakeVision::Question &) { return FakeVision::Answer{200, QString::fromStdString(modelAnswer)}; }};
    FakeHttpServer geocoder;
    QStringList statusLines;

    Studio()
        : Library("both")
    {
        geocoder.server().Get("/reverse", [](const httplib::Request &, httplib::Response &response) {
            response.set_content(R"({"address":{"city":"成都市","suburb":"锦江区"},"name":"春熙路"})", "application/json");
        });
        vision.start();
        geocoder.start();

        AppSettings &settings = model.settings();
        settings.ollamaEndpoint = vision.ollamaURL().toString();
        settings.openAIBaseURL = vision.openAIURL().toString();
        settings.openAIKey = QStringLiteral("sk-test");
        settings.useGPSGeocoding = true;
        model.setGeocoder(ReverseGeocoder(geocoder.url(QString())));
        // The run changes items from its own threads; the window hears of it on the main thread.
        model.onChange = [this] {
            EXPECT_EQ(QThread::currentThread(), model.thread());
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
};

QString placeFolder(const QString &name)
{
    return "2026/2025/2024/2023/成都/上里古镇/" + name; // year folders keep the temporary folder out of reach
}

QString noPlaceFolder(const QString &name)
{
    return "2026/2025/2024/2023/2022/2021/" + name;
}

TEST(AnalyzeAll, NamesEachItemFromItsPicturesAndPlaces)
{
    Studio studio;
    Fixtures &fixtures = studio.fixtures;
    const QString photo = fixtures.picture(noPlaceFolder("gps.jpg"), quadrantPicture(64, 48));
    fixtures.tag(photo, {"-DateTimeOriginal=2023:12:31 23:59:59", "-GPSLatitude=30.6570", "-GPSLatitudeRef=N",
                         "-GPSLongitude=104.0800", "-GPSLongitudeRef=E"});
    studio.import({fixtures.video(placeFolder("clip.mp4"), "testsrc=size=160x120:rate=10", 2.0,
                                  {"-metadata", "creation_time=2026-09-18T10:00:00Z"}),
                   photo, fixtures.text(noPlaceFolder("broken.mp4"), QByteArray(4096, 'x')),
                   fixtures.text(noPlaceFolder("notaphoto.jpg"), "just text")});
    const QList<VideoItem> &items = studio.model.items();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0].pathPlace, QString("成都")) << "known from the import on";
    studio.analyze();

    // One request per decodable item, each with one montage or picture, the grid in the prompt.
    const QList<FakeVision::Question> asked = studio.vision.questions();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0].path, "/api/generate");
    EXPECT_EQ(asked[0].body["model"].toString(), "qwen2.5vl:7b");
    EXPECT_EQ(asked[0].pictures.size(), 1);
    EXPECT_EQ(asked[0].prompt, PromptBuilder::build(2, 2, PromptBuilder::Media::video));
    EXPECT_EQ(asked[1].prompt, PromptBuilder::build(1, 1, PromptBuilder::Media::photo));

    const VideoItem &clip = items[0];
    EXPECT_EQ(clip.proposedName, "2026-09-18_成都_石桥流水_clip") << "the folder wins over the model";
    EXPECT_EQ(clip.analysisText.toStdString(), modelAnswer);
    EXPECT_EQ(clip.frameFiles.size(), 4);
    ASSERT_TRUE(clip.montageFile);
    EXPECT_FALSE(QImage(*clip.montageFile).isNull()); // kept on disk, not in memory

    const VideoItem &gps = items[1];
    ASSERT_TRUE(gps.coordinate && gps.geoPlace);
    EXPECT_EQ(gps.proposedName, "2023-12-31_" + *gps.geoPlace + "_石桥流水_gps") << "the map wins over the model";

    EXPECT_EQ(items[2].status, Status::error);
    EXPECT_EQ(items[2].analysisText, "无法抽取帧（编码不支持或缺少读取权限）");
    EXPECT_EQ(items[3].analysisText, "无法读取这张照片（格式不支持、文件损坏或缺少读取权限）");

    // Progress for every position, the average once one item succeeded, then the summary.
    const QStringList progress = studio.statusLines.filter(QRegularExpression("^分析"));
    ASSERT_GE(progress.size(), 4);
    EXPECT_EQ(progress[0], "分析中 1/4：clip.mp4");
    EXPECT_TRUE(progress[1].contains(QRegularExpression("^分析中 2/4：gps.jpg\u3000·\u3000平均 \\d+ 秒/个，预计还需 .+$")))
        << progress[1].toStdString();
    EXPECT_TRUE(progress.last().contains(QRegularExpression("^分析完成：成功 2/4 个，用时 .+，平均 \\d+ 秒/个$")))
        << progress.last().toStdString();
}

TEST(AnalyzeAll, TheOpenAIEngineAndAListThatChanges)
{
    Studio studio;
    studio.model.settings().engineRaw = "openai";
    studio.model.settings().openAIModel = "vision-test";
    studio.model.settings().usePathPlace = false;
    QStringList files;
    for (const char *name : {"a.png", "b.png", "c.png"})
        files << studio.fixtures.picture(placeFolder(name), quadrantPicture(32, 32));
    studio.import(files);

    // While the first item is analysed, two are removed and a new file added: the newcomer is not
    // part of this run.
    const QString late = studio.fixtures.picture(placeFolder("late.png"), quadrantPicture(32, 32));
    bool edited = false;
    const auto previousOnChange = studio.model.onChange;
    studio.model.onChange = [&] {
        previousOnChange();
        if (!edited && studio.model.statusMessage().startsWith("分析中 1/")) {
            edited = true;
            QTimer::singleShot(0, [&] {
                studio.model.removeItems({1, 2});
                studio.import({late}); // the run goes on meanwhile; its hops are served here
            });
        }
    };
    studio.model.analyzeAll();
    studio.analyze(); // a second press while the run is under way does nothing

    const QList<FakeVision::Question> asked = studio.vision.questions();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].path, "/v1/chat/completions");
    EXPECT_EQ(asked[0].body["model"].toString(), "vision-test");
    ASSERT_EQ(studio.model.items().size(), 2);
    EXPECT_EQ(studio.model.items()[0].location, "模型猜的地") << "folder places are off";
    EXPECT_EQ(studio.model.items()[1].status, Status::pending) << "the newcomer";
    EXPECT_TRUE(studio.model.statusMessage().endsWith("（列表中途有增删，已自动跳过）"))
        << studio.model.statusMessage().toStdString();
}

// Pictures wait on disk, not in memory, and go with their item, their list and their model.
TEST(AnalyzeAll, PicturesFailuresAndSkipsStayWithTheirItem)
{
    auto studio = std::make_unique<Studio>();
    studio->analyze();
    EXPECT_TRUE(studio->model.statusMessage().startsWith("分析完成：成功 0/0 个，用时 "));
    studio->import({studio->fixtures.picture(noPlaceFolder("a.png"), quadrantPicture(32, 32)),
                    studio->fixtures.picture(noPlaceFolder("b.png"), quadrantPicture(32, 32))});
    studio->analyze();
    const VideoItem first = studio->model.items()[0], second = studio->model.items()[1];
    ASSERT_EQ(first.frameFiles.size(), 1);
    const QString folder = QFileInfo(first.frameFiles[0]).path();
    EXPECT_TRUE(folder.startsWith(studio->fixtures.path("cache/Orvane/"))) << folder.toStdString();

    // A second analysis replaces the pictures and leaves a renamed item alone.
    studio->model.mutateItem(second.id, [](VideoItem &item) { item.status = Status::renamed; });
    studio->analyze();
    EXPECT_FALSE(QFile::exists(first.frameFiles[0]));
    EXPECT_TRUE(QFile::exists(studio->model.items()[0].frameFiles.value(0)));
    EXPECT_EQ(studio->model.items()[1].frameFiles, second.frameFiles);

    studio->model.settings().ollamaEndpoint = FakeHttpServer::refusedUrl().toString();
    studio->analyze();
    EXPECT_EQ(studio->model.items()[0].status, Status::error);
    EXPECT_TRUE(studio->model.items()[0].analysisText.startsWith("错误：")) << studio->model.items()[0].analysisText.toStdString();
    EXPECT_EQ(studio->model.items()[1].status, Status::renamed);
    EXPECT_TRUE(studio->model.statusMessage().startsWith("分析完成：成功 0/2 个，用时 "));

    studio->model.removeItems({0});
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1 + (second.montageFile ? 1 : 0));
    studio.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(EtaText, SaysDurationsAsPeopleDo)
{
    const std::pair<double, const char *> cases[] = {
        {-3, "1 秒"}, {59.4, "59 秒"}, {59.5, "1 分钟"}, {61, "1 分 1 秒"}, {3659, "1 小时"}, {7322, "2 小时 2 分"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(AppModel::etaText(seconds), QString::fromUtf8(text)) << seconds;
}

TEST(BackfillPathPlaces, FillsOnlyWhatIsMissing)
{
    Library library("both");
    library.model.settings().usePathPlace = false;
    library.import({library.touch(placeFolder("a.png")), library.touch(placeFolder("b.png")),
                    library.touch(noPlaceFolder("c.png"))});
    library.model.backfillPathPlaces();
    EXPECT_EQ(library.model.items()[0].pathPlace, std::nullopt) << "off: nothing happens";

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

TEST(SearchVideos, ReportsProgressAndHitsOnTheMainThreadToWhoeverListens)
{
    Library library;
    FakeVision ollama([](const FakeVision::Question &) { return FakeVision::Answer{200, R"({"caption":"石桥","hit":true,"score":90})"}; });
    ollama.start();
    library.model.settings().ollamaEndpoint = ollama.ollamaURL().toString();
    const QString clip = library.fixtures.video("clip.mp4", "testsrc=size=64x48:rate=10", 2.0);

    // First a search nobody listens to: a report to an empty callback would end the program.
    library.model.searchVideos({clip}, "石桥", std::nullopt, SearchMode::keyword, 1.0, {}, {});
    waitUntil([&] { return ollama.questions().size() == 3; }); // a frame a second

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
    EXPECT_FALSE(progress.isEmpty());
    EXPECT_TRUE(*result);
}

} // namespace

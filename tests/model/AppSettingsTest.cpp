#include "AppSettings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

void PrintTo(const QVariant &value, std::ostream *out)
{
    *out << value.toString().toStdString();
}

namespace {

const QVariantList defaultFields = {"ollama", "http://localhost:11434", "qwen2.5vl:7b", "qwen-vl-max",
                                    "https://api.openai.com/v1", "", 4, 1, true, true, true, true, "_", true,
                                    false, "videos", true, 3.0, "keyword"};

QVariantList fields(const AppSettings &s)
{
    return {s.engineRaw, s.ollamaEndpoint, s.ollamaModel, s.openAIModel, s.openAIBaseURL, s.openAIKey,
            s.frameCount, s.requestConcurrency, s.includeDate, s.includeLocation, s.includeContent, s.includeOriginal, s.separator,
            s.usePathPlace, s.useGPSGeocoding, s.mediaTargetRaw, s.autoCheckUpdate, s.searchInterval,
            s.lastSearchModeRaw};
}

QString writeStore(const QTemporaryDir &dir, const QByteArray &bytes)
{
    QFile file(dir.filePath(QStringLiteral("Orvane.json")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return file.fileName();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

unsigned mode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST(AppSettings, LoadRules)
{
    const auto frames = +[](const AppSettings &s) { return QVariant(s.frameCount); };
    const auto concurrency = +[](const AppSettings &s) { return QVariant(s.requestConcurrency); };
    const auto date = +[](const AppSettings &s) { return QVariant(s.includeDate); };
    const auto separator = +[](const AppSettings &s) { return QVariant(s.separator); };
    const auto model = +[](const AppSettings &s) { return QVariant(s.model()); };
    const auto ollama = +[](const AppSettings &s) { return QVariant(s.ollamaURL()); };
    const auto openAI = +[](const AppSettings &s) { return QVariant(s.openAIURL()); };
    const struct {
        const char *json;
        QVariant (*read)(const AppSettings &);
        QVariant expected;
    } rows[] = {
        {R"({"frameCount": 0})", frames, 4},
        {R"({"frameCount": 9})", frames, 6},
        {R"({"frameCount": -3})", frames, 1},
        {R"({"frameCount": 2})", frames, 2},
        {R"({"frameCount": "5"})", frames, 5},
        {R"({"frameCount": "abc"})", frames, 4},
        {R"({"frameCount": true})", frames, 4},
        {R"({"requestConcurrency": 12})", concurrency, 8},
        {R"({"requestConcurrency": "3"})", concurrency, 3},
        {R"({"requestConcurrency": [4]})", concurrency, 1},
        {R"({"includeDate": "false"})", date, true},
        {R"({"includeDate": 0})", date, false},
        {R"({"separator": ""})", separator, ""},
        {R"({"separator": 5})", separator, "5"},
        {R"({"separator": 2.5})", separator, "2.5"},
        {R"({"engine": "openai", "openAIModel": "m"})", model, "m"},
        {R"({"engine": "OpenAI", "openAIModel": "m"})", model, "qwen2.5vl:7b"},
        {R"({"ollamaEndpoint": " \thttp://h.test:1/ "})", ollama, QUrl("http://h.test:1/")},
        {R"({"ollamaEndpoint": "http://h.test:1\n"})", ollama, QUrl("http://localhost:11434")},
        {R"({"openAIBaseURL": "  https://x.test/v1/ "})", openAI, QUrl("https://x.test/v1")},
        {R"({"openAIBaseURL": "https://x.test/v1//"})", openAI, QUrl("https://x.test/v1/")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.json);
        const QTemporaryDir dir;
        EXPECT_EQ(row.read(AppSettings(writeStore(dir, row.json))), row.expected);
    }
}

TEST(AppSettings, DamagedFileGivesDefaultsAndKeepsItsBytes)
{
    const struct {
        const char *bytes;
        bool backedUp;
    } rows[] = {
        {"frameCount=4", true},
        {R"({"openAIKey": "sk-12)", true},
        {R"(["openai"])", true},
        {"", false},
        {R"({"engine": true, "ollamaEndpoint": [], "ollamaModel": {}, "openAIModel": null, "openAIBaseURL": false,
            "openAIKey": [1], "frameCount": "abc", "includeDate": "true", "includeLocation": 2, "includeContent": null,
            "includeOriginal": [], "separator": {}, "usePathPlace": "yes", "useGPSGeocoding": "true",
            "mediaTarget": false, "autoCheckUpdate": 0.5, "searchInterval": "7", "lastSearchMode": true})", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.bytes);
        const QTemporaryDir dir;
        const QString path = writeStore(dir, row.bytes);
        AppSettings settings(path);
        EXPECT_EQ(fields(settings), defaultFields);
        settings.persist();
        EXPECT_EQ(contents(path + ".bak"), row.backedUp ? QByteArray(row.bytes) : QByteArray());
        EXPECT_EQ(mode(path + ".bak"), row.backedUp ? 0600u : 0u);
        EXPECT_EQ(QJsonDocument::fromJson(contents(path)).object().size(), defaultFields.size());
        EXPECT_EQ(mode(path), 0600u);
    }

    // A valid object, but far larger than any settings we write.
    const QTemporaryDir dir;
    const QByteArray huge = R"({"separator": ")" + QByteArray(1100 * 1024, '-') + R"("})";
    const QString path = writeStore(dir, huge);
    AppSettings settings(path);
    EXPECT_EQ(settings.separator, "_");
    EXPECT_TRUE(settings.persist());
    EXPECT_EQ(contents(path + ".bak"), huge);
}

TEST(AppSettings, RoundTripKeepsEveryFieldAndItsJsonType)
{
    const QTemporaryDir dir;
    const QString path = dir.filePath("Orvane/Orvane.json");
    AppSettings settings(path);
    settings.ollamaModel = "llava";
    settings.engineRaw = "openai";
    settings.setModel("vision-2");
    EXPECT_EQ(QVariant(settings.ollamaModel), "llava");
    settings.ollamaEndpoint = "http://h.test:1";
    settings.openAIBaseURL = "https://x.test/v1";
    settings.openAIKey = "sk-test";
    settings.frameCount = 6;
    settings.requestConcurrency = 5;
    settings.includeDate = settings.includeLocation = settings.includeContent = settings.includeOriginal = false;
    settings.usePathPlace = settings.autoCheckUpdate = false;
    settings.separator = "";
    settings.useGPSGeocoding = true;
    settings.mediaTargetRaw = "photos";
    settings.searchInterval = 0.25;
    settings.lastSearchModeRaw = "semantic";
    const QVariantList changed = fields(settings);
    for (qsizetype i = 0; i < changed.size(); ++i)
        EXPECT_NE(changed[i], defaultFields[i]) << "field " << i;

    settings.persist();
    EXPECT_EQ(fields(AppSettings(path)), changed);
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(dir.filePath("Orvane")), 0700u);
    const QJsonObject json = QJsonDocument::fromJson(contents(path)).object();
    EXPECT_EQ(json.size(), defaultFields.size());
    EXPECT_TRUE(json["includeDate"].isBool() && json["frameCount"].isDouble() && json["separator"].isString()
                && json["searchInterval"].isDouble());
}

} // namespace

namespace {

TEST(AppSettings, OnlyWebAddressesWithAHostAreUsable)
{
    const std::pair<const char *, bool> cases[] = {
        {"http://localhost:11434", true}, {" https://api.example.com/v1\t", true}, {"", true},
        {"localhost:11434", false},       {"ftp://host/v1", false},               {"http://", false},
        {"file:///etc/passwd", false},    {"http://exa mple.com", false},
    };
    for (const auto &[text, usable] : cases)
        EXPECT_EQ(AppSettings::isUsableAddress(text), usable) << text;
}

TEST(AppSettings, ASaveThatFailsSaysWhy)
{
    QTemporaryDir dir;
    const QString blocker = writeStore(dir, "a file where the folder should be");
    AppSettings settings(blocker + "/Orvane.json");
    const auto saved = settings.persist();
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "无法写入 " + blocker + "/Orvane.json");
    EXPECT_TRUE(AppSettings(dir.filePath("ok/Orvane.json")).persist());
}

} // namespace

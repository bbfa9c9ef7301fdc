#include "AppSettings.h"
#include "Files.h"

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
    return Files::write(dir.filePath(QStringLiteral("Orvane.json")), bytes);
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
        {R"({"requestConcurrency": 12})", concurrency, 8},
        {R"({"includeDate": 0})", date, false},
        {R"({"separator": 2.5})", separator, "2.5"},
        {R"({"engine": "openai", "openAIModel": "m"})", model, "m"},
        {R"({"ollamaEndpoint": " \thttp://h.test:1/ "})", ollama, QUrl("http://h.test:1/")},
        {R"({"ollamaEndpoint": "http://h.test:1\n"})", ollama, QUrl("http://localhost:11434")},
        {R"({"openAIBaseURL": "  https://x.test/v1/ "})", openAI, QUrl("https://x.test/v1")},
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
        {"", false},
        {R"({"engine": true, "ollamaEndpoint": [], "ollamaModel": {}, "openAIModel": null, "openAIBaseURL": false,
            "openAIKey": [1], "frameCount": "abc", "includeDate": "true", "includeLocation": 2, "includeContent": null,
            "includeOriginal": [], "separator": {}, "usePathPlace": "yes", "useGPSGeocoding": "true",
            "mediaTarget": false, "autoCheckUpdate": 0.5, "searchInterval": "7", "lastSearchMode": true,
            "requestConcurrency": [4]})", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.bytes);
        const QTemporaryDir dir;
        const QString path = writeStore(dir, row.bytes);
        AppSettings settings(path);
        EXPECT_EQ(fields(settings), defaultFields);
        settings.persist();
        EXPECT_EQ(mode(path + ".bak"), row.backedUp ? 0600u : 0u);
        if (row.backedUp) {
            EXPECT_EQ(Files::read(path + ".bak"), row.bytes);
        }
        EXPECT_EQ(mode(path), 0600u) << "an existing file is narrowed too";
    }

    // A valid object, but far larger than any settings we write.
    const QTemporaryDir dir;
    const QByteArray huge = R"({"separator": ")" + QByteArray(1100 * 1024, '-') + R"("})";
    const QString path = writeStore(dir, huge);
    AppSettings settings(path);
    EXPECT_EQ(settings.separator, "_");
    EXPECT_TRUE(settings.persist());
    EXPECT_EQ(Files::read(path + ".bak"), huge);
}

TEST(AppSettings, EveryFieldIsSavedWithItsJsonTypeOrTheSaveSaysWhyNot)
{
    const QTemporaryDir dir;
    const QString path = writeStore(dir, R"({"engine": "openai", "ollamaEndpoint": "http://h.test:1", "ollamaModel": "llava",
        "openAIModel": "vision-2", "openAIBaseURL": "https://x.test/v1", "openAIKey": "sk-test", "frameCount": "6",
        "requestConcurrency": 5, "includeDate": false, "includeLocation": false, "includeContent": false,
        "includeOriginal": false, "separator": "", "usePathPlace": false, "useGPSGeocoding": true,
        "mediaTarget": "photos", "autoCheckUpdate": false, "searchInterval": 0.25, "lastSearchMode": "semantic"})");
    AppSettings settings(path);
    const QVariantList changed = fields(settings);
    for (qsizetype i = 0; i < changed.size(); ++i)
        EXPECT_NE(changed[i], defaultFields[i]) << "field " << i;

    EXPECT_TRUE(settings.persist());
    EXPECT_EQ(fields(AppSettings(path)), changed);
    const QJsonObject json = QJsonDocument::fromJson(Files::read(path)).object();
    EXPECT_EQ(json.size(), defaultFields.size());
    EXPECT_TRUE(json["includeDate"].isBool() && json["frameCount"].isDouble() && json["separator"].isString()
                && json["searchInterval"].isDouble());
    settings.setModel("vision-3");
    EXPECT_EQ(QStringList({settings.ollamaModel, settings.openAIModel}), QStringList({"llava", "vision-3"}));

    // A new folder is the user's alone.
    EXPECT_TRUE(AppSettings(dir.filePath("Orvane/Orvane.json")).persist());
    EXPECT_EQ(mode(dir.filePath("Orvane")), 0700u);
    EXPECT_EQ(mode(dir.filePath("Orvane/Orvane.json")), 0600u);

    const QString blocker = Files::write(dir.filePath("blocker"));
    const auto saved = AppSettings(blocker + "/Orvane.json").persist();
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "无法写入 " + blocker + "/Orvane.json");
}

TEST(AppSettings, OnlyWebAddressesWithAHostAreUsable)
{
    const std::pair<const char *, bool> cases[] = {
        {"http://localhost:11434", true}, {" https://api.example.com/v1\t", true}, {"", true},
        {"localhost:11434", false},       {"http://", false},                     {"http://exa mple.com", false},
    };
    for (const auto &[text, usable] : cases)
        EXPECT_EQ(AppSettings::isUsableAddress(text), usable) << text;
}

} // namespace

#include "FakeHttpServer.h"
#include "Files.h"
#include "Fixtures.h"
#include "UpdateChecker.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace UpdateChecker;

namespace {

constexpr double now = 1'800'000'000; // seconds since 1970, the tests' clock
constexpr double day = 86'400;

// A download page on a fake server, a settings file of its own and a clock that stands still.
struct Site
{
    QTemporaryDir dir;
    FakeHttpServer server;
    Context context;

    explicit Site(const std::string &page, int status = 200)
    {
        server.server().Get("/download", [page, status](const httplib::Request &, httplib::Response &r) {
            r.status = status;
            r.set_content(page, "text/html; charset=utf-8");
        });
        server.start();
        context.settingsPath = dir.filePath("Orvane/Orvane.json");
        context.pageURL = server.url("/download");
        context.runningVersion = "1.2";
        context.clock = [] { return QDateTime::fromSecsSinceEpoch(qint64(now), Qt::UTC); };
    }

    // The user's settings, plus whatever the test puts beside them.
    void seed(QJsonObject entries)
    {
        entries.insert("ollamaModel", "llava:13b");
        Files::write(context.settingsPath, QJsonDocument(entries).toJson());
    }
};

std::string pageOffering(const std::string &version)
{
    return "<html><body><a href=\"https://downloads.example.com/Orvane_" + version + ".dmg\">下载</a></body></html>";
}

struct DecisionRow
{
    const char *name;
    QJsonObject stored = {};
    std::string page;
    bool force = false;
    int status = 200;
    std::optional<QString> offered = std::nullopt;
    QJsonValue lastCheckAfter = now;
    bool asked = true;
};

void PrintTo(const DecisionRow &row, std::ostream *out) { *out << row.name; }

class Decision : public testing::TestWithParam<DecisionRow> {};

TEST_P(Decision, OfferOrNot)
{
    const DecisionRow &row = GetParam();
    Site site(row.page, row.status);
    site.seed(row.stored);
    EXPECT_EQ(versionToOffer(row.force, site.context), row.offered);
    EXPECT_EQ(QJsonDocument::fromJson(Files::read(site.context.settingsPath))["updateLastCheckAt"], row.lastCheckAfter);
    const auto requests = site.server.requests();
    ASSERT_EQ(requests.size(), row.asked ? 1 : 0);
    EXPECT_EQ(AppSettings(site.context.settingsPath).ollamaModel, "llava:13b") << "the user's settings are kept";
}

const QJsonValue nothing(QJsonValue::Undefined);
const std::string megabyte(1024 * 1024, ' ');
const std::string offering13 = pageOffering("1.3");

INSTANTIATE_TEST_SUITE_P(UpdateChecker, Decision, testing::Values(
    DecisionRow{.name = "EqualVersion", .page = pageOffering("1.2.0")},
    DecisionRow{.name = "SkippedVersion", .stored = {{"updateSkippedVersion", "1.3"}}, .page = offering13},
    DecisionRow{.name = "CheckedWithinADay", .stored = {{"updateLastCheckAt", now - day + 1}}, .page = offering13,
                .lastCheckAfter = now - day + 1, .asked = false},
    DecisionRow{.name = "ForcedWithinADay", .stored = {{"updateLastCheckAt", now - 60}}, .page = offering13, .force = true, .offered = "1.3"},
    DecisionRow{.name = "LastCheckInTheFuture", .stored = {{"updateLastCheckAt", now + 365 * day}}, .page = offering13, .offered = "1.3"},
    DecisionRow{.name = "SwitchedOff", .stored = {{"autoCheckUpdate", false}}, .page = offering13, .lastCheckAfter = nothing, .asked = false},
    DecisionRow{.name = "SwitchedOffButForced", .stored = {{"autoCheckUpdate", false}}, .page = offering13, .force = true, .offered = "1.3"},
    DecisionRow{.name = "NotFound", .stored = {{"updateLastCheckAt", now - 2 * day}}, .page = offering13, .status = 404,
                .lastCheckAfter = now - 2 * day},
    DecisionRow{.name = "NoVersionOnPage", .page = "<html>soon</html>", .lastCheckAfter = nothing},
    DecisionRow{.name = "NotUtf8", .page = offering13 + "\xff\xfe", .lastCheckAfter = nothing},
    DecisionRow{.name = "PageOverOneMegabyte", .page = "Orvane_1.3.dmg" + megabyte, .lastCheckAfter = nothing}),
    [](const auto &info) { return std::string(info.param.name); });

// A program that is closing does not wait for the page; otherwise the check runs off the main
// thread and asks for the alert on it.
TEST(UpdateChecker, AlertIsAskedForOnTheMainThreadUnlessClosing)
{
    Site site(pageOffering("2.0"));
    site.seed({});
    site.context.cancel = makeCancelFlag();
    *site.context.cancel = true;
    EXPECT_EQ(versionToOffer(true, site.context), std::nullopt);
    EXPECT_TRUE(site.server.requests().isEmpty());

    *site.context.cancel = false;
    std::optional<QString> shown;
    bool onMainThread = false;
    checkAndNotify(false, [&](const QString &latest) {
        shown = latest;
        onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    }, site.context);
    ASSERT_TRUE(waitUntil([&] { return shown.has_value(); }));
    EXPECT_EQ(shown, "2.0");
    EXPECT_TRUE(onMainThread);
}

TEST(UpdateVersions, NewestOnThePage)
{
    const QString longVersion = "1." + QString("1.").repeated(16) + "1"; // 35 characters
    const struct
    {
        const char *name;
        QString page;
        std::optional<QString> expected;
    } rows[] = {
        {"installers and a meta tag",
         R"(<meta name="app-latest-version" content="1.9"><a href="/d/Orvane_1.2.0.dmg">1.2</a>)"
         R"(<a href="/d/Orvane_1.10.dmg">1.10</a>)",
         "1.10"},
        {"meta tag only, single quotes, upper case", "<HEAD><META NAME = 'app-latest-version' CONTENT='2.1.3'></HEAD>", "2.1.3"},
        {"meta tag with other attributes between",
         R"(<meta charset="utf-8"><meta data-x="1" name="app-latest-version" id="v" content="3.0">)", "3.0"},
        {"meta tag newer than installers", R"(Orvane_1.0.dmg <meta name='app-latest-version' content='1.0.1'>)", "1.0.1"},
        {"no version", "<html><body>Orvane.dmg Orvane_.dmg Orvane_x.dmg</body></html>", std::nullopt},
        {"meta tag with another name", R"(<meta name="app-version" content="5.0">)", std::nullopt},
        {"installer version too long", "Orvane_" + longVersion + ".dmg Orvane_1.0.dmg", "1.0"},
        {"meta content of 32 characters", R"(<meta name="app-latest-version" content=")" + QString(32, u'9') + R"(">)", QString(32, u'9')},
    };
    for (const auto &row : rows)
        EXPECT_EQ(parseLatestVersion(row.page), row.expected) << row.name;
}

} // namespace

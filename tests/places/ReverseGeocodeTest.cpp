#include "FakeHttpServer.h"
#include "PlaceResolver.h"
#include "ReverseGeocoder.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Clock = RequestSpacing::Clock;

// A clock that moves only when the gate sleeps, and remembers until when each sleep was.
struct FakeTime
{
    std::mutex mutex;
    Clock::time_point now{};
    std::vector<Clock::time_point> sleeps;
    std::function<void()> onSleep = [] {};

    std::shared_ptr<RequestSpacing> gate()
    {
        return std::make_shared<RequestSpacing>(RequestSpacing::Timing{
            [this] {
                const std::lock_guard lock(mutex);
                return now;
            },
            [this](Clock::time_point until) {
                {
                    const std::lock_guard lock(mutex);
                    now = std::max(now, until);
                    sleeps.push_back(until);
                }
                onSleep();
            }});
    }
};

std::string nominatimAnswer(const QJsonObject &address, const QString &name)
{
    QJsonObject answer{{"place_id", 1}, {"lat", "0"}, {"lon", "0"}, {"address", address}};
    if (!name.isNull())
        answer.insert("name", name);
    return QJsonDocument(answer).toJson().toStdString();
}

const std::string wuhouci = nominatimAnswer({{"city", "成都市"}, {"suburb", "武侯区"}}, "武侯祠");

// A Nominatim stand-in that answers each request with the next of `answers` (the last one again
// once they run out).
struct FakeNominatim
{
    FakeHttpServer http;
    std::atomic<size_t> next = 0;

    explicit FakeNominatim(std::vector<std::pair<int, std::string>> answers = {{200, wuhouci}})
    {
        http.server().Get("/reverse", [this, answers](const httplib::Request &, httplib::Response &response) {
            const auto &[status, body] = answers.at(std::min(next++, answers.size() - 1));
            response.status = status;
            response.set_content(body, "application/json");
        });
        http.start();
    }
    QUrl base() const { return http.url(QString()); }
};

TEST(ReverseGeocode, NearbyPhotosShareOneRequest)
{
    FakeNominatim fake;
    FakeTime time;
    const ReverseGeocoder geocoder(fake.base(), time.gate());
    EXPECT_EQ(PlaceResolver::reverseGeocode({30.65712, 104.06601}, geocoder), QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(PlaceResolver::reverseGeocode({30.65749, 104.06588}, geocoder), QStringLiteral("成都市武侯区武侯祠"));

    const auto asked = fake.http.requests();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_NEAR(std::stod(asked[0].param("lat")), 30.65712, 1e-6);
    EXPECT_NEAR(std::stod(asked[0].param("lon")), 104.06601, 1e-6);
    EXPECT_EQ(asked[0].param("format"), "jsonv2");
    EXPECT_EQ(asked[0].param("accept-language"), "zh-CN");
    EXPECT_EQ(asked[0].param("zoom"), "18");
    EXPECT_EQ(asked[0].header("User-Agent"), "Orvane/" ORVANE_TEST_VERSION " (video and photo naming desktop app)");

    // The next grid square asks again.
    EXPECT_TRUE(PlaceResolver::reverseGeocode({30.65812, 104.06601}, geocoder));
    EXPECT_EQ(fake.http.requests().size(), 2);
}

// Every caller, from any thread and any geocoder sharing the gate, gets its answer in a slot of
// its own, 1.1 s after the one before.
TEST(ReverseGeocode, RequestsQueueForSlotsMoreThanASecondApart)
{
    FakeNominatim fake;
    FakeTime time;
    const auto gate = time.gate();
    const ReverseGeocoder geocoder(fake.base(), gate);
    const ReverseGeocoder other(fake.base(), gate);
    EXPECT_TRUE(geocoder.lookup({1.0, 2.0}));
    EXPECT_TRUE(time.sleeps.empty());
    EXPECT_TRUE(other.lookup({3.0, 4.0}));
    ASSERT_FALSE(time.sleeps.empty());
    EXPECT_EQ(time.sleeps.back() - Clock::time_point{}, 1100ms);

    std::vector<std::optional<QString>> names(3);
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([&, i] { names[i] = PlaceResolver::reverseGeocode({-10.0 - i, 20.0}, i % 2 ? other : geocoder); });
    for (std::thread &thread : threads)
        thread.join();
    for (const auto &name : names)
        EXPECT_EQ(name, QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(fake.http.requests().size(), 5);
    EXPECT_EQ(*std::max_element(time.sleeps.begin(), time.sleeps.end()) - Clock::time_point{}, 4400ms);

    // After a long pause the next caller goes at once.
    time.now += 10s;
    const size_t slept = time.sleeps.size();
    EXPECT_TRUE(geocoder.lookup({5.0, 6.0}));
    EXPECT_EQ(time.sleeps.size(), slept);
}

TEST(ReverseGeocode, ACancelledLookupAsksNothing)
{
    FakeNominatim fake;
    FakeTime time;
    const CancelFlag cancel = makeCancelFlag();
    const ReverseGeocoder geocoder = ReverseGeocoder(fake.base(), time.gate()).cancelledBy(cancel);
    EXPECT_TRUE(geocoder.lookup({1.0, 2.0}));
    time.onSleep = [cancel] { *cancel = true; };
    EXPECT_FALSE(geocoder.lookup({3.0, 4.0})); // cancelled while waiting its turn
    EXPECT_EQ(time.sleeps.size(), 1u) << "the wait goes on after the cancel";
    EXPECT_FALSE(geocoder.lookup({5.0, 6.0})); // and before it
    EXPECT_EQ(fake.http.requests().size(), 1);
}

// On the real clock a cancel ends the wait for the next slot within moments, not 1.1 s later.
TEST(ReverseGeocode, TheRealClockWaitsUntilCancelled)
{
    RequestSpacing gate;
    EXPECT_TRUE(gate.waitForTurn(nullptr));
    const CancelFlag cancel = makeCancelFlag();
    std::thread stopper([cancel] {
        std::this_thread::sleep_for(100ms);
        *cancel = true;
    });
    const auto started = Clock::now();
    EXPECT_FALSE(gate.waitForTurn(cancel));
    stopper.join();
    EXPECT_GE(Clock::now() - started, 100ms);
    EXPECT_LT(Clock::now() - started, 600ms);
}

TEST(ReverseGeocode, FailuresAreNotRemembered)
{
    FakeNominatim fake({{503, "busy"},
                        {200, R"({"error":"Unable to geocode"})"},
                        {200, "not json"},
                        {200, nominatimAnswer({{"country", "中国"}}, "")}, // nothing usable
                        {200, wuhouci}});
    FakeTime time;
    const ReverseGeocoder geocoder(fake.base(), time.gate());
    const GeoCoordinate here{31.2304, 121.4737};
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(PlaceResolver::reverseGeocode(here, geocoder)) << "attempt " << i;
    EXPECT_EQ(PlaceResolver::reverseGeocode(here, geocoder), QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(PlaceResolver::reverseGeocode(here, geocoder), QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(fake.http.requests().size(), 5);
    // Through the program's own gate, on the real clock: the first request goes at once.
    EXPECT_FALSE(PlaceResolver::reverseGeocode({-45.0, 170.0}, ReverseGeocoder(FakeHttpServer::refusedUrl(""))));
}

struct PartsCase
{
    const char *what;
    QJsonObject address;
    QString name;
    std::optional<QString> expected;
};

TEST(ReverseGeocode, PlacemarkPartsJoined)
{
    const std::vector<PartsCase> cases{
        {"city, district, name", {{"city", "成都市"}, {"city_district", "锦江区"}}, "春熙路", "成都市锦江区春熙路"},
        {"town and suburb", {{"town", "上里镇"}, {"suburb", "上里村"}}, QString(), "上里镇上里村"},
        {"village, district", {{"village", "黄龙溪"}, {"district", "双流区"}}, "", "黄龙溪双流区"},
        {"city before town", {{"city", "雅安市"}, {"town", "上里镇"}}, QString(), "雅安市"},
        {"suburb before district", {{"suburb", "武侯区"}, {"district", "成都"}}, QString(), "武侯区"},
        {"name equal to city once", {{"city", "上海市"}}, "上海市", "上海市"},
        {"twelve characters kept", {{"city", "成都市"}}, "一二三四五六七八九十一二", "成都市一二三四五六七八九十一二"},
        {"thirteen characters dropped", {{"city", "成都市"}}, "一二三四五六七八九十一二三", "成都市"},
        {"combining marks count once", {}, QString::fromUtf8("Cafe\u0301 du Parc"), QString::fromUtf8("Cafe\u0301 du Parc")},
        {"spaces and tabs trimmed", {{"city", " \t成都市\u3000"}}, "成都市 ", "成都市"},
        {"only a name", {}, "天安门", "天安门"},
        {"nothing but a too long name", {}, "中华人民共和国四川省成都市武侯区", std::nullopt},
    };
    std::vector<std::pair<int, std::string>> answers;
    for (const PartsCase &row : cases)
        answers.emplace_back(200, nominatimAnswer(row.address, row.name));
    FakeNominatim fake(answers);
    FakeTime time;
    const ReverseGeocoder geocoder(fake.base(), time.gate());
    // Each row has its own latitude so the cache never answers for the service.
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(PlaceResolver::reverseGeocode({double(i), 77.0}, geocoder), cases[i].expected);
    }
}

} // namespace

#include "FakeHttpServer.h"
#include "PlaceResolver.h"
#include "ReverseGeocoder.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

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
    CancelFlag cancelOnSleep; // set at each sleep, when given

    std::shared_ptr<RequestSpacing> gate()
    {
        return std::make_shared<RequestSpacing>(RequestSpacing::Timing{
            [this] {
                const std::lock_guard lock(mutex);
                return now;
            },
            [this](Clock::time_point until) {
                const std::lock_guard lock(mutex);
                now = std::max(now, until);
                sleeps.push_back(until);
                if (cancelOnSleep)
                    *cancelOnSleep = true;
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

// One request for photos within about 100 m; a failure is not remembered, so the next photo there
// asks again. A lookup that is cancelled ends without asking.
TEST(ReverseGeocode, NearbyPhotosShareOneRequestThatWorkedAndACancelledOneAsksNothing)
{
    FakeNominatim fake({{503, "busy"},
                        {200, R"({"error":"Unable to geocode"})"},
                        {200, "not json"},
                        {200, nominatimAnswer({{"country", "中国"}}, "")}, // nothing usable
                        {200, wuhouci}});
    FakeTime time;
    const ReverseGeocoder geocoder(fake.base(), time.gate());
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(PlaceResolver::reverseGeocode({30.65712, 104.06601}, geocoder)) << "attempt " << i;
    EXPECT_EQ(PlaceResolver::reverseGeocode({30.65712, 104.06601}, geocoder), QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(PlaceResolver::reverseGeocode({30.65749, 104.06588}, geocoder), QStringLiteral("成都市武侯区武侯祠"));

    const auto asked = fake.http.requests();
    ASSERT_EQ(asked.size(), 5);
    EXPECT_NEAR(std::stod(asked[0].param("lat")), 30.65712, 1e-6);
    EXPECT_NEAR(std::stod(asked[0].param("lon")), 104.06601, 1e-6);

    // The next grid square asks again.
    EXPECT_TRUE(PlaceResolver::reverseGeocode({30.65812, 104.06601}, geocoder));
    EXPECT_EQ(fake.http.requests().size(), 6);

    // Cancelled while waiting its turn, a lookup stops at its next look at the flag, well before
    // its slot; cancelled, it asks nothing.
    const CancelFlag cancel = makeCancelFlag();
    time.cancelOnSleep = cancel;
    const size_t slept = time.sleeps.size();
    EXPECT_FALSE(geocoder.cancelledBy(cancel).lookup({3.0, 4.0}));
    ASSERT_EQ(time.sleeps.size(), slept + 1) << "the wait went on after the cancel";
    EXPECT_LT(time.sleeps.back(), time.sleeps[slept - 1] + 1100ms) << "slept until the slot without looking at the flag";
    EXPECT_FALSE(geocoder.cancelledBy(cancel).lookup({5.0, 6.0}));
    EXPECT_EQ(fake.http.requests().size(), 6);

    // Through the program's own gate, on the real clock: the first request goes at once, the next
    // a slot later.
    for (const GeoCoordinate there : {GeoCoordinate{-45.0, 170.0}, GeoCoordinate{-46.0, 170.0}})
        EXPECT_FALSE(PlaceResolver::reverseGeocode(there, ReverseGeocoder(FakeHttpServer::refusedUrl(""))));
}

// Callers from any thread queue for slots 1.1 s apart, the first at once; after a long pause the
// next goes at once again, and the one after it waits from then.
TEST(RequestSpacing, SlotsMoreThanASecondApart)
{
    FakeTime time;
    const auto gate = time.gate();
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&gate] { EXPECT_TRUE(gate->waitForTurn(nullptr)); });
    for (std::thread &thread : threads)
        thread.join();
    ASSERT_FALSE(time.sleeps.empty());
    EXPECT_EQ(*std::max_element(time.sleeps.begin(), time.sleeps.end()) - Clock::time_point{}, 3300ms);

    time.now += 10s;
    const size_t slept = time.sleeps.size();
    EXPECT_TRUE(gate->waitForTurn(nullptr));
    EXPECT_EQ(time.sleeps.size(), slept);
    EXPECT_TRUE(gate->waitForTurn(nullptr));
    EXPECT_EQ(time.sleeps.back() - Clock::time_point{}, 3300ms + 10s + 1100ms) << "spaced from a slot long past";
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
        {"city before town, city district, name",
         {{"city", "成都市"}, {"town", "上里镇"}, {"city_district", "锦江区"}}, "春熙路", "成都市锦江区春熙路"},
        {"town before village, suburb before district",
         {{"village", "黄龙溪"}, {"town", "上里镇"}, {"district", "双流区"}, {"suburb", "上里村"}}, QString(), "上里镇上里村"},
        {"village, district, empty name", {{"village", "黄龙溪"}, {"district", "双流区"}}, "", "黄龙溪双流区"},
        {"thirteen characters dropped, twelve kept, a combining mark counting once",
         {{"city", "一二三四五六七八九十一二三"}}, QString::fromUtf8("Cafe\u0301 du Parc"), QString::fromUtf8("Cafe\u0301 du Parc")},
        {"trimmed, then the same part once", {{"city", " \t成都市\u3000"}}, "成都市 ", "成都市"},
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

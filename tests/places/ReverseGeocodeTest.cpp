#include "FakeHttpServer.h"
#include "Fixtures.h"
#include "PlaceResolver.h"
#include "ReverseGeocoder.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// A Nominatim stand-in that answers through a test's function and keeps what each request asked.
class FakeNominatim
{
public:
    struct Answer
    {
        int status = 200;
        std::string body;
    };
    struct Asked
    {
        double latitude;
        double longitude;
        std::string format, language, zoom, userAgent;
        Clock::time_point arrival;
    };
    using Responder = std::function<Answer(double latitude, double longitude)>;

    explicit FakeNominatim(Responder responder)
        : m_responder(std::move(responder))
    {
        m_fake.server().Get("/reverse", [this](const httplib::Request &request, httplib::Response &response) {
            Asked asked{std::stod(request.get_param_value("lat")),
                        std::stod(request.get_param_value("lon")),
                        request.get_param_value("format"),
                        request.get_param_value("accept-language"),
                        request.get_param_value("zoom"),
                        request.get_header_value("User-Agent"),
                        Clock::now()};
            const Answer answer = m_responder(asked.latitude, asked.longitude);
            {
                const std::lock_guard lock(m_mutex);
                m_asked.push_back(asked);
            }
            response.status = answer.status;
            response.set_content(answer.body, "application/json");
        });
        m_fake.start();
    }

    QUrl base() const { return m_fake.url(QString()); }
    std::vector<Asked> asked() const
    {
        m_fake.requests(); // waits for answers still in flight
        const std::lock_guard lock(m_mutex);
        return m_asked;
    }

private:
    Responder m_responder;
    FakeHttpServer m_fake;
    mutable std::mutex m_mutex;
    std::vector<Asked> m_asked;
};

std::string nominatimAnswer(const QJsonObject &address, const QString &name)
{
    QJsonObject answer{{"place_id", 1}, {"lat", "0"}, {"lon", "0"}, {"address", address}};
    if (!name.isNull())
        answer.insert("name", name);
    return QJsonDocument(answer).toJson().toStdString();
}

FakeNominatim::Answer placeAnswer(double, double)
{
    return {200, nominatimAnswer({{"city", "成都市"}, {"suburb", "武侯区"}}, "武侯祠")};
}

TEST(ReverseGeocode, NearbyPhotosShareOneRequest)
{
    FakeNominatim fake(placeAnswer);
    const ReverseGeocoder geocoder(fake.base());
    EXPECT_EQ(PlaceResolver::reverseGeocode({30.65712, 104.06601}, geocoder), QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(PlaceResolver::reverseGeocode({30.65749, 104.06588}, geocoder), QStringLiteral("成都市武侯区武侯祠"));

    const auto asked = fake.asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NEAR(asked[0].latitude, 30.65712, 1e-6);
    EXPECT_NEAR(asked[0].longitude, 104.06601, 1e-6);
    EXPECT_EQ(asked[0].format, "jsonv2");
    EXPECT_EQ(asked[0].language, "zh-CN");
    EXPECT_EQ(asked[0].zoom, "18");
    EXPECT_EQ(asked[0].userAgent, "Orvane/" ORVANE_TEST_VERSION " (video and photo naming desktop app)");

    // The next grid square asks again.
    EXPECT_TRUE(PlaceResolver::reverseGeocode({30.65812, 104.06601}, geocoder));
    EXPECT_EQ(fake.asked().size(), 2u);
}

TEST(ReverseGeocode, RequestsInARowAreMoreThanASecondApart)
{
    FakeNominatim fake(placeAnswer);
    const ReverseGeocoder geocoder(fake.base());
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(geocoder.lookup({1.0, 2.0}));
    EXPECT_TRUE(geocoder.lookup({3.0, 4.0}));
    EXPECT_GE(Clock::now() - start, 1100ms);
}

TEST(ReverseGeocode, Issue18ACancelledLookupAsksNothing)
{
    FakeNominatim fake(placeAnswer);
    const CancelFlag cancel = makeCancelFlag();
    const ReverseGeocoder geocoder = ReverseGeocoder(fake.base()).cancelledBy(cancel);
    EXPECT_TRUE(geocoder.lookup({1.0, 2.0}));
    std::thread stopper([cancel] {
        std::this_thread::sleep_for(200ms);
        *cancel = true;
    });
    EXPECT_FALSE(geocoder.lookup({3.0, 4.0})); // cancelled while waiting its turn
    stopper.join();
    EXPECT_EQ(fake.asked().size(), 1u);
}

TEST(ReverseGeocode, ConcurrentCallersQueueAndAllGetAnswers)
{
    FakeNominatim fake(placeAnswer);
    const ReverseGeocoder geocoder(fake.base());
    const ReverseGeocoder other(fake.base()); // the gate is shared by every instance
    std::vector<std::optional<QString>> names(3);
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([&, i] {
            names[i] = PlaceResolver::reverseGeocode({-10.0 - i, 20.0}, i % 2 ? other : geocoder);
        });
    for (std::thread &thread : threads)
        thread.join();
    for (const auto &name : names)
        EXPECT_EQ(name, QStringLiteral("成都市武侯区武侯祠"));

    const auto asked = fake.asked();
    ASSERT_EQ(asked.size(), 3u);
    // Arrivals carry the send spacing give or take the loopback delay.
    for (size_t i = 1; i < asked.size(); ++i)
        EXPECT_GE(asked[i].arrival - asked[i - 1].arrival, 1050ms) << "request " << i;
}

TEST(ReverseGeocode, FailuresAreNotRemembered)
{
    int calls = 0;
    FakeNominatim fake([&calls](double, double) -> FakeNominatim::Answer {
        switch (calls++) {
        case 0:
            return {503, "busy"};
        case 1:
            return {200, R"({"error":"Unable to geocode"})"};
        case 2:
            return {200, "not json"};
        case 3:
            return {200, nominatimAnswer({{"country", "中国"}}, "")}; // nothing usable
        default:
            return placeAnswer(0, 0);
        }
    });
    const ReverseGeocoder geocoder(fake.base());
    const GeoCoordinate here{31.2304, 121.4737};
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(PlaceResolver::reverseGeocode(here, geocoder)) << "attempt " << i;
    EXPECT_EQ(PlaceResolver::reverseGeocode(here, geocoder), QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(PlaceResolver::reverseGeocode(here, geocoder), QStringLiteral("成都市武侯区武侯祠"));
    EXPECT_EQ(fake.asked().size(), 5u);
}

TEST(ReverseGeocode, UnreachableServiceGivesNothing)
{
    // A port that was free a moment ago and has no listener.
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length), 0);
    ::close(socket);
    const QUrl closed(QStringLiteral("http://127.0.0.1:%1").arg(ntohs(address.sin_port)));
    EXPECT_FALSE(PlaceResolver::reverseGeocode({-45.0, 170.0}, ReverseGeocoder(closed)));
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
    std::vector<std::string> bodies;
    for (const PartsCase &row : cases)
        bodies.push_back(nominatimAnswer(row.address, row.name));
    // Each row has its own latitude so the cache never answers for the service.
    FakeNominatim fake([&bodies](double latitude, double) -> FakeNominatim::Answer {
        return {200, bodies.at(static_cast<size_t>(std::lround(latitude)))};
    });
    const ReverseGeocoder geocoder(fake.base());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(PlaceResolver::reverseGeocode({double(i), 77.0}, geocoder), cases[i].expected);
    }
}

} // namespace

#include "ReverseGeocoder.h"

#include "HttpClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <chrono>
#include <mutex>
#include <thread>

namespace {

// The public service's usage policy allows one request a second from the whole program; the margin
// keeps two requests from landing within one second at the service's end.
constexpr auto minimumSpacing = std::chrono::milliseconds(1100);
constexpr auto cancelCheck = std::chrono::milliseconds(50);

std::optional<QString> firstText(const QJsonObject &object, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isString() && !value.toString().isEmpty())
            return value.toString();
    }
    return std::nullopt;
}

QUrl reverseUrl(const QUrl &base, GeoCoordinate coordinate)
{
    QUrl url = base;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("reverse"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("format"), QStringLiteral("jsonv2"));
    query.addQueryItem(QStringLiteral("lat"), QString::number(coordinate.latitude, 'f', 7));
    query.addQueryItem(QStringLiteral("lon"), QString::number(coordinate.longitude, 'f', 7));
    query.addQueryItem(QStringLiteral("accept-language"), QStringLiteral("zh-CN"));
    query.addQueryItem(QStringLiteral("zoom"), QStringLiteral("18"));
    url.setQuery(query);
    return url;
}

} // namespace

RequestSpacing::RequestSpacing()
    : RequestSpacing(Timing{})
{
}

RequestSpacing::RequestSpacing(Timing timing)
    : m_timing(std::move(timing))
{
}

std::shared_ptr<RequestSpacing> RequestSpacing::shared()
{
    static const auto gate = std::make_shared<RequestSpacing>();
    return gate;
}

// The lock covers only the reservation, so waiting callers queue behind each other without one
// sleeping thread blocking the rest.
bool RequestSpacing::waitForTurn(const CancelFlag &cancel)
{
    Clock::time_point slot;
    {
        const std::lock_guard lock(m_mutex);
        const Clock::time_point now = m_timing.now();
        slot = m_lastSlot ? std::max(now, *m_lastSlot + minimumSpacing) : now;
        m_lastSlot = slot;
    }
    while (m_timing.now() < slot) {
        if (isCancelled(cancel))
            return false;
        m_timing.sleepUntil(std::min(slot, m_timing.now() + cancelCheck));
    }
    return !isCancelled(cancel);
}

ReverseGeocoder::ReverseGeocoder(QUrl base, std::shared_ptr<RequestSpacing> gate)
    : m_base(std::move(base))
    , m_gate(std::move(gate))
{
}

ReverseGeocoder ReverseGeocoder::cancelledBy(CancelFlag cancel) const
{
    ReverseGeocoder copy = *this;
    copy.m_cancel = std::move(cancel);
    return copy;
}

QByteArray ReverseGeocoder::userAgent()
{
    return QByteArrayLiteral("Orvane/" ORVANE_VERSION " (video and photo naming desktop app)");
}

std::optional<Placemark> ReverseGeocoder::lookup(GeoCoordinate coordinate) const
{
    HttpRequest request;
    request.url = reverseUrl(m_base, coordinate);
    request.headers = {{"User-Agent", userAgent()}, {"Accept", "application/json"}};
    request.timeout = std::chrono::seconds(15);
    request.maxBody = 1024 * 1024;
    request.cancel = m_cancel;

    if (isCancelled(m_cancel) || !m_gate->waitForTurn(m_cancel))
        return std::nullopt;
    const auto response = HttpClient::send(request);
    if (!response || !response->isSuccess())
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(response->body);
    // A position the service knows nothing about comes back as {"error": "..."}.
    if (!document.isObject() || document.object().contains(QLatin1String("error")))
        return std::nullopt;
    const QJsonObject answer = document.object();
    const QJsonObject address = answer.value(QLatin1String("address")).toObject();
    Placemark placemark;
    placemark.locality = firstText(address, {"city", "town", "village"});
    placemark.subLocality = firstText(address, {"suburb", "city_district", "district"});
    placemark.name = firstText(answer, {"name"});
    return placemark;
}

#include "InstantOllama.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

namespace Bench {

InstantOllama::InstantOllama(const std::string &reply)
{
    const QJsonObject answer{{"model", "m"}, {"response", QString::fromStdString(reply)}, {"done", true}};
    const std::string body = QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString();
    // Not a JSON type, so cpp-httplib sends it as it is instead of compressing it.
    m_server.routes().Post("/api/generate", [this, body](const httplib::Request &, httplib::Response &response) {
        std::chrono::steady_clock::rep none = 0;
        m_firstQuestion.compare_exchange_strong(none, std::chrono::steady_clock::now().time_since_epoch().count());
        response.set_content(body, "application/x-ndjson");
    });
    m_server.start();
}

std::optional<std::chrono::steady_clock::time_point> InstantOllama::firstQuestion() const
{
    const auto ticks = m_firstQuestion.load();
    if (ticks == 0)
        return std::nullopt;
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(ticks));
}

} // namespace Bench

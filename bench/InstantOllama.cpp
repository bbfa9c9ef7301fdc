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
    m_server.Post("/api/generate", [this, body](const httplib::Request &, httplib::Response &response) {
        std::chrono::steady_clock::rep none = 0;
        m_firstQuestion.compare_exchange_strong(none, std::chrono::steady_clock::now().time_since_epoch().count());
        response.set_content(body, "application/x-ndjson");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

InstantOllama::~InstantOllama()
{
    m_server.stop();
    if (m_thread.joinable())
        m_thread.join();
}

QUrl InstantOllama::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

std::optional<std::chrono::steady_clock::time_point> InstantOllama::firstQuestion() const
{
    const auto ticks = m_firstQuestion.load();
    if (ticks == 0)
        return std::nullopt;
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(ticks));
}

} // namespace Bench

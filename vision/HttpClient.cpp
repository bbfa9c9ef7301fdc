#include "HttpClient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QTimer>

#include <cstring>
#include <thread>

namespace HttpClient {

namespace {

const QString timedOut = QStringLiteral("请求超时：服务器长时间没有响应");
const QString replyTooLarge = QStringLiteral("服务器返回的数据过大，已停止接收");
const QString cancelled = QStringLiteral("请求已取消");
constexpr qint64 readAhead = 1024 * 1024;

HttpError cancelledError()
{
    return {HttpError::Kind::cancelled, QNetworkReply::OperationCanceledError, cancelled};
}

bool waitUnlessCancelled(std::chrono::milliseconds wait, const CancelFlag &cancel)
{
    const auto end = std::chrono::steady_clock::now() + wait;
    while (!isCancelled(cancel) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(50), end - std::chrono::steady_clock::now()));
    return !isCancelled(cancel);
}

// Why a request got no answer, in words a user can act on; Qt's own text follows in parentheses
// for whoever has to look closer.
QString transportMessage(QNetworkReply::NetworkError error, const QUrl &url, const QString &detail)
{
    const QString server = url.port() > 0 ? QStringLiteral("%1:%2").arg(url.host()).arg(url.port()) : url.host();
    QString reason;
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        reason = QStringLiteral("无法连接到 %1，请确认服务已启动且地址正确").arg(server);
        break;
    case QNetworkReply::HostNotFoundError:
        reason = QStringLiteral("找不到服务器 %1，请检查地址是否正确").arg(server);
        break;
    case QNetworkReply::TimeoutError:
        reason = QStringLiteral("连接 %1 超时").arg(server);
        break;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ContentReSendError: // the server hung up; a body is never sent twice
        reason = QStringLiteral("连接在传输途中断开");
        break;
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        reason = QStringLiteral("与 %1 建立安全连接失败").arg(server);
        break;
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        reason = QStringLiteral("无法通过代理连接到 %1").arg(server);
        break;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        reason = QStringLiteral("网络暂时不可用，请检查网络连接");
        break;
    default:
        reason = QStringLiteral("与 %1 通信失败").arg(server);
        break;
    }
    return detail.isEmpty() ? reason : reason + QStringLiteral("（") + detail + QStringLiteral("）");
}

// A request body that can be read once only. Qt sends a request again on a new connection when the
// server hung up without answering, which for a POST to a paid service is a second bill; it can
// only do that with a body it can rewind, so a body that cannot be rewound ends the request instead.
class BodyReadOnce : public QIODevice
{
public:
    explicit BodyReadOnce(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_bytes.size() - m_at + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = std::min(maxSize, m_bytes.size() - m_at);
        std::memcpy(data, m_bytes.constData() + m_at, size_t(count));
        m_at += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

class Exchange
{
public:
    Exchange(const HttpRequest &request, const LineHandler *onLine)
        : m_request(request)
        , m_onLine(onLine)
    {
    }

    std::expected<HttpResponse, HttpError> run()
    {
        if (isCancelled(m_request.cancel))
            return std::unexpected(cancelledError());
        QNetworkAccessManager network;
        QNetworkRequest request(m_request.url);
        for (const auto &[name, value] : m_request.headers)
            request.setRawHeader(name, value);
        // A compressed stream arrives only when the compressor flushes, often at its very end.
        if (m_onLine)
            request.setRawHeader("Accept-Encoding", "identity");
        QNetworkReply *reply = nullptr;
        if (m_request.method == "GET") {
            reply = network.get(request);
        } else {
            request.setHeader(QNetworkRequest::ContentLengthHeader, m_request.body.size());
            request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
            auto *body = new BodyReadOnce(m_request.body);
            reply = network.sendCustomRequest(request, m_request.method, body);
            body->setParent(reply);
        }
        // Qt reads ahead without limit otherwise, so a flood would be in memory before any cap is checked.
        reply->setReadBufferSize(readAhead);
        // Qt hands the limit to its network thread only for a request already started, and one with
        // a body starts when the event loop first turns: say it again then.
        QTimer::singleShot(0, reply, [reply] { reply->setReadBufferSize(readAhead); });
        m_reply = reply;

        QEventLoop loop;
        QTimer silence;
        silence.setSingleShot(true);
        silence.setInterval(m_request.timeout);
        const auto stillAlive = [&] { silence.start(); };
        QObject::connect(&silence, &QTimer::timeout, &loop, [&] { fail(HttpError::Kind::timeout, timedOut); });
        QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, stillAlive);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, stillAlive);
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            stillAlive();
            take();
        });
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        // Nothing can wake this loop from the thread that cancels, so it looks now and then.
        QTimer watch;
        if (m_request.cancel) {
            QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
                if (isCancelled(m_request.cancel))
                    fail(HttpError::Kind::cancelled, cancelled);
            });
            watch.start(100);
        }
        silence.start();
        loop.exec();

        if (m_error)
            return std::unexpected(*m_error);
        take();
        if (m_error)
            return std::unexpected(*m_error);
        m_response.status = status();
        m_response.retryAfter = reply->rawHeader("Retry-After");
        // Codes below 200 are the connection's own failures (refused, closed, proxy): a body cut
        // off after the head arrived is one of them, not an answer; so is any failure after a
        // success status, such as a body that would not decompress. Otherwise the codes only
        // restate the HTTP status, which the caller reads.
        const QNetworkReply::NetworkError error = reply->error();
        const bool connectionFailed = error != QNetworkReply::NoError
            && (error < QNetworkReply::ContentAccessDenied || (status() >= 200 && status() <= 299));
        if ((m_response.status == 0 || connectionFailed) && error != QNetworkReply::NoError && !m_stopped)
            return std::unexpected(
                HttpError{HttpError::Kind::transport, error, transportMessage(error, m_request.url, reply->errorString())});
        // Qt now and then ends a body cut short without an error; the announced length tells.
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!m_stopped && announced.isValid() && m_received < announced.toLongLong())
            return std::unexpected(HttpError{HttpError::Kind::transport, QNetworkReply::RemoteHostClosedError,
                                             transportMessage(QNetworkReply::RemoteHostClosedError, m_request.url, {})});
        if (m_onLine && !m_stopped && !m_pending.isEmpty()) {
            m_response.endedMidLine = true;
            (*m_onLine)(m_response.status, m_pending);
        }
        return m_response;
    }

private:
    void fail(HttpError::Kind kind, const QString &message)
    {
        if (m_error)
            return;
        m_error = HttpError{kind, QNetworkReply::OperationCanceledError, message};
        m_reply->abort();
    }

    int status() const { return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); }

    qint64 cap() const
    {
        return status() >= 200 && status() <= 299 ? m_request.maxBody : m_request.maxErrorBody;
    }

    // Past the first read's worth a buffer takes room for all it may hold at once: grown step by
    // step it would be copied at every doubling and, near its cap, cost several times the cap.
    void growOnce(QByteArray &buffer) const
    {
        if (buffer.size() >= readAhead && buffer.capacity() < cap() + readAhead)
            buffer.reserve(cap() + readAhead);
    }

    void take()
    {
        if (m_error || m_stopped)
            return;
        if (!m_onLine) {
            // Never more than the cap plus one byte is taken in: past the cap the request ends.
            const QByteArray chunk = m_reply->read(cap() - m_response.body.size() + 1);
            if (m_response.body.size() + chunk.size() > cap()) {
                fail(HttpError::Kind::tooLarge, replyTooLarge);
                return;
            }
            growOnce(m_response.body);
            m_response.body += chunk;
            m_received += chunk.size();
            return;
        }
        growOnce(m_pending);
        const QByteArray chunk = m_reply->readAll();
        m_received += chunk.size();
        m_pending += chunk;
        qsizetype end;
        // Only what arrived since the last look is searched, so a long line costs its length once.
        while (!m_stopped && (end = m_pending.indexOf('\n', m_searched)) >= 0) {
            m_searched = 0;
            QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            if (!(*m_onLine)(status(), line)) {
                m_stopped = true;
                m_reply->abort();
            }
        }
        m_searched = m_pending.size();
        // A stream may run for hours; what must stay bounded is the line still being received.
        if (!m_stopped && m_pending.size() > cap())
            fail(HttpError::Kind::tooLarge, replyTooLarge);
    }

    const HttpRequest &m_request;
    const LineHandler *m_onLine;
    QNetworkReply *m_reply = nullptr;
    HttpResponse m_response;
    std::optional<HttpError> m_error;
    QByteArray m_pending;
    qsizetype m_searched = 0; // m_pending holds no line break before this
    qint64 m_received = 0;
    bool m_stopped = false;
};

} // namespace

std::expected<HttpResponse, HttpError> send(const HttpRequest &request)
{
    if (!request.gate)
        return Exchange(request, nullptr).run();
    RequestGate &gate = *request.gate;
    if (!gate.enter(request.cancel))
        return std::unexpected(cancelledError());
    const auto leave = qScopeGuard([&gate] { gate.leave(); });
    // Held from the first "not now" until this question is answered or given up.
    std::optional<RequestGate::RetryWait> retrying;
    for (int retry = 0;; ++retry) {
        auto answer = Exchange(request, nullptr).run();
        if (!answer)
            return answer;
        if (!RequestGate::isBusyStatus(answer->status)) {
            gate.answered();
            return answer;
        }
        gate.turnedAway();
        // Only a reply that says "not now" is asked again; it was not acted on.
        if (retry == RequestGate::retries)
            return answer;
        if (!retrying)
            retrying.emplace(gate);
        if (!waitUnlessCancelled(RequestGate::retryDelay(answer->retryAfter, retry), request.cancel))
            return std::unexpected(cancelledError());
    }
}

std::expected<HttpResponse, HttpError> sendStreaming(const HttpRequest &request, const LineHandler &onLine)
{
    return Exchange(request, &onLine).run();
}

} // namespace HttpClient

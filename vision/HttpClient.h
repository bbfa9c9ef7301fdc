#pragma once

// Blocking HTTP for worker threads: each call makes its own network manager and waits in a local
// event loop, so no state is shared between jobs. Never call it on the main thread.

#include "CancelFlag.h"
#include "RequestGate.h"

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QString>
#include <QUrl>

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <utility>

struct HttpRequest
{
    QByteArray method = "GET";
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // The longest wait for data: the request fails when nothing arrives for this long.
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
    // Bodies beyond these sizes end the request with HttpError::tooLarge rather than filling memory;
    // for a stream of lines, the cap is on one line.
    qint64 maxBody = 16 * 1024 * 1024;
    qint64 maxErrorBody = 64 * 1024;
    CancelFlag cancel;
    // For the questions a busy service may turn away: each waits for its place at the gate, and a
    // 429 or 503 is asked again after the server's Retry-After, a few times at most.
    std::shared_ptr<RequestGate> gate;
};

struct HttpResponse
{
    int status = 0;
    QByteArray body;
    // A stream whose last line had no line terminator. Qt does not always report a chunked body
    // cut off by a closed connection, so callers that know their lines end in one check this.
    bool endedMidLine = false;
    QByteArray retryAfter; // the header as sent; empty without one

    bool isSuccess() const { return status >= 200 && status <= 299; }
};

// A request that got no complete HTTP answer. `message` is what the user is shown.
struct HttpError
{
    enum class Kind { transport, timeout, tooLarge, cancelled };
    Kind kind = Kind::transport;
    QNetworkReply::NetworkError code = QNetworkReply::NoError;
    QString message;

    // The server hung up before its answer ended (Qt says so in two ways).
    bool closedByPeer() const
    {
        return code == QNetworkReply::RemoteHostClosedError || code == QNetworkReply::ContentReSendError;
    }
};

namespace HttpClient {

// Any status counts as an answer; the caller reads error statuses from the body.
std::expected<HttpResponse, HttpError> send(const HttpRequest &request);

// Hands each line of the body to onLine, with the response's status, as it arrives and without its
// line terminator; a last line without one is handed over at the end. onLine returns false to stop
// reading. The response's body stays empty.
using LineHandler = std::function<bool(int status, const QByteArray &line)>;
std::expected<HttpResponse, HttpError> sendStreaming(const HttpRequest &request, const LineHandler &onLine);

} // namespace HttpClient

#pragma once

// The local Ollama server over its HTTP API: a described picture, the installed models, a model
// download with live progress. Every call blocks; run it on a worker thread.

#include "HttpClient.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <expected>
#include <functional>
#include <optional>
#include <variant>

// One installed model as /api/tags lists it; identified by its name.
struct OllamaModel
{
    QString name;
    std::optional<qint64> size;
    std::optional<QString> modifiedAt;

    bool operator==(const OllamaModel &) const = default;
};

inline size_t qHash(const OllamaModel &model, size_t seed = 0)
{
    return qHash(model.name, seed);
}

// What the user is told when Ollama answered with a failure. The client raises only http; notRunning
// is for callers that find no server at all.
struct OllamaError
{
    enum class Kind { notRunning, http };
    Kind kind = Kind::http;
    int status = 0; // 0 when the failure came without an HTTP status, such as an error line in a download
    QString body;

    static OllamaError http(int status, const QString &body) { return {Kind::http, status, body}; }
    static OllamaError notRunning() { return {Kind::notRunning, 0, {}}; }
    QString errorDescription() const;
};

// A reply that arrived but is not what was asked for: not JSON, or without the member we read.
struct OllamaReplyError
{
    QString message;
};

// Why a call failed. A variant rather than one flattened error type: the HTTP layer's errors stay
// whole (time-out, refused, too large, with the network stack's own message shown unchanged), and
// OllamaError keeps exactly the cases other code raises and matches on.
using OllamaFailure = std::variant<OllamaError, HttpError, OllamaReplyError>;

// The line the user sees for any failure.
QString errorDescription(const OllamaFailure &failure);

// The longest wait for data per request; generous because local models can think for minutes and
// a download's lines may pause. Tests shorten them.
struct OllamaTimeouts
{
    std::chrono::milliseconds generate = std::chrono::seconds(600);
    std::chrono::milliseconds tags = std::chrono::seconds(15);
    std::chrono::milliseconds pull = std::chrono::seconds(3600);
};

// Built afresh from the settings for each job; holds nothing but where to go and which model to ask.
class OllamaClient
{
public:
    // Requests end early, as cancelled, once `cancel` is set.
    // Questions about pictures wait their turn at `gate` when there is one.
    OllamaClient(QUrl baseURL, QString model, OllamaTimeouts timeouts = {}, CancelFlag cancel = {},
                 std::shared_ptr<RequestGate> gate = {});

    const QUrl &baseURL() const { return m_baseURL; }
    const QString &model() const { return m_model; }

    // The model's text reply for the JPEG frames and prompt. Without a schema the naming reply's is used.
    std::expected<QString, OllamaFailure> analyze(const QList<QByteArray> &frames, const QString &prompt,
                                                  const std::optional<QJsonObject> &schema = std::nullopt) const;

    // In the server's order.
    std::expected<QList<OllamaModel>, OllamaFailure> listModels() const;

    // onProgress gets one text per progress line, in stream order, on the calling thread, while the
    // download runs. The end of the stream without an error line is success.
    using ProgressHandler = std::function<void(const QString &text)>;
    std::expected<void, OllamaFailure> pullModel(const QString &name, const ProgressHandler &onProgress) const;

    // The most readable message inside a failure body: nested JSON error texts are unwrapped, at
    // most two levels deep; a body without one is returned as it is.
    static QString readableError(const QString &raw);

    // The context window for a request with this many images: room for every image, at least 4096.
    static int contextSize(qsizetype imageCount);

private:
    QUrl endpoint(const QString &path) const;

    QUrl m_baseURL;
    QString m_model;
    OllamaTimeouts m_timeouts;
    CancelFlag m_cancel;
    std::shared_ptr<RequestGate> m_gate;
};

#pragma once

// Pictures and a prompt to any service that speaks OpenAI's chat-completions dialect, and the list of
// models it offers. Calls block: run them on a worker thread.

#include "HttpClient.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <expected>
#include <variant>

// The service answered, but not with what we asked for. `status` is 0 when the answer was not HTTP;
// `body` is ready to show: unwrapped, shortened where that is due, the API key hidden.
struct OpenAICompatError
{
    int status = 0;
    QString body;

    // The line the user sees, with a hint on the likely cause for the statuses that have one.
    QString errorDescription() const;
    // The service seems to reject the JSON reply format, so a plain request may still work.
    bool mentionsResponseFormat() const;
};

// Either the service's own refusal or no usable answer at all. The HTTP layer's error is kept whole
// rather than squeezed into an OpenAICompatError, so its kind (time-out, too large) and its message
// reach the caller unchanged.
struct OpenAICompatFailure
{
    std::variant<OpenAICompatError, HttpError> cause;

    QString errorDescription() const;
    // Null when no HTTP answer arrived.
    const OpenAICompatError *serviceError() const { return std::get_if<OpenAICompatError>(&cause); }
};

template<typename T>
using OpenAICompatResult = std::expected<T, OpenAICompatFailure>;

// The longest wait for data. A vision model can think for minutes; a model list is quick or broken.
struct OpenAICompatTimeouts
{
    std::chrono::milliseconds chat{std::chrono::seconds(300)};
    std::chrono::milliseconds models{std::chrono::seconds(20)};
};

// Built afresh from the settings for each job; holds nothing that changes.
class OpenAICompatClient
{
public:
    // Requests end early, as cancelled, once `cancel` is set. Questions about pictures wait their
    // turn at `gate` when there is one.
    OpenAICompatClient(QUrl baseURL, QString apiKey, QString model, OpenAICompatTimeouts timeouts = {},
                       CancelFlag cancel = {}, std::shared_ptr<RequestGate> gate = {});

    const QUrl &baseURL() const { return m_baseURL; }
    const QString &apiKey() const { return m_apiKey; }
    const QString &model() const { return m_model; }

    // The reply text for JPEG frames (in order) and a prompt. Asks for a JSON reply first and once
    // more without when the service says it cannot do that.
    OpenAICompatResult<QString> analyze(const QList<QByteArray> &frames, const QString &prompt) const;
    // The service's model identifiers in code-point order; empty when its answer has an unknown shape.
    OpenAICompatResult<QStringList> listModels() const;

    // A server's error body as one short line: its nested message when it has one, else its start.
    static QString readable(const QString &raw);

private:
    enum class JsonMode : bool { off, on };

    OpenAICompatResult<QString> send(const QJsonArray &messages, JsonMode jsonMode) const;
    OpenAICompatResult<HttpRequest> request(const QByteArray &method, const QString &path,
                                            std::chrono::milliseconds timeout) const;
    OpenAICompatFailure failure(int status, const QString &body) const;
    OpenAICompatFailure refused(const HttpResponse &response) const;
    QString withoutKey(QString text) const;

    QUrl m_baseURL;
    QString m_apiKey;
    QString m_model;
    OpenAICompatTimeouts m_timeouts;
    CancelFlag m_cancel;
    std::shared_ptr<RequestGate> m_gate;
};

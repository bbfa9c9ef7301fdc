#include "OpenAICompatClient.h"

#include "ServerMessage.h"
#include "TextCut.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

const QString notJson = QStringLiteral("返回内容不是 JSON：");
const QString noContent = QStringLiteral("返回里没有 choices[0].message.content");
// Stands in for the API key wherever a server repeats it back to us.
const QString hiddenKey = QStringLiteral("***");
const QString keyNotSendable = QStringLiteral("API 密钥里有换行或其他控制字符，请在设置中重新填写");

QString hintFor(int status)
{
    switch (status) {
    case 401:
    case 403:
        return QStringLiteral("（多半是 API 密钥不对，或该密钥没有这个模型的权限）");
    case 404:
        return QStringLiteral("（多半是接口地址或模型名不对）");
    case 429:
        return QStringLiteral("（触发了限速或余额不足）");
    default:
        return {};
    }
}

// Nothing when the bytes are not valid UTF-8: a mangled guess would only confuse the user.
std::optional<QString> utf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool allObjects(const QJsonArray &array)
{
    return std::all_of(array.begin(), array.end(), [](const QJsonValue &value) { return value.isObject(); });
}

// A service may put anything under "error"; the user gets its message or a compact rendering.
QString describe(const QJsonValue &error)
{
    const QJsonValue message = error.toObject().value(QLatin1String("message"));
    if (message.isString())
        return message.toString();
    switch (error.type()) {
    case QJsonValue::String:
        return error.toString();
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(error.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(error.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Bool:
        return error.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(error.toDouble(), 'g', 17);
    default:
        return QStringLiteral("null");
    }
}

std::optional<QString> content(const QJsonObject &reply)
{
    const QJsonValue choices = reply.value(QLatin1String("choices"));
    if (!choices.isArray() || choices.toArray().isEmpty() || !allObjects(choices.toArray()))
        return std::nullopt;
    const QJsonValue message = choices.toArray().first().toObject().value(QLatin1String("message"));
    const QJsonValue text = message.toObject().value(QLatin1String("content"));
    if (!message.isObject() || !text.isString())
        return std::nullopt;
    return text.toString();
}

} // namespace

QString OpenAICompatError::errorDescription() const
{
    return QStringLiteral("接口返回 ") + QString::number(status) + QStringLiteral("：") + body + hintFor(status);
}

bool OpenAICompatError::mentionsResponseFormat() const
{
    const QString lowered = body.toLower();
    return lowered.contains(QLatin1String("response_format")) || lowered.contains(QLatin1String("json_object"))
        || lowered.contains(QLatin1String("json schema"));
}

QString OpenAICompatFailure::errorDescription() const
{
    if (const OpenAICompatError *error = serviceError())
        return error->errorDescription();
    return std::get<HttpError>(cause).message;
}

OpenAICompatClient::OpenAICompatClient(QUrl baseURL, QString apiKey, QString model, OpenAICompatTimeouts timeouts,
                                       CancelFlag cancel, std::shared_ptr<RequestGate> gate)
    : m_baseURL(std::move(baseURL))
    , m_apiKey(std::move(apiKey))
    , m_model(std::move(model))
    , m_timeouts(timeouts)
    , m_cancel(std::move(cancel))
    , m_gate(std::move(gate))
{
}

OpenAICompatResult<QString> OpenAICompatClient::analyze(const QList<QByteArray> &frames, const QString &prompt) const
{
    QJsonArray parts{QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), prompt}}};
    for (const QByteArray &frame : frames) {
        const QString url = QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(frame.toBase64());
        parts.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("image_url")},
                                 {QStringLiteral("image_url"), QJsonObject{{QStringLiteral("url"), url}}}});
    }
    const QJsonArray messages{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), parts}}};

    auto reply = send(messages, JsonMode::on);
    if (reply)
        return reply;
    const OpenAICompatError *refusal = reply.error().serviceError();
    if (!refusal || !refusal->mentionsResponseFormat())
        return reply;
    // Many compatible services cannot force JSON; the prompt asks for it anyway.
    return send(messages, JsonMode::off);
}

OpenAICompatResult<QString> OpenAICompatClient::send(const QJsonArray &messages, JsonMode jsonMode) const
{
    QJsonObject chat{{QStringLiteral("model"), m_model},
                     {QStringLiteral("messages"), messages},
                     {QStringLiteral("temperature"), 0.2},
                     {QStringLiteral("max_tokens"), 800}};
    if (jsonMode == JsonMode::on)
        chat.insert(QStringLiteral("response_format"), QJsonObject{{QStringLiteral("type"), QStringLiteral("json_object")}});
    auto http = request("POST", QStringLiteral("chat/completions"), m_timeouts.chat);
    if (!http)
        return std::unexpected(http.error());
    http->body = QJsonDocument(chat).toJson(QJsonDocument::Compact);
    http->gate = m_gate;

    const auto response = HttpClient::send(*http);
    if (!response)
        return std::unexpected(OpenAICompatFailure{response.error()});
    const int status = response->status;
    if (!response->isSuccess())
        return std::unexpected(refused(*response));

    const QJsonDocument document = QJsonDocument::fromJson(response->body);
    if (!document.isObject()) {
        const QString text = withoutKey(utf8(response->body).value_or(QString()));
        return std::unexpected(failure(status, notJson + firstCharacters(text, 200)));
    }
    const QJsonObject reply = document.object();
    if (reply.contains(QLatin1String("error")))
        return std::unexpected(failure(status, describe(reply.value(QLatin1String("error")))));
    if (auto text = content(reply))
        return *std::move(text);
    return std::unexpected(failure(status, noContent));
}

OpenAICompatResult<QStringList> OpenAICompatClient::listModels() const
{
    const auto http = request("GET", QStringLiteral("models"), m_timeouts.models);
    if (!http)
        return std::unexpected(http.error());
    const auto response = HttpClient::send(*http);
    if (!response)
        return std::unexpected(OpenAICompatFailure{response.error()});
    if (response->status != 0 && !response->isSuccess())
        return std::unexpected(refused(*response));

    const QJsonValue data = QJsonDocument::fromJson(response->body).object().value(QLatin1String("data"));
    if (!data.isArray() || !allObjects(data.toArray()))
        return QStringList();
    QStringList ids;
    for (const QJsonValue &entry : data.toArray()) {
        const QJsonValue id = entry.toObject().value(QLatin1String("id"));
        if (id.isString())
            ids.append(id.toString());
    }
    // QString compares UTF-16 units, which puts characters beyond U+FFFF before U+E000…U+FFFF.
    std::ranges::sort(ids, {}, &QString::toStdU32String);
    return ids;
}

QString OpenAICompatClient::readable(const QString &raw)
{
    if (auto message = ServerMessage::unwrap(raw))
        return *std::move(message);
    return firstCharacters(raw, 300);
}

OpenAICompatResult<HttpRequest> OpenAICompatClient::request(const QByteArray &method, const QString &path,
                                                            std::chrono::milliseconds timeout) const
{
    // A pasted key can bring a line break along; in a header it would end the header early and let
    // the rest of the key travel as headers of its own, which servers then echo back unmasked.
    if (std::ranges::any_of(m_apiKey, [](QChar c) { return c.category() == QChar::Other_Control; }))
        return std::unexpected(OpenAICompatFailure{
            HttpError{HttpError::Kind::transport, QNetworkReply::ProtocolInvalidOperationError, keyNotSendable}});

    HttpRequest http;
    http.method = method;
    http.url = m_baseURL;
    QString joined = m_baseURL.path(QUrl::FullyEncoded);
    while (joined.endsWith(QLatin1Char('/')))
        joined.chop(1);
    http.url.setPath(joined + QLatin1Char('/') + path, QUrl::TolerantMode);
    http.headers = {{"Content-Type", "application/json"}};
    if (!m_apiKey.isEmpty())
        http.headers.append({"Authorization", "Bearer " + m_apiKey.toUtf8()});
    http.timeout = timeout;
    http.cancel = m_cancel;
    return http;
}

OpenAICompatFailure OpenAICompatClient::failure(int status, const QString &body) const
{
    return {OpenAICompatError{status, withoutKey(body)}};
}

// The key is hidden before the body is cut, so a cut through the key cannot leave its start behind.
OpenAICompatFailure OpenAICompatClient::refused(const HttpResponse &response) const
{
    return failure(response.status, readable(withoutKey(utf8(response.body).value_or(QString()))));
}

// Servers and proxies sometimes repeat the request's headers in their error pages; whatever they
// repeat must not put the key on screen or into a bug report.
QString OpenAICompatClient::withoutKey(QString text) const
{
    // A key of blanks is no secret, and hiding it would blank out every space.
    if (m_apiKey.trimmed().isEmpty())
        return text;
    for (const QString &key : {m_apiKey, m_apiKey.trimmed()})
        text.replace(key, hiddenKey);
    return text;
}

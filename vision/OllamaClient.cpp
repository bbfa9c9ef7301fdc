#include "OllamaClient.h"

#include "PromptBuilder.h"
#include "ServerMessage.h"
#include "TextCut.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <cmath>
#include <utility>

namespace {

// The message shows this many user-perceived characters of the server's text.
constexpr int shownCharacters = 300;
// Lines of a download's error body kept for the message; the rest is not read.
constexpr qsizetype maxPullErrorText = 4 * 1024;

const QByteArray jsonType = "application/json";

// A whole number exactly, whether the JSON wrote 455 or 455.0; nothing for anything else.
std::optional<qint64> integer(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger gives its fallback for fractions and out-of-range values; two fallbacks tell them apart.
    const qint64 first = value.toInteger(0);
    if (first != value.toInteger(1))
        return std::nullopt;
    return first;
}

std::optional<QString> stringMember(const QJsonObject &object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

OllamaReplyError unreadable(const QString &why)
{
    return {QStringLiteral("无法读取 Ollama 的回复：%1").arg(why)};
}

std::expected<QJsonObject, OllamaReplyError> replyObject(const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return std::unexpected(unreadable(QStringLiteral("不是有效的 JSON（第 %1 个字节处有误）").arg(parseError.offset)));
    if (!document.isObject())
        return std::unexpected(unreadable(QStringLiteral("不是 JSON 对象")));
    return document.object();
}

OllamaReplyError missing(QLatin1String member)
{
    return unreadable(QStringLiteral("缺少字段 %1 或类型不符").arg(member));
}

// Absent and null both mean "not given"; anything else must have the right type.
std::expected<OllamaModel, OllamaReplyError> decodeModel(const QJsonValue &entry)
{
    const QJsonObject object = entry.toObject();
    OllamaModel model;
    if (!entry.isObject() || !object.value(QLatin1String("name")).isString())
        return std::unexpected(missing(QLatin1String("name")));
    model.name = object.value(QLatin1String("name")).toString();
    const QJsonValue size = object.value(QLatin1String("size"));
    if (!size.isUndefined() && !size.isNull()) {
        model.size = integer(size);
        if (!model.size)
            return std::unexpected(missing(QLatin1String("size")));
    }
    const QJsonValue modifiedAt = object.value(QLatin1String("modified_at"));
    if (!modifiedAt.isUndefined() && !modifiedAt.isNull()) {
        if (!modifiedAt.isString())
            return std::unexpected(missing(QLatin1String("modified_at")));
        model.modifiedAt = modifiedAt.toString();
    }
    return model;
}

// One line of a download's progress stream: the text to show, or nothing for a line that says nothing.
std::optional<QString> progressText(const QJsonObject &line)
{
    const QString status = stringMember(line, QLatin1String("status")).value_or(QString());
    const auto total = integer(line.value(QLatin1String("total")));
    const auto completed = integer(line.value(QLatin1String("completed")));
    if (total && *total >= 1 && completed) {
        // Truncated as a double, never cast: a server's wild numbers must not overflow an integer.
        const double percent = std::trunc(double(*completed) / double(*total) * 100.0) + 0.0; // no "-0"
        return status + QLatin1Char(' ') + QString::number(percent, 'f', 0) + QLatin1Char('%');
    }
    if (!status.isEmpty())
        return status;
    return std::nullopt;
}

// Cuts a joined error text to the cap without splitting a UTF-8 sequence.
void capUtf8(QByteArray &text, qsizetype cap)
{
    if (text.size() <= cap)
        return;
    qsizetype end = cap;
    while (end > 0 && (uchar(text[end]) & 0xC0) == 0x80)
        --end;
    text.truncate(end);
}

} // namespace

QString OllamaError::errorDescription() const
{
    if (kind == Kind::notRunning)
        return QStringLiteral("无法连接 Ollama。请确认已安装 Ollama 并运行（ollama serve），默认地址 http://localhost:11434。");
    return QStringLiteral("Ollama 返回错误 ") + QString::number(status) + QStringLiteral("：")
        + firstCharacters(body, shownCharacters);
}

QString errorDescription(const OllamaFailure &failure)
{
    struct Describe
    {
        QString operator()(const OllamaError &error) const { return error.errorDescription(); }
        QString operator()(const HttpError &error) const { return error.message; }
        QString operator()(const OllamaReplyError &error) const { return error.message; }
    };
    return std::visit(Describe{}, failure);
}

OllamaClient::OllamaClient(QUrl baseURL, QString model, OllamaTimeouts timeouts, CancelFlag cancel,
                           std::shared_ptr<RequestGate> gate)
    : m_baseURL(std::move(baseURL))
    , m_model(std::move(model))
    , m_timeouts(timeouts)
    , m_cancel(std::move(cancel))
    , m_gate(std::move(gate))
{
}

QUrl OllamaClient::endpoint(const QString &path) const
{
    // With or without a trailing "/" in the settings, exactly one before "api".
    QUrl url = m_baseURL;
    QString joined = url.path();
    if (!joined.endsWith(QLatin1Char('/')))
        joined += QLatin1Char('/');
    url.setPath(joined + path);
    return url;
}

int OllamaClient::contextSize(qsizetype imageCount)
{
    const qint64 target = std::min<qint64>(qint64(imageCount) * 1400 + 2048, 32768);
    int size = 4096;
    while (size < target)
        size *= 2;
    return size;
}

QString OllamaClient::readableError(const QString &raw)
{
    return ServerMessage::readable(raw);
}

std::expected<QString, OllamaFailure> OllamaClient::analyze(const QList<QByteArray> &frames, const QString &prompt,
                                                            const std::optional<QJsonObject> &schema) const
{
    QJsonArray images;
    for (const QByteArray &frame : frames)
        images.append(QString::fromLatin1(frame.toBase64()));
    const QJsonObject body{
        {QLatin1String("model"), m_model},
        {QLatin1String("prompt"), prompt},
        {QLatin1String("images"), images},
        {QLatin1String("stream"), false},
        {QLatin1String("format"), schema.value_or(PromptBuilder::namingSchema())},
        {QLatin1String("options"), QJsonObject{{QLatin1String("num_ctx"), contextSize(frames.size())}}},
    };

    HttpRequest request;
    request.method = "POST";
    request.url = endpoint(QStringLiteral("api/generate"));
    request.headers = {{"Content-Type", jsonType}};
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.timeout = m_timeouts.generate;
    request.cancel = m_cancel;
    request.gate = m_gate;
    const auto response = HttpClient::send(request);
    if (!response)
        return std::unexpected(response.error());

    // An error object fails whatever the status, so a 200 that carries one is never a reply.
    const auto object = replyObject(response->body);
    if (object) {
        if (const auto error = stringMember(*object, QLatin1String("error")))
            return std::unexpected(OllamaError::http(response->status, readableError(*error)));
    }
    if (!response->isSuccess()) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8(response->body);
        if (utf8.hasError())
            text.clear();
        return std::unexpected(OllamaError::http(response->status, readableError(text)));
    }
    if (!object)
        return std::unexpected(object.error());
    const auto reply = stringMember(*object, QLatin1String("response"));
    if (!reply)
        return std::unexpected(missing(QLatin1String("response")));
    return *reply;
}

std::expected<QList<OllamaModel>, OllamaFailure> OllamaClient::listModels() const
{
    HttpRequest request;
    request.url = endpoint(QStringLiteral("api/tags"));
    request.timeout = m_timeouts.tags;
    request.cancel = m_cancel;
    const auto response = HttpClient::send(request);
    if (!response)
        return std::unexpected(response.error());

    // The status is not looked at: whatever does not decode as a model list is the failure.
    const auto object = replyObject(response->body);
    if (!object)
        return std::unexpected(object.error());
    const QJsonValue entries = object->value(QLatin1String("models"));
    if (!entries.isArray())
        return std::unexpected(missing(QLatin1String("models")));
    QList<OllamaModel> models;
    for (const QJsonValue &entry : entries.toArray()) {
        auto model = decodeModel(entry);
        if (!model)
            return std::unexpected(model.error());
        models.append(std::move(*model));
    }
    return models;
}

std::expected<void, OllamaFailure> OllamaClient::pullModel(const QString &name, const ProgressHandler &onProgress) const
{
    HttpRequest request;
    request.method = "POST";
    request.url = endpoint(QStringLiteral("api/pull"));
    request.headers = {{"Content-Type", jsonType}};
    request.body = QJsonDocument(QJsonObject{{QLatin1String("name"), name}, {QLatin1String("stream"), true}})
                       .toJson(QJsonDocument::Compact);
    request.timeout = m_timeouts.pull;
    request.cancel = m_cancel;

    std::optional<OllamaError> streamError;
    QByteArray errorText;
    bool lastLineRead = false;
    const auto response = HttpClient::sendStreaming(request, [&](int status, const QByteArray &line) {
        if (status < 200 || status > 299) {
            // The error body is kept line by line; enough of it to explain.
            errorText += line + '\n';
            if (errorText.size() <= maxPullErrorText)
                return true;
            capUtf8(errorText, maxPullErrorText);
            return false;
        }
        const QJsonDocument document = QJsonDocument::fromJson(line);
        lastLineRead = document.isObject();
        if (!lastLineRead)
            return true;
        const QJsonObject object = document.object();
        if (const auto error = stringMember(object, QLatin1String("error"))) {
            streamError = OllamaError::http(0, *error);
            return false;
        }
        if (const auto text = progressText(object))
            onProgress(*text);
        return true;
    });
    const HttpError cutOff{HttpError::Kind::transport, QNetworkReply::RemoteHostClosedError,
                           QStringLiteral("下载中断：连接在传输途中断开")};
    if (streamError)
        return std::unexpected(*streamError);
    if (!response)
        return std::unexpected(response.error().closedByPeer() ? cutOff : response.error());
    if (!response->isSuccess())
        return std::unexpected(
            OllamaError::http(response->status, readableError(QString::fromUtf8(errorText).chopped(errorText.endsWith('\n')))));
    // Every progress line ends in a line feed: a stream that stops inside one was cut off, even when
    // the connection seemed to close in order.
    if (response->endedMidLine && !lastLineRead)
        return std::unexpected(cutOff);
    return {};
}

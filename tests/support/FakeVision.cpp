#include "FakeVision.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const std::string ollamaPath = "/api/generate";
const std::string openAIPath = "/v1/chat/completions";

QByteArray pictureOf(const QJsonValue &base64)
{
    return QByteArray::fromBase64(base64.toString().section(',', -1).toLatin1()); // bare, or a data: URL
}

} // namespace

FakeVision::Question::Question(const FakeHttpServer::Request &request)
    : path(request.path)
    , body(QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object())
{
    if (path == ollamaPath) {
        prompt = body["prompt"].toString();
        for (const QJsonValue &image : body["images"].toArray())
            pictures << pictureOf(image);
        return;
    }
    for (const QJsonValue &part : body["messages"][0]["content"].toArray()) {
        if (part["type"] == "text")
            prompt = part["text"].toString();
        else
            pictures << pictureOf(part["image_url"]["url"]);
    }
}

FakeVision::FakeVision(std::function<Answer(const Question &)> answer)
{
    const auto handler = [answer](const httplib::Request &request, httplib::Response &response) {
        const Question question({request.method, request.path, request.headers, request.body});
        const Answer reply = answer(question);
        const bool ollama = question.path == ollamaPath;
        QJsonObject body;
        if (reply.status >= 300)
            body = ollama ? QJsonObject{{"error", reply.text}} : QJsonObject{{"error", QJsonObject{{"message", reply.text}}}};
        else if (ollama)
            body = {{"model", "m"}, {"response", reply.text}, {"done", true}};
        else
            body = {{"choices", QJsonArray{QJsonObject{{"message", QJsonObject{{"role", "assistant"}, {"content", reply.text}}}}}}};
        response.status = reply.status;
        response.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    };
    http.server().Post(ollamaPath, handler).Post(openAIPath, handler);
}

QList<FakeVision::Question> FakeVision::questions() const
{
    QList<Question> questions;
    for (const FakeHttpServer::Request &request : http.requests()) {
        if (request.path == ollamaPath || request.path == openAIPath)
            questions << Question(request);
    }
    return questions;
}

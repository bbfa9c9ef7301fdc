#pragma once

#include "FakeHttpServer.h"

#include <QJsonObject>

#include <functional>

// A vision model on 127.0.0.1 that speaks both Ollama's generate API and the OpenAI-compatible chat
// API under /v1. Every question goes to `answer` with its prompt and pictures as they were sent.
// Further routes (model lists, downloads) are registered on http.server() before start().
class FakeVision
{
public:
    struct Question
    {
        std::string path;
        QJsonObject body;
        QString prompt;
        QList<QByteArray> pictures; // decoded, in the order sent

        explicit Question(const FakeHttpServer::Request &request);
    };
    struct Answer
    {
        int status = 200;
        QString text; // the model's reply, or the error's message
    };

    explicit FakeVision(std::function<Answer(const Question &)> answer);

    void start() { http.start(); }
    QUrl ollamaURL() const { return http.url(QString()); }
    QUrl openAIURL() const { return http.url(QStringLiteral("/v1")); }
    QList<Question> questions() const;

    FakeHttpServer http;
};

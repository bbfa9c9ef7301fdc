#pragma once

// The vision model behind either engine, asked without knowing which: pictures and a prompt in, the
// reply text out, and the models on offer. The engine is picked once, when the service is opened.
// Calls block: run them on a worker thread.

#include "AppSettings.h"
#include "HttpClient.h"
#include "OllamaClient.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <expected>
#include <memory>
#include <optional>

// Where a model is asked. The key is for the OpenAI-compatible engine only.
struct VisionEndpoint
{
    VisionEngine engine = VisionEngine::ollama;
    QUrl address;
    QString apiKey;
    QString model;

    // The engine the settings choose, with its address, key and model.
    static VisionEndpoint inUse(const AppSettings &settings);
};

class VisionService
{
public:
    virtual ~VisionService() = default;

    // Requests end early, as cancelled, once `cancel` is set. Questions wait their turn at `gate`
    // when there is one, shared by everything that asks at once.
    static std::shared_ptr<const VisionService> open(const VisionEndpoint &endpoint, CancelFlag cancel = {},
                                                     std::shared_ptr<RequestGate> gate = {});

    // The reply text, or the failure as the user reads it. `schema` shapes a JSON reply where the
    // engine takes one; without it the naming reply's shape is asked for.
    virtual std::expected<QString, QString> ask(const QList<QByteArray> &pictures, const QString &prompt,
                                                const std::optional<QJsonObject> &schema = std::nullopt) const = 0;
    // Both engines' lists as Ollama models, so one picker serves either.
    virtual std::expected<QList<OllamaModel>, QString> listModels() const = 0;
};

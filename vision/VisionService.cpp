#include "VisionService.h"

#include "OpenAICompatClient.h"

#include <utility>

namespace {

// The value as it is, or the failure in the words the user reads.
template <typename T, typename Failure>
std::expected<T, QString> readable(std::expected<T, Failure> &&result, QString (*describe)(const Failure &))
{
    if (!result)
        return std::unexpected(describe(result.error()));
    return std::move(*result);
}

QString describeOpenAI(const OpenAICompatFailure &failure)
{
    return failure.errorDescription();
}

class OllamaService final : public VisionService
{
public:
    explicit OllamaService(OllamaClient client) : m_client(std::move(client)) {}

    std::expected<QString, QString> ask(const QList<QByteArray> &pictures, const QString &prompt,
                                        const std::optional<QJsonObject> &schema) const override
    {
        return readable(m_client.analyze(pictures, prompt, schema), &errorDescription);
    }

    std::expected<QList<OllamaModel>, QString> listModels() const override
    {
        return readable(m_client.listModels(), &errorDescription);
    }

private:
    OllamaClient m_client;
};

// The service's own JSON mode stands in for a schema.
class OpenAICompatService final : public VisionService
{
public:
    explicit OpenAICompatService(OpenAICompatClient client) : m_client(std::move(client)) {}

    std::expected<QString, QString> ask(const QList<QByteArray> &pictures, const QString &prompt,
                                        const std::optional<QJsonObject> &) const override
    {
        return readable(m_client.analyze(pictures, prompt), &describeOpenAI);
    }

    std::expected<QList<OllamaModel>, QString> listModels() const override
    {
        const auto identifiers = readable(m_client.listModels(), &describeOpenAI);
        if (!identifiers)
            return std::unexpected(identifiers.error());
        QList<OllamaModel> models;
        for (const QString &identifier : *identifiers)
            models.append({identifier, std::nullopt, std::nullopt});
        return models;
    }

private:
    OpenAICompatClient m_client;
};

using Opener = std::shared_ptr<const VisionService> (*)(const VisionEndpoint &, const CancelFlag &,
                                                       const std::shared_ptr<RequestGate> &);

const struct
{
    VisionEngine engine;
    Opener open;
} engines[] = {
    {VisionEngine::ollama,
     [](const VisionEndpoint &at, const CancelFlag &cancel,
        const std::shared_ptr<RequestGate> &gate) -> std::shared_ptr<const VisionService> {
         return std::make_shared<OllamaService>(OllamaClient(at.address, at.model, {}, cancel, gate));
     }},
    {VisionEngine::openAI,
     [](const VisionEndpoint &at, const CancelFlag &cancel,
        const std::shared_ptr<RequestGate> &gate) -> std::shared_ptr<const VisionService> {
         return std::make_shared<OpenAICompatService>(
             OpenAICompatClient(at.address, at.apiKey, at.model, {}, cancel, gate));
     }},
};

} // namespace

VisionEndpoint VisionEndpoint::inUse(const AppSettings &settings)
{
    if (settings.engine() == VisionEngine::openAI)
        return {VisionEngine::openAI, settings.openAIURL(), settings.openAIKey, settings.openAIModel};
    return {VisionEngine::ollama, settings.ollamaURL(), {}, settings.ollamaModel};
}

std::shared_ptr<const VisionService> VisionService::open(const VisionEndpoint &endpoint, CancelFlag cancel,
                                                         std::shared_ptr<RequestGate> gate)
{
    for (const auto &entry : engines)
        if (entry.engine == endpoint.engine)
            return entry.open(endpoint, cancel, gate);
    return engines[0].open(endpoint, cancel, gate);
}

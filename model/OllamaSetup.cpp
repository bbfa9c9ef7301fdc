#include "OllamaSetup.h"

#include <QThreadPool>

#include <algorithm>
#include <utility>

namespace {

const QString pullConnecting = QStringLiteral("正在连接 Ollama…");
const QString pullFinished = QStringLiteral("✅ 下载完成");
const QString pullFailed = QStringLiteral("❌ 下载失败：");

// The program search may wait seconds for a shell while the user waits for its answer.
constexpr int programSearchPriority = 1;

} // namespace

OllamaSetup::OllamaSetup(AppSettings &settings, std::function<void()> onChange, std::function<void()> onModelsChanged,
                         OllamaProgramSearch programSearch, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_onChange(std::move(onChange))
    , m_onModelsChanged(std::move(onModelsChanged))
    , m_programSearch(std::move(programSearch))
{
}

OllamaSetup::~OllamaSetup()
{
    shutDown();
}

void OllamaSetup::shutDown()
{
    m_link->cut();
    // A download can run for an hour, and the application waits for the pool's tasks when it quits.
    *m_cancel = true;
}

template <typename Work, typename Report>
void OllamaSetup::inBackground(Work work, Report report, int priority)
{
    QThreadPool::globalInstance()->start([link = m_link, work = std::move(work), report = std::move(report)] {
        link->post([report, result = work()] { report(result); });
    }, priority);
}

void OllamaSetup::addReadinessObserver(std::function<void()> observer)
{
    m_readinessObservers.append(std::move(observer));
}

void OllamaSetup::checkOllamaReadiness()
{
    if (m_settings.engine() == VisionEngine::openAI) {
        m_readiness = m_readiness.forRemoteEngine();
        notifyObservers();
        return;
    }
    inBackground([search = m_programSearch] { return OllamaProgram::isOllamaInstalled(search); },
                 [this](bool installed) { programSearched(installed); }, programSearchPriority);
}

void OllamaSetup::programSearched(bool installed)
{
    if (!installed) {
        m_readiness = m_readiness.withoutProgram();
        notifyObservers();
        return;
    }
    const OllamaClient client(m_settings.ollamaURL(), m_settings.ollamaModel, {}, m_cancel);
    inBackground([client] { return client.listModels(); },
                 [this](const std::expected<QList<OllamaModel>, OllamaFailure> &models) { serverListed(models); });
}

void OllamaSetup::serverListed(const std::expected<QList<OllamaModel>, OllamaFailure> &models)
{
    if (!models) {
        m_readiness = m_readiness.withServerDown();
        notifyObservers();
        return;
    }
    m_readiness = m_readiness.withServerModels(*models);
    m_models = *models;
    useListedModel(VisionEngine::ollama, *models);
    changed();
    notifyObservers();
}

void OllamaSetup::refreshModels()
{
    const VisionEngine engine = m_settings.engine();
    inBackground(modelListing(VisionEndpoint::inUse(m_settings)),
                 [this, engine](const std::optional<QList<OllamaModel>> &models) { modelsRefreshed(engine, models); });
}

void OllamaSetup::refreshModels(const VisionEndpoint &endpoint)
{
    inBackground(modelListing(endpoint), [this](const std::optional<QList<OllamaModel>> &models) {
        modelsRefreshed(std::nullopt, models);
    });
}

std::function<std::optional<QList<OllamaModel>>()> OllamaSetup::modelListing(const VisionEndpoint &endpoint) const
{
    return [service = VisionService::open(endpoint, m_cancel)]() -> std::optional<QList<OllamaModel>> {
        auto models = service->listModels();
        return models ? std::optional(std::move(*models)) : std::nullopt;
    };
}

void OllamaSetup::modelsRefreshed(std::optional<VisionEngine> engine, const std::optional<QList<OllamaModel>> &models)
{
    if (!models) {
        m_models.clear();
        changed();
        return;
    }
    m_models = *models;
    if (engine)
        useListedModel(*engine, *models);
    changed();
    if (m_onModelsChanged)
        m_onModelsChanged();
}

// A configured model that the engine does not offer would fail every request; the first it offers
// is the likeliest to work. The list decides only for the engine that gave it, even when the user
// switched engines while it was on its way.
void OllamaSetup::useListedModel(VisionEngine engine, const QList<OllamaModel> &models)
{
    QString &configured = engine == VisionEngine::openAI ? m_settings.openAIModel : m_settings.ollamaModel;
    const bool offered = std::any_of(models.cbegin(), models.cend(),
                                     [&](const OllamaModel &model) { return model.name == configured; });
    if (!models.isEmpty() && !offered)
        configured = models.first().name;
}

void OllamaSetup::pullVisionModel(const QString &name)
{
    if (m_isPulling)
        return;
    m_isPulling = true;
    m_pullProgress = pullConnecting;
    notifyObservers();

    const OllamaClient client(m_settings.ollamaURL(), name, {}, m_cancel);
    const auto showProgress = [link = m_link, this](const QString &text) {
        link->post([this, text] {
            m_pullProgress = text;
            notifyObservers();
        });
    };
    inBackground([client, name, showProgress] { return client.pullModel(name, showProgress); },
                 [this](const std::expected<void, OllamaFailure> &pulled) { pullEnded(pulled); });
}

void OllamaSetup::pullEnded(const std::expected<void, OllamaFailure> &pulled)
{
    m_isPulling = false;
    if (pulled) {
        // The readiness check notifies when it has its answer, so observers see both together.
        m_pullProgress = pullFinished;
        checkOllamaReadiness();
        return;
    }
    m_pullProgress = pullFailed + errorDescription(pulled.error());
    notifyObservers();
}

void OllamaSetup::changed() const
{
    if (m_onChange)
        m_onChange();
}

void OllamaSetup::notifyObservers() const
{
    // A copy: an observer added during this round is first called at the next one.
    const QList<std::function<void()>> observers = m_readinessObservers;
    for (const auto &observer : observers)
        observer();
}

#pragma once

// What the vision engine has on offer: whether the local Ollama can serve (installed, running, with a
// model), the models of the engine in use, and a model download with live progress.
//
// Lives on the main thread and is only used there; every call returns at once. The work runs on the
// thread pool and its results come back here before any field changes or any callback runs.

#include "AppSettings.h"
#include "MainThreadLink.h"
#include "OllamaClient.h"
#include "OllamaProgram.h"
#include "OllamaReadiness.h"
#include "VisionService.h"

#include <QList>
#include <QObject>
#include <QString>

#include <expected>
#include <functional>
#include <memory>
#include <optional>

class OllamaSetup : public QObject
{
public:
    // settings must outlive this object. onChange and onModelsChanged may be empty.
    OllamaSetup(AppSettings &settings, std::function<void()> onChange, std::function<void()> onModelsChanged,
                OllamaProgramSearch programSearch = {}, QObject *parent = nullptr);
    // Does not wait for work under way; its results are dropped.
    ~OllamaSetup() override;
    // Ends the work under way now and drops its results, so that no observer hears from it again.
    void shutDown();

    const OllamaReadiness &readiness() const { return m_readiness; }
    bool isPulling() const { return m_isPulling; }
    // The last download's progress or result; kept until the next download.
    const QString &pullProgress() const { return m_pullProgress; }
    // The models of the engine in use, for choosing one.
    const QList<OllamaModel> &models() const { return m_models; }

    // Observers are called in the order they were added, after every readiness result and every
    // download step, often many times in a row. There is no removal: an observer that outlives its
    // window must hold it weakly.
    void addReadinessObserver(std::function<void()> observer);

    // With the remote engine, ready at once; otherwise looks for the program, then asks the server.
    // Overlapping checks each write their result; the last to finish wins.
    void checkOllamaReadiness();
    // Reloads models() from the engine in use; a failure empties it without a message.
    void refreshModels();
    // Reloads models() from an endpoint, leaving the settings alone: for a choice the user has not
    // applied yet.
    void refreshModels(const VisionEndpoint &endpoint);
    // Ignored while a download runs. A finished download is followed by a new readiness check.
    void pullVisionModel(const QString &name);

private:
    template <typename Work, typename Report>
    void inBackground(Work work, Report report, int priority = 0);
    std::function<std::optional<QList<OllamaModel>>()> modelListing(const VisionEndpoint &endpoint) const;

    void programSearched(bool installed);
    void serverListed(const std::expected<QList<OllamaModel>, OllamaFailure> &models);
    // `engine`: whose configured model the list may replace; none for a source not applied.
    void modelsRefreshed(std::optional<VisionEngine> engine, const std::optional<QList<OllamaModel>> &models);
    void pullEnded(const std::expected<void, OllamaFailure> &pulled);
    void useListedModel(VisionEngine engine, const QList<OllamaModel> &models);
    void changed() const;
    void notifyObservers() const;

    AppSettings &m_settings;
    std::function<void()> m_onChange;
    std::function<void()> m_onModelsChanged;
    OllamaProgramSearch m_programSearch;

    OllamaReadiness m_readiness;
    bool m_isPulling = false;
    QString m_pullProgress;
    QList<std::function<void()>> m_readinessObservers;
    QList<OllamaModel> m_models;

    std::shared_ptr<MainThreadLink> m_link = std::make_shared<MainThreadLink>(this);
    CancelFlag m_cancel = makeCancelFlag();
};

#pragma once

// Whether the local Ollama set-up can serve the vision model, and what the user is told when not.

#include "OllamaClient.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct OllamaReadiness
{
    static const QString notInstalledMessage;
    static const QString notRunningMessage;
    static const QString noModelMessage;

    bool installed = false;
    bool running = false;
    // Any model at all, not a particular one.
    bool hasModel = false;
    // From the last model list the server gave, in its order; kept when a later check gets none.
    QStringList modelNames;
    // What is missing, for the user; none when all is well.
    std::optional<QString> error;

    bool operator==(const OllamaReadiness &) const = default;

    // The outcomes of a check, each from the record before it.
    // A remote engine needs nothing local, so it counts as ready without a look.
    OllamaReadiness forRemoteEngine() const;
    OllamaReadiness withoutProgram() const;
    OllamaReadiness withServerDown() const;
    OllamaReadiness withServerModels(const QList<OllamaModel> &models) const;
};

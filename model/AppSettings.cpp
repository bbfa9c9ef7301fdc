#include "AppSettings.h"

const QString AppSettings::defaultOpenAIBaseURL = QStringLiteral("https://api.openai.com/v1");

QString rawValue(VisionEngine engine)
{
    return engine == VisionEngine::openAI ? QStringLiteral("openai") : QStringLiteral("ollama");
}

QString AppSettings::defaultStorePath()
{
    return {};
}

AppSettings::AppSettings(const QString &storePath)
    : m_storePath(storePath)
{
}

void AppSettings::persist()
{
}

VisionEngine AppSettings::engine() const
{
    return engineRaw == QLatin1String("openai") ? VisionEngine::openAI : VisionEngine::ollama;
}

QString AppSettings::model() const
{
    return engine() == VisionEngine::openAI ? openAIModel : ollamaModel;
}

void AppSettings::setModel(const QString &name)
{
    (engine() == VisionEngine::openAI ? openAIModel : ollamaModel) = name;
}

QUrl AppSettings::ollamaURL() const
{
    return {};
}

QUrl AppSettings::openAIURL() const
{
    return {};
}

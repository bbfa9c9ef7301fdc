#include "OllamaReadiness.h"

const QString OllamaReadiness::notInstalledMessage =
    QStringLiteral("未检测到 Ollama，请先安装（curl -fsSL https://ollama.com/install.sh | sh）");
const QString OllamaReadiness::notRunningMessage = QStringLiteral("Ollama 已安装但未运行，请在终端执行：ollama serve");
const QString OllamaReadiness::noModelMessage =
    QStringLiteral("Ollama 已运行，但尚未拉取视觉模型（ollama pull qwen2.5vl:7b）");

OllamaReadiness OllamaReadiness::forRemoteEngine() const
{
    return {true, true, true, modelNames, std::nullopt};
}

OllamaReadiness OllamaReadiness::withoutProgram() const
{
    return {false, false, false, modelNames, notInstalledMessage};
}

OllamaReadiness OllamaReadiness::withServerDown() const
{
    return {true, false, false, modelNames, notRunningMessage};
}

OllamaReadiness OllamaReadiness::withServerModels(const QList<OllamaModel> &models) const
{
    QStringList names;
    for (const OllamaModel &model : models)
        names.append(model.name);
    const bool hasModel = !models.isEmpty();
    return {true, true, hasModel, names, hasModel ? std::nullopt : std::optional(noModelMessage)};
}

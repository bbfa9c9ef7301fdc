#pragma once

#include <QString>
#include <QUrl>

#include <expected>

// The two vision back-ends; the raw values are what the settings store keeps.
enum class VisionEngine { ollama, openAI };

QString rawValue(VisionEngine engine);

// Every user preference, loaded once from the settings file and written back whole by persist().
class AppSettings
{
public:
    // The range a count is held to, in the stored file and in the settings window alike.
    struct CountRange
    {
        int least;
        int most;
    };
    static constexpr CountRange frameCountRange{1, 6};
    static constexpr CountRange requestConcurrencyRange{1, 8};

    // The public OpenAI API base, used when no other OpenAI-compatible service is set.
    static const QString defaultOpenAIBaseURL;

    // ~/.config/Orvane/Orvane.json
    static QString defaultStorePath();

    // Reads every key from the JSON settings file at storePath; a missing or damaged file gives the
    // defaults.
    explicit AppSettings(const QString &storePath = defaultStorePath());

    QString engineRaw = QStringLiteral("ollama");
    QString ollamaEndpoint = QStringLiteral("http://localhost:11434");
    QString ollamaModel = QStringLiteral("qwen2.5vl:7b");
    QString openAIModel = QStringLiteral("qwen-vl-max");
    QString openAIBaseURL = defaultOpenAIBaseURL;
    QString openAIKey;
    int frameCount = 4;
    // How many model requests may be in flight at once; more only for a service that serves many.
    int requestConcurrency = 1;
    bool includeDate = true;
    bool includeLocation = true;
    bool includeContent = true;
    bool includeOriginal = true;
    QString separator = QStringLiteral("_");
    bool usePathPlace = true;
    bool useGPSGeocoding = false;
    QString mediaTargetRaw = QStringLiteral("videos");
    bool autoCheckUpdate = true;
    double searchInterval = 3.0;
    QString lastSearchModeRaw = QStringLiteral("keyword");

    // Writes every key to an owner-only file; a damaged file is first moved to Orvane.json.bak.
    // The error is the reason, for the user: the file could not be written.
    std::expected<void, QString> persist();

    VisionEngine engine() const;
    // The model name of the engine in use.
    QString model() const;
    void setModel(const QString &name);
    QUrl ollamaURL() const;
    QUrl openAIURL() const;

    QString storePath() const { return m_storePath; }

    // Whether a typed service address can be used as one: http or https, with a host. Spaces and
    // tabs around it do not count; an empty text means the default address.
    static bool isUsableAddress(const QString &text);
    // Spaces and tabs trimmed at both ends; line breaks stay.
    static QString trimmedSpacesAndTabs(const QString &text);

private:
    QString m_storePath;
};

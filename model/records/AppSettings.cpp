#include "AppSettings.h"

#include "SettingsFile.h"
#include "TextTrim.h"

#include <QDir>
#include <QJsonValue>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

const QString AppSettings::defaultOpenAIBaseURL = QStringLiteral("https://api.openai.com/v1");

namespace {

// An integer setting with the range it is held to.
struct Bounded
{
    int &value;
    AppSettings::CountRange range;
};

// Loading and saving both go through this list, so they cannot disagree on a key.
template <typename Visit>
void forEachField(AppSettings &settings, Visit visit)
{
    visit("engine", settings.engineRaw);
    visit("ollamaEndpoint", settings.ollamaEndpoint);
    visit("ollamaModel", settings.ollamaModel);
    visit("openAIModel", settings.openAIModel);
    visit("openAIBaseURL", settings.openAIBaseURL);
    visit("openAIKey", settings.openAIKey);
    visit("frameCount", Bounded{settings.frameCount, AppSettings::frameCountRange});
    visit("requestConcurrency", Bounded{settings.requestConcurrency, AppSettings::requestConcurrencyRange});
    visit("includeDate", settings.includeDate);
    visit("includeLocation", settings.includeLocation);
    visit("includeContent", settings.includeContent);
    visit("includeOriginal", settings.includeOriginal);
    visit("separator", settings.separator);
    visit("usePathPlace", settings.usePathPlace);
    visit("useGPSGeocoding", settings.useGPSGeocoding);
    visit("mediaTarget", settings.mediaTargetRaw);
    visit("autoCheckUpdate", settings.autoCheckUpdate);
    visit("searchInterval", settings.searchInterval);
    visit("lastSearchMode", settings.lastSearchModeRaw);
}

// Each read() leaves the field at its default unless the stored value fits.

// An empty text is a choice (say, no separator) and is kept.
void read(const QJsonValue &stored, QString &field)
{
    if (stored.isString())
        field = stored.toString();
    else if (stored.isDouble())
        field = QString::number(stored.toDouble(), 'g', QLocale::FloatingPointShortest);
}

// The numbers 0 and 1 are taken as booleans, the text "true" is not.
void read(const QJsonValue &stored, bool &field)
{
    if (stored.isBool())
        field = stored.toBool();
    else if (stored.isDouble() && (stored.toDouble() == 0 || stored.toDouble() == 1))
        field = stored.toDouble() == 1;
}

// A number or a text holding an integer. Zero or anything unreadable keeps the default; the rest
// is held to the range.
void read(const QJsonValue &stored, Bounded field)
{
    double count = 0;
    if (stored.isDouble())
        count = std::trunc(stored.toDouble());
    else if (stored.isString())
        count = stored.toString().toInt();
    if (count != 0)
        field.value = static_cast<int>(std::clamp(count, double(field.range.least), double(field.range.most)));
}

template <typename Field>
const Field &storedForm(const Field &field)
{
    return field;
}

int storedForm(const Bounded &field)
{
    return field.value;
}

void read(const QJsonValue &stored, double &field)
{
    if (stored.isDouble())
        field = stored.toDouble();
}

QUrl parsedURL(const QString &text, const QUrl &fallback)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty() ? url : fallback;
}

} // namespace

QString rawValue(VisionEngine engine)
{
    return engine == VisionEngine::openAI ? QStringLiteral("openai") : QStringLiteral("ollama");
}

QString AppSettings::defaultStorePath()
{
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/Orvane/Orvane.json");
}

AppSettings::AppSettings(const QString &storePath)
    : m_storePath(storePath)
{
    const QSettings store(storePath, SettingsFile::jsonFormat());
    forEachField(*this, [&store](const char *key, auto &&field) {
        read(QJsonValue::fromVariant(store.value(key)), field);
    });
}

std::expected<void, QString> AppSettings::persist()
{
    const QString failure = QStringLiteral("无法写入 ") + m_storePath;
    if (!SettingsFile::prepareForWrite(m_storePath))
        return std::unexpected(failure);
    QSettings store(m_storePath, SettingsFile::jsonFormat());
    forEachField(*this, [&store](const char *key, const auto &field) { store.setValue(key, storedForm(field)); });
    store.sync();
    if (store.status() != QSettings::NoError)
        return std::unexpected(failure);
    return {};
}

// Only spaces and tabs: a line break inside a pasted address is a mistake worth failing on.
QString AppSettings::trimmedSpacesAndTabs(const QString &text)
{
    return trimmedBy(text, [](char16_t c) { return c == u' ' || c == u'\t'; }).toString();
}

bool AppSettings::isUsableAddress(const QString &text)
{
    const QString trimmed = trimmedSpacesAndTabs(text);
    if (trimmed.isEmpty())
        return true;
    const QUrl url(trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
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
    return parsedURL(trimmedSpacesAndTabs(ollamaEndpoint), QUrl(QStringLiteral("http://localhost:11434")));
}

QUrl AppSettings::openAIURL() const
{
    QString base = trimmedSpacesAndTabs(openAIBaseURL);
    if (base.endsWith(u'/'))
        base.chop(1);
    return parsedURL(base, QUrl(defaultOpenAIBaseURL));
}

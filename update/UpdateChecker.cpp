#include "UpdateChecker.h"

#include "HttpClient.h"
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QJsonValue>
#include <QSettings>
#include <QStringDecoder>
#include <QThreadPool>

namespace UpdateChecker {

namespace {

const char lastCheckKey[] = "updateLastCheckAt";
const char skippedVersionKey[] = "updateSkippedVersion";

constexpr double secondsBetweenChecks = 86400;
constexpr std::chrono::seconds pageTimeout{10};
constexpr qint64 maxPageSize = 1024 * 1024;

QString versionOrZero(const QString &version)
{
    const QString trimmed = version.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("0") : trimmed;
}

double secondsSince1970(const QDateTime &time)
{
    return double(time.toMSecsSinceEpoch()) / 1000;
}

// A last check in the future means the clock was wrong then or is now; waiting for that date could
// stop checks for years.
bool isDue(const QJsonValue &lastCheck, double now)
{
    if (!lastCheck.isDouble())
        return true;
    const double elapsed = now - lastCheck.toDouble();
    return elapsed < 0 || elapsed >= secondsBetweenChecks;
}

// Other keys in the file, the user's settings among them, are kept as they are.
void store(const QString &settingsPath, const char *key, const QVariant &value)
{
    if (!SettingsFile::prepareForWrite(settingsPath))
        return;
    QSettings settings(settingsPath, SettingsFile::jsonFormat());
    settings.setValue(key, value);
}

} // namespace

QUrl downloadPageURL()
{
    static const QUrl page(QStringLiteral("https://orvane.app/download"));
    return page;
}

QString currentVersion()
{
    return versionOrZero(QStringLiteral(ORVANE_VERSION));
}

void openInDefaultBrowser(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

std::optional<QString> fetchLatestVersion(const QUrl &page, const CancelFlag &cancel)
{
    HttpRequest request;
    request.cancel = cancel;
    request.url = page;
    // Caches on the way could keep an old page, and with it an old version, for days.
    request.headers = {{"Cache-Control", "no-cache"}, {"Pragma", "no-cache"}};
    request.timeout = pageTimeout;
    request.maxBody = maxPageSize;
    const auto response = HttpClient::send(request);
    if (!response || response->status != 200)
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(response->body);
    if (utf8.hasError())
        return std::nullopt;
    return parseLatestVersion(text);
}

std::optional<QString> versionToOffer(bool force, const Context &context)
{
    if (!force && !AppSettings(context.settingsPath).autoCheckUpdate)
        return std::nullopt;
    const QSettings stored(context.settingsPath, SettingsFile::jsonFormat());
    const double now = secondsSince1970(context.clock());
    if (!force && !isDue(QJsonValue::fromVariant(stored.value(lastCheckKey)), now))
        return std::nullopt;
    const QVariant skipped = stored.value(skippedVersionKey);

    const auto latest = fetchLatestVersion(context.pageURL, context.cancel);
    if (!latest)
        return std::nullopt;
    store(context.settingsPath, lastCheckKey, now);
    if (compare(*latest, versionOrZero(context.runningVersion)) != 1)
        return std::nullopt;
    if (skipped.typeId() == QMetaType::QString && skipped.toString() == *latest)
        return std::nullopt;
    return latest;
}

void checkAndNotify(bool force, std::function<void(const QString &latest)> showAlert, Context context)
{
    QThreadPool::globalInstance()->start([force, showAlert = std::move(showAlert), context = std::move(context)] {
        if (const auto latest = versionToOffer(force, context)) {
            // The application object lives as long as the main thread's loop that runs this.
            QMetaObject::invokeMethod(QCoreApplication::instance(), [showAlert, latest = *latest] { showAlert(latest); },
                                      Qt::QueuedConnection);
        }
    });
}

Alert alertFor(const QString &latest, const Context &context)
{
    return {
        QStringLiteral("有新版本可用"),
        QStringLiteral("网站上已发布 Orvane ") + latest + QStringLiteral("，你当前使用的是 ")
            + versionOrZero(context.runningVersion) + QStringLiteral("。\n更新后可用上新功能与修复。"),
        {QStringLiteral("去下载"), QStringLiteral("跳过此版本"), QStringLiteral("稍后再说")},
    };
}

void carryOut(Choice choice, const QString &latest, const Context &context)
{
    switch (choice) {
    case Choice::download:
        context.openInBrowser(context.pageURL);
        break;
    case Choice::skipThisVersion:
        store(context.settingsPath, skippedVersionKey, latest);
        break;
    case Choice::later:
        break;
    }
}

} // namespace UpdateChecker

#pragma once

// Once a day at most, reads the download page and offers a newer version than the one running.
// The alert itself is a window; its texts, whether to show it and what each answer does are here.

#include "AppSettings.h"
#include "HttpClient.h"
#include "UpdateVersions.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace UpdateChecker {

// The page that is both read and opened for the user.
QUrl downloadPageURL();
// This build's version, trimmed; "0" when there is none.
QString currentVersion();
void openInDefaultBrowser(const QUrl &url);

// Where a check reads, writes and looks. The defaults are the real ones; tests bring their own.
struct Context
{
    QString settingsPath = AppSettings::defaultStorePath();
    QUrl pageURL = downloadPageURL();
    QString runningVersion = currentVersion();
    std::function<QDateTime()> clock = &QDateTime::currentDateTimeUtc;
    std::function<void(const QUrl &)> openInBrowser = &openInDefaultBrowser;
    // Set when the program closes, so that a slow page does not hold it up.
    CancelFlag cancel;
};

// Blocking, for a worker thread. The newest version on the page; nothing for any failure.
std::optional<QString> fetchLatestVersion(const QUrl &page = downloadPageURL(), const CancelFlag &cancel = {});

// Blocking, for a worker thread: the whole check up to the alert. The version to offer, if any.
// Without force, the user's switch and the 24 hours since the last successful read count.
std::optional<QString> versionToOffer(bool force, const Context &context = {});

// Returns at once; when there is a version to offer, showAlert gets it later on the main thread.
void checkAndNotify(bool force, std::function<void(const QString &latest)> showAlert, Context context = {});

// The alert's texts. They hold a version taken from a web page: show them as plain text.
struct Alert
{
    QString title;
    QString body;
    // In the order of Choice; the first is the default.
    QStringList buttons;
};
enum class Choice { download, skipThisVersion, later };

Alert alertFor(const QString &latest, const Context &context = {});
// Opens only the fixed download page, never an address found on it.
void carryOut(Choice choice, const QString &latest, const Context &context = {});

} // namespace UpdateChecker

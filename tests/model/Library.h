#pragma once

#include "AppModel.h"
#include "Files.h"
#include "Fixtures.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

// A model with its own settings file, set to the given media target, and the session's runtime
// folder (where undo logs go) and cache folder (where searches park frames) inside the test's
// temporary folder.
struct Library
{
    Fixtures fixtures;
    QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    AppModel model{fixtures.path("settings/Orvane.json")};

    explicit Library(const QString &target = "videos")
    {
        QDir().mkpath(fixtures.path("runtime"));
        QFile::setPermissions(fixtures.path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(fixtures.path("runtime")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(fixtures.path("cache")));
        model.settings().mediaTargetRaw = target;
    }
    ~Library()
    {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("XDG_CACHE_HOME", savedCache);
    }

    QString touch(const QString &relativePath) { return Files::write(fixtures.path(relativePath)); }

    // Imports and waits until every import has ended.
    void import(const QStringList &locations)
    {
        model.addFiles(locations);
        waitUntil([this] { return !model.isImporting(); });
        QCoreApplication::processEvents(); // deliver the queued change notifications
    }

    QStringList names() const
    {
        QStringList names;
        for (const VideoItem &item : model.items())
            names << QDir(fixtures.path("")).relativeFilePath(item.url);
        return names;
    }
};

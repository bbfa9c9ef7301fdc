#pragma once

#include "AppDelegate.h"
#include "FakeVision.h"
#include "Fixtures.h"
#include "MainViewController.h"
#include "WaitUntil.h"

#include <QMessageBox>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// A fake Ollama whose answers to pictures can be held back until the test releases them, so a
// run can be caught half-way. Tags and pulls answer at once.
struct FakeOllama
{
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    int asked = 0;
    std::string tags = R"({"models":[{"name":"qwen2.5vl:7b"}]})";
    std::atomic<bool> pullFails = false;
    // What the model says about a picture; empty answers every question with an HTTP error.
    QString reply = QStringLiteral(R"({"content":"石桥流水","location":"古镇"})");
    FakeVision server;

    FakeOllama();
    ~FakeOllama();
    void setTags(const std::string &models);
    void setReply(const QString &text);
    void release();
    // Turns the event loop until `count` pictures have been asked about.
    void waitForQuestions(int count);
};

// The real main window, started as the program starts it, with its settings, runtime and cache
// folders, Ollama program search and download page inside the test's temporary folder.
struct Window
{
    Fixtures fixtures;
    QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    FakeOllama ollama;
    FakeHttpServer page;
    QList<QUrl> opened;
    std::unique_ptr<AppDelegate> delegate;

    // `installed`: whether the Ollama program is found; `target` the media target.
    explicit Window(bool installed = true, const QString &target = QStringLiteral("both"));
    ~Window();

    AppEnvironment environment(bool installed);
    // Puts an Ollama program where the program search looks.
    void installOllama();
    MainViewController &main() const { return *delegate->mainController(); }
    AppModel &model() const { return main().model(); }

    // Drops the files on the list as a file manager does and waits for the import.
    void drop(const QStringList &paths);
    void triggerToolbar(const char *identifier);
    void analyzeAndWait();
    void select(int row);

};

// Answers the next modal alert with the button labelled `label`, and reports the buttons it had.
void answerNextAlert(const QString &label, QStringList *buttonsSeen = nullptr, QString *defaultSeen = nullptr);

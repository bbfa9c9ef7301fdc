#include "Window.h"

#include "Files.h"
#include "ListTableView.h"
#include "MainToolbar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

using namespace std::chrono_literals;

FakeOllama::FakeOllama()
    : server([this](const FakeVision::Question &) {
        std::unique_lock lock(mutex);
        ++asked;
        changed.notify_all();
        changed.wait_for(lock, 30s, [this] { return !holding; });
        return reply.isEmpty() ? FakeVision::Answer{500, "model crashed"} : FakeVision::Answer{200, reply};
    })
{
    server.http.server().Get("/api/tags", [this](const httplib::Request &, httplib::Response &response) {
        const std::lock_guard lock(mutex);
        response.set_content(tags, "application/json");
    });
    server.http.server().Post("/api/pull", [this](const httplib::Request &, httplib::Response &response) {
        const std::string progress = R"({"status":"pulling manifest"})" "\n"; // four lines, then the outcome
        const std::string last = pullFails ? R"({"error":"磁盘空间不足"})" "\n" : R"({"status":"success"})" "\n";
        FakeHttpServer::stream(response, {progress, progress, progress, progress, last}, 20ms);
    });
    server.start();
}

FakeOllama::~FakeOllama()
{
    release();
    server.questions();
}

void FakeOllama::setTags(const std::string &models)
{
    const std::lock_guard lock(mutex);
    tags = models;
}

void FakeOllama::setReply(const QString &text)
{
    const std::lock_guard lock(mutex);
    reply = text;
}

void FakeOllama::release()
{
    {
        const std::lock_guard lock(mutex);
        holding = false;
    }
    changed.notify_all();
}

void FakeOllama::waitForQuestions(int count)
{
    waitUntil([&] {
        const std::lock_guard lock(mutex);
        return asked >= count;
    });
}

Window::Window(bool installed, const QString &target)
{
    QDir().mkpath(fixtures.path("runtime"));
    QFile::setPermissions(fixtures.path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(fixtures.path("runtime")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(fixtures.path("cache")));
    page.server().Get("/download", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(R"(<a href="Orvane_9.9.dmg">)", "text/html");
    });
    page.start();

    const AppEnvironment env = environment(installed);
    AppSettings settings(env.settingsPath);
    settings.ollamaEndpoint = ollama.server.ollamaURL().toString();
    settings.mediaTargetRaw = target;
    settings.autoCheckUpdate = false;
    settings.persist();

    delegate = std::make_unique<AppDelegate>(env);
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(delegate->mainWindow()));
}

Window::~Window()
{
    ollama.release();
    delegate.reset();
    // Background requests still under way end against the fake servers, not against a port that
    // closed under them.
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(30000)) << "background work still running";
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("XDG_CACHE_HOME", savedCache);
}

AppEnvironment Window::environment(bool installed)
{
    AppEnvironment env;
    env.settingsPath = fixtures.path("config/Orvane.json");
    env.programSearch.locations = {fixtures.path("bin/ollama")};
    env.programSearch.appBundle = fixtures.path("Ollama.app");
    env.programSearch.environment.insert("PATH", fixtures.path("empty"));
    if (installed)
        installOllama();
    env.update.settingsPath = env.settingsPath;
    env.update.pageURL = page.url("/download");
    env.update.runningVersion = "1.0";
    env.update.openInBrowser = [this](const QUrl &url) { opened << url; };
    return env;
}

void Window::installOllama()
{
    QFile::setPermissions(Files::write(fixtures.path("bin/ollama")), QFile::ReadOwner | QFile::ExeOwner);
}

void Window::drop(const QStringList &paths)
{
    QByteArray uriList;
    for (const QString &path : paths)
        uriList += QUrl::fromLocalFile(path).toEncoded() + "\r\n";
    QMimeData data;
    data.setData("text/uri-list", uriList);
    QWidget *target = main().tableView()->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(main().tableView()->isDropTarget());
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    EXPECT_FALSE(main().tableView()->isDropTarget());
    waitUntil([this] { return !model().isImporting(); });
    QApplication::processEvents();
}

void Window::triggerToolbar(const char *identifier)
{
    main().toolbar()->item(QString::fromLatin1(identifier))->trigger();
}

void Window::analyzeAndWait()
{
    triggerToolbar("analyze");
    waitUntil([this] { return !model().isBusy(); });
    QApplication::processEvents();
}

void Window::select(int row)
{
    ListTableView *list = main().tableView();
    list->setCurrentIndex(list->model()->index(row, 0));
}

namespace {

void answerAlert(const QString &label, QStringList *buttonsSeen, QString *defaultSeen, QDeadlineTimer giveUp)
{
    QTimer::singleShot(0, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            if (!giveUp.hasExpired()) // no alert for good: the test's own check fails
                answerAlert(label, buttonsSeen, defaultSeen, giveUp);
            return;
        }
        if (defaultSeen && box->defaultButton())
            *defaultSeen = box->defaultButton()->text();
        QAbstractButton *chosen = nullptr;
        for (QAbstractButton *button : box->buttons()) {
            if (buttonsSeen)
                *buttonsSeen << button->text();
            if (button->text() == label)
                chosen = button;
        }
        if (chosen)
            chosen->click();
        else
            box->reject(); // no such button: never leave the test waiting on the alert
    });
}

} // namespace

void answerNextAlert(const QString &label, QStringList *buttonsSeen, QString *defaultSeen)
{
    answerAlert(label, buttonsSeen, defaultSeen, QDeadlineTimer(5s));
}

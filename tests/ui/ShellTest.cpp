#include "DragPayload.h"
#include "SingleInstance.h"
#include "UpdateAlert.h"
#include "Window.h"
#include "WindowPlacement.h"

#include "FilePath.h"
#include "SettingsFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

// Not installed at start: OnboardingWindow's test.
TEST(Shell, OnboardingComesForwardOnANotReadyCheckButNotOnDownloadLines)
{
    Window window; // installed, running, with a model: nothing to show
    OllamaSetup &setup = window.model().ollamaSetup();
    waitUntil([&] { return setup.readiness().hasModel; });
    QApplication::processEvents();
    EXPECT_EQ(window.delegate->onboardingWindow(), nullptr);
    window.ollama.setTags(R"({"models":[]})");
    setup.checkOllamaReadiness();
    waitUntil([&] { return window.delegate->onboardingWindow() != nullptr; });
    QWidget *onboarding = window.delegate->onboardingWindow();
    onboarding->close();
    int linesWhileShown = 0, lines = 0;
    setup.addReadinessObserver([&] {
        lines += setup.isPulling();
        linesWhileShown += setup.isPulling() && onboarding->isVisible();
    });
    setup.pullVisionModel("qwen2.5vl:7b");
    waitUntil([&] { return !setup.isPulling(); });
    EXPECT_GE(lines, 4);
    EXPECT_EQ(linesWhileShown, 0);
}

TEST(Shell, TheUpdateAlertAndItsThreeAnswers)
{
    Window window;
    const AppEnvironment env = window.environment(true);
    QString defaultButton;
    answerNextAlert("去下载", nullptr, &defaultButton);
    showUpdateAlert(window.delegate->mainWindow(), "1.3", env.update);
    EXPECT_EQ(defaultButton, "去下载");
    EXPECT_EQ(window.opened, QList<QUrl>{env.update.pageURL});

    answerNextAlert("稍后再说");
    showUpdateAlert(window.delegate->mainWindow(), "1.3", env.update);
    EXPECT_EQ(window.opened.size(), 1);
    EXPECT_FALSE(QSettings(env.settingsPath, SettingsFile::jsonFormat()).contains("updateSkippedVersion"));
    answerNextAlert("跳过此版本");
    showUpdateAlert(window.delegate->mainWindow(), "1.3", env.update);
    EXPECT_EQ(QSettings(env.settingsPath, SettingsFile::jsonFormat()).value("updateSkippedVersion").toString(), "1.3");
    EXPECT_EQ(AppSettings(env.settingsPath).ollamaEndpoint, window.ollama.server.ollamaURL().toString())
        << "the user's settings are kept";
}

TEST(Shell, QuittingDuringARunOrASearchEndsTheWorkPromptly)
{
    for (const bool search : {false, true}) {
        Window window;
        window.ollama.holding = true;
        if (search) {
            const QString clip = window.fixtures.video("clip.mp4", "testsrc=size=64x48:rate=5", 4.0);
            window.model().searchVideos({clip}, "桥", std::nullopt, SearchMode::keyword, 1.0, [](int, int, const QString &) {},
                                        [](const auto &) {});
        } else {
            window.drop({window.fixtures.picture("a.png", quadrantPicture(32, 32))});
            window.triggerToolbar("analyze");
        }
        window.ollama.waitForQuestions(1);
        QElapsedTimer clock;
        clock.start();
        window.delegate->mainWindow()->close();
        window.delegate.reset();
        EXPECT_LT(clock.elapsed(), 10000) << (search ? "search" : "analysis");
        // The search has ended, not been left running, and took its frames along.
        EXPECT_TRUE(QDir(window.fixtures.path("cache/Orvane")).entryList({"orvane-search-*"}, QDir::Dirs).isEmpty());
    }
}

TEST(Shell, SecondaryWindowsSitCentredOnTheMainWindowAndInsideTheScreen)
{
    QWidget parent;
    parent.setGeometry(300, 200, 600, 400);
    parent.show();
    QWidget small;
    small.resize(200, 100);
    attachTo(&small, &parent);
    EXPECT_EQ(small.parentWidget(), &parent);
    EXPECT_TRUE(small.isWindow());
    EXPECT_EQ(small.frameGeometry().center().x() / 10, parent.frameGeometry().center().x() / 10);

    const QRect screen = parent.screen()->availableGeometry();
    QWidget large;
    large.resize(screen.width() * 2, screen.height() * 2);
    attachTo(&large, &parent);
    EXPECT_EQ(large.pos(), screen.topLeft() + QPoint(8, 8));
}

TEST(Shell, DraggedFileNamesArriveWithTheirBytes)
{
    const QByteArray latin1Name = "/tmp/caf\xe9.mp4";
    struct Case
    {
        const char *name;
        QByteArray uriList;
        QStringList expected;
    };
    const Case cases[] = {
        {"plain", "file:///home/u/a.mp4\r\n", {"/home/u/a.mp4"}},
        {"escaped UTF-8 and comments", "# from a file manager\r\nfile:///tmp/%E7%9F%B3%20%E6%A1%A5.mov\r\n", {"/tmp/石 桥.mov"}},
        {"not UTF-8", "file:///tmp/caf%E9.mp4", {FilePath::decode(latin1Name)}},
        {"localhost and links", "file://localhost/a/b.jpg\nhttps://example.com/c.jpg\nfile://other/d.jpg\n", {"/a/b.jpg"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DragPayload::localPathsOfUriList(c.uriList), c.expected) << c.name;
}

TEST(Shell, ASecondStartRaisesTheFirst)
{
    Fixtures fixtures;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QDir().mkpath(fixtures.path("run"));
    QFile::setPermissions(fixtures.path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(fixtures.path("run")));
    SingleInstance first, second;
    int raised = 0;
    first.onActivate = [&] { ++raised; };
    EXPECT_TRUE(first.claim());
    EXPECT_FALSE(second.claim());
    waitUntil([&] { return raised == 1; });
    qputenv("XDG_RUNTIME_DIR", saved);
}

} // namespace

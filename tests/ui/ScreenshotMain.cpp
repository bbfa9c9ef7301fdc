// Starts the real main window under the display it is given (Xvfb in scripts/screenshot), with a
// generated folder and the fake model, and saves what a person would see, in a light and a dark
// palette: the window before and after the analysis, with an item selected, and the secondary
// windows.

#include "DetailPane.h"
#include "ListTableView.h"
#include "MediaTargetWindow.h"
#include "OnboardingWindow.h"
#include "SearchWindow.h"
#include "SettingsWindow.h"
#include "Window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTableView>
#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QPalette>
#include <QStyleFactory>
#include <QTest>

#include <cstdio>

namespace {

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    palette.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x29));
    palette.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    palette.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x6f, 0xd6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8a, 0x90));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x70, 0x70, 0x75));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x70, 0x70, 0x75));
    return palette;
}

void save(QWidget *window, const QString &path)
{
    QTest::qWait(300); // thumbnails arrive from their threads
    window->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

void shoot(const QString &folder, const QString &theme)
{
    Window window;
    QMainWindow *main = window.delegate->mainWindow();
    save(main, folder + "/main-empty-" + theme + ".png");

    QStringList files;
    const QString shoot = "2026/2025/2024/2023/成都/上里古镇/";
    files << window.fixtures.video(shoot + "IMG_0234.MOV", "testsrc2=size=640x360:rate=10", 4.0);
    files << window.fixtures.video(shoot + "IMG_0235.MOV", "mandelbrot=size=640x360:rate=10", 4.0);
    files << window.fixtures.picture(shoot + "IMG_0236.jpg", quadrantPicture(800, 600));
    files << window.fixtures.text(shoot + "一段损坏的视频_文件名很长很长很长很长很长.mp4", QByteArray(4096, 'x'));
    window.drop({window.fixtures.path("2026")});
    save(main, folder + "/main-before-" + theme + ".png");

    window.analyzeAndWait();
    window.select(0);
    QTest::qWait(300);
    save(main, folder + "/main-after-" + theme + ".png");
}

// The secondary windows, on a machine where Ollama is not installed yet.
void shootSecondary(const QString &folder, const QString &theme)
{
    Window window(false);
    waitUntil([&] { return window.delegate->onboardingWindow() != nullptr; });
    QTest::qWait(200);
    save(window.delegate->onboardingWindow(), folder + "/onboarding-" + theme + ".png");
    window.delegate->onboardingWindow()->close();

    window.triggerToolbar("settings");
    SettingsWindowController &form = *window.main().settingsWindow();
    save(&form, folder + "/settings-ollama-" + theme + ".png");
    form.enginePopup()->setCurrentIndex(1);
    emit form.enginePopup()->activated(1);
    save(&form, folder + "/settings-cloud-" + theme + ".png");
    form.reject();

    window.triggerToolbar("mediaTarget");
    save(window.main().mediaTargetWindow(), folder + "/media-target-" + theme + ".png");
    window.main().mediaTargetWindow()->close();

    window.ollama.setReply(QStringLiteral(R"({"caption":"画面中央有一座石桥","hit":true,"score":86})"));
    window.triggerToolbar("search");
    SearchWindowController &search = *window.main().searchWindow();
    search.useVideos({window.fixtures.video("河边/桥头_001.mp4", "testsrc2=size=320x180:rate=10", 4.0),
                      window.fixtures.video("河边/桥头_002.mp4", "mandelbrot=size=320x180:rate=10", 3.0)});
    search.keywordField()->setText(QStringLiteral("石桥"));
    search.intervalSlider()->setValue(10);
    search.runSearch();
    waitUntil([&] { return !search.isRunning(); });
    search.resultTable()->selectRow(1);
    save(&search, folder + "/search-" + theme + ".png");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    QApplication::setQuitOnLastWindowClosed(false);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    shoot(folder, QStringLiteral("light"));
    shootSecondary(folder, QStringLiteral("light"));
    QApplication::setPalette(darkPalette());
    shoot(folder, QStringLiteral("dark"));
    shootSecondary(folder, QStringLiteral("dark"));
    return 0;
}

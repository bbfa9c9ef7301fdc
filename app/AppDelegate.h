#pragma once

#include "AppSettings.h"
#include "OllamaProgram.h"
#include "UpdateChecker.h"

#include <QObject>
#include <QPointer>

#include <memory>

#include "MainViewController.h"
#include "OnboardingWindow.h"
#include <QMainWindow>

// Where the application reads and looks. The defaults are the real ones; tests bring their own.
struct AppEnvironment
{
    QString settingsPath = AppSettings::defaultStorePath();
    OllamaProgramSearch programSearch;
    UpdateChecker::Context update;
};

// Owns the one AppModel for the run. Builds the main window when the event loop has started, brings up the Ollama set-up guide
// whenever a readiness check finds the local set-up incomplete, and offers newer versions.
class AppDelegate : public QObject
{
public:
    explicit AppDelegate(AppEnvironment environment = {}, QObject *parent = nullptr);
    ~AppDelegate() override;

    // "帧匣 Orvane 1.2", or "帧匣 Orvane" for a build without a version.
    static QString mainWindowTitle(const QString &version);

    void applicationDidFinishLaunching();
    void showOnboarding();
    // Brings the main window to the front, for a second start of the program.
    void raiseMainWindow();

    QMainWindow *mainWindow() const { return m_mainWindow.get(); }
    MainViewController *mainController() const { return m_mainController; }

    // Made on the first need, then shown again.
    OnboardingWindowController *onboardingWindow() const { return m_onboardingWindow; }

private:
    AppEnvironment m_environment;
    CancelFlag m_updateCancel = makeCancelFlag();
    // Made before the window and gone after every window, which may all hold it.
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<QMainWindow> m_mainWindow;
    QPointer<MainViewController> m_mainController;
    QPointer<OnboardingWindowController> m_onboardingWindow;
};

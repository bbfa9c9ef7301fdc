#include "AppDelegate.h"

#include "FrameSpool.h"
#include "ItemPictures.h"
#include "PerUserFolder.h"

#include "MainViewController.h"
#include "UpdateAlert.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

namespace {

constexpr QSize initialSize(1000, 680);
constexpr QSize minimumSize(720, 520);

// Closing the main window ends the program, even with a secondary window still open: they all
// belong to it.
class QuitOnClose : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close && event->isAccepted())
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

AppDelegate::AppDelegate(AppEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
{
}

AppDelegate::~AppDelegate()
{
    *m_updateCancel = true;
    // Windows first: the model they show ends its work only after they are gone.
    m_mainWindow.reset();
    m_model.reset();
}

QString AppDelegate::mainWindowTitle(const QString &version)
{
    const QString trimmed = version.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("帧匣 Orvane") : QStringLiteral("帧匣 Orvane ") + trimmed;
}

void AppDelegate::applicationDidFinishLaunching()
{
    // One Orvane runs at a time, so no search is using these: they were left by one that crashed.
    if (const std::optional<QString> cache = perUserCacheFolder()) {
        FrameSpool::removeLeftovers(*cache);
        ItemPictures::removeLeftovers(*cache);
    }

    m_mainWindow = std::make_unique<QMainWindow>();
    QMainWindow &window = *m_mainWindow;
    window.setWindowTitle(mainWindowTitle(QCoreApplication::applicationVersion()));
    window.setMinimumSize(minimumSize);
    window.resize(initialSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - QPoint(initialSize.width() / 2, initialSize.height() / 2));

    m_model = std::make_unique<AppModel>(m_environment.settingsPath, m_environment.programSearch);
    m_mainController = new MainViewController(*m_model);
    m_mainController->onOpenOnboarding = [this] { showOnboarding(); };
    window.setCentralWidget(m_mainController);
    window.installEventFilter(new QuitOnClose(&window));

    window.show();
    window.raise();
    window.activateWindow();

    AppModel &model = *m_model;
    model.ollamaSetup().addReadinessObserver([self = QPointer<AppDelegate>(this)] {
        if (!self || !self->m_mainController)
            return;
        const OllamaSetup &setup = self->m_model->ollamaSetup();
        // The lines of a download report progress, not a new finding about the set-up.
        if (setup.isPulling())
            return;
        const OllamaReadiness &readiness = setup.readiness();
        if (!(readiness.installed && readiness.running && readiness.hasModel))
            self->showOnboarding();
    });
    model.ollamaSetup().checkOllamaReadiness();

    UpdateChecker::Context update = m_environment.update;
    update.cancel = m_updateCancel;
    UpdateChecker::checkAndNotify(
        false,
        [self = QPointer<AppDelegate>(this)](const QString &latest) {
            if (self && self->m_mainWindow)
                showUpdateAlert(self->m_mainWindow.get(), latest, self->m_environment.update);
        },
        update);
}

void AppDelegate::showOnboarding()
{
    if (!m_mainController)
        return;
    if (!m_onboardingWindow)
        m_onboardingWindow = new OnboardingWindowController(*m_model, m_mainWindow.get());
    m_mainController->present(m_onboardingWindow);
}

void AppDelegate::raiseMainWindow()
{
    if (!m_mainWindow)
        return;
    m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

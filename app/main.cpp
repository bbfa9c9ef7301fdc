#include "AppDelegate.h"
#include "DecodeMemory.h"
#include "SingleInstance.h"
#include "ToolbarIcons.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

int main(int argc, char *argv[])
{
    keepDecodeBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("app.orvane.Orvane"));
    QApplication::setWindowIcon(applicationIcon());

    // Qt's own dialogs and buttons speak the language of the rest of the program.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    SingleInstance instance;
    if (!instance.claim())
        return 0;

    AppDelegate delegate;
    instance.onActivate = [&delegate] { delegate.raiseMainWindow(); };
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}

#include "DecodeMemory.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    keepDecodeBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("帧匣 Orvane ") + QStringLiteral(ORVANE_VERSION));
    window.resize(1100, 720);
    window.show();
    return app.exec();
}

#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {

constexpr int answerWithinMs = 1000;

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *knock = m_server.nextPendingConnection()) {
            connect(knock, &QLocalSocket::disconnected, knock, &QObject::deleteLater);
            knock->disconnectFromServer();
            if (onActivate)
                onActivate();
        }
    });
}

QString SingleInstance::socketPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/orvane-%1").arg(getuid());
    return folder + QStringLiteral("/app.orvane.Orvane.socket");
}

bool SingleInstance::claim()
{
    const QString path = socketPath();
    QLocalSocket other;
    other.connectToServer(path);
    if (other.waitForConnected(answerWithinMs)) {
        other.disconnectFromServer();
        return false;
    }
    // Nobody answers: what is there was left by a program that ended without tidying up.
    QLocalServer::removeServer(path);
    QDir().mkpath(QFileInfo(path).path());
    // Without the socket the program still runs, only without the guard.
    m_server.listen(path);
    return true;
}

#pragma once

#include <QLocalServer>
#include <QObject>

#include <functional>

// One Orvane per user session: two would share one settings file and one undo log. The first
// start listens on a socket in the user's runtime folder; a later start asks it to come forward.
class SingleInstance : public QObject
{
public:
    explicit SingleInstance(QObject *parent = nullptr);

    // True when this is the only instance; false after another one was asked to show itself.
    bool claim();
    // Called in the first instance when a later start knocks.
    std::function<void()> onActivate;

    static QString socketPath();

private:
    QLocalServer m_server;
};

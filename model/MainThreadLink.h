#pragma once

// The way back to the main thread for background work that may outlive the object it reports to.
// The owner cuts the link first thing in its destructor; what is posted after that is dropped, and
// what was posted before is discarded with the owner's pending events. So the owner never waits for
// its work, however long that runs.

#include <QObject>

#include <functional>
#include <mutex>

class MainThreadLink
{
public:
    // Held through a shared pointer by the owner and by each piece of work it starts.
    explicit MainThreadLink(QObject *owner);

    // From any thread: runs work later on the owner's thread, if the owner is still there.
    void post(std::function<void()> work);
    void cut();

private:
    std::mutex m_mutex;
    QObject *m_owner;
};

#include "MainThreadLink.h"

MainThreadLink::MainThreadLink(QObject *owner)
    : m_owner(owner)
{
}

void MainThreadLink::post(std::function<void()> work)
{
    // Held while posting, so cut() cannot return between the check and the post.
    const std::lock_guard lock(m_mutex);
    if (m_owner)
        QMetaObject::invokeMethod(m_owner, std::move(work), Qt::QueuedConnection);
}

void MainThreadLink::cut()
{
    const std::lock_guard lock(m_mutex);
    m_owner = nullptr;
}

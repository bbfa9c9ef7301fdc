#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds deadline)
{
    for (QDeadlineTimer giveUp(deadline); !done();) {
        if (giveUp.hasExpired()) {
            ADD_FAILURE() << "gave up waiting after " << deadline.count() << " ms";
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

#include "UserTempFolder.h"

#include <QDir>
#include <QStandardPaths>

QString userTemporaryRoot()
{
    // Qt checks the runtime folder's owner and mode, but without XDG_RUNTIME_DIR, or when that
    // folder fails the check, it invents /tmp/runtime-<user>: a name anyone can predict.
    const QString fromSession = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!fromSession.isEmpty()) {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!runtime.isEmpty() && QDir(runtime) == QDir(fromSession))
            return runtime;
    }
    return QDir::tempPath();
}

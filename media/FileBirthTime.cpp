#include "FileBirthTime.h"

#include "FilePath.h"

#include <fcntl.h>
#include <sys/stat.h>

std::optional<QDateTime> fileBirthTime(const QString &path)
{
    struct statx info {};
    if (statx(AT_FDCWD, FilePath::encode(path).constData(), 0, STATX_BTIME, &info) != 0
        || !(info.stx_mask & STATX_BTIME))
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(info.stx_btime.tv_sec) * 1000 + info.stx_btime.tv_nsec / 1'000'000);
}

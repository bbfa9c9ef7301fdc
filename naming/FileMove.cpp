#include "FileMove.h"

#include "FilePath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileMove {

int moveWithoutReplacing(const QString &from, const QString &to)
{
    const QByteArray source = FilePath::encode(from);
    const QByteArray target = FilePath::encode(to);
    // The system would read such a path only up to the NUL: another file than the one meant.
    if (source.contains('\0') || target.contains('\0'))
        return EINVAL;
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;

    // Some file systems (NFS, some FUSE) cannot refuse a replacement while renaming; a hard link
    // can: it fails when the name is taken. Then the old name goes.
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    if (::unlink(source.constData()) != 0) {
        const int error = errno;
        ::unlink(target.constData()); // the file keeps its old name, as if nothing had happened
        return error;
    }
    return 0;
}

bool exists(const QString &path)
{
    const QByteArray bytes = FilePath::encode(path);
    struct stat info {};
    return !bytes.contains('\0') && ::lstat(bytes.constData(), &info) == 0;
}

QString describe(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限修改该文件夹");
    case EROFS:
        return QStringLiteral("磁盘为只读");
    case ENOENT:
        return QStringLiteral("文件已不存在");
    case ENAMETOOLONG:
        return QStringLiteral("文件名过长");
    case EEXIST:
        return QStringLiteral("目标文件已存在");
    case EBUSY:
        return QStringLiteral("文件正被占用");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace FileMove

#include "FolderWalk.h"

#include "FilePath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

struct Entry
{
    QByteArray name;
    unsigned char type;
};

// Takes ownership of the folder's descriptor. Children are opened relative to it, so no path is
// ever longer than one name.
// False when visit ended the walk.
bool walkInto(int folderFd, const QByteArray &folderPath, const std::function<bool(const QString &)> &visit)
{
    DIR *folder = fdopendir(folderFd);
    if (!folder) {
        ::close(folderFd);
        return true;
    }
    std::vector<Entry> entries;
    while (const dirent *entry = readdir(folder)) {
        if (entry->d_name[0] != '.')
            entries.push_back({QByteArray(entry->d_name), entry->d_type});
    }
    for (Entry &entry : entries) {
        if (entry.type == DT_UNKNOWN) {
            struct stat info {};
            if (fstatat(dirfd(folder), entry.name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone meanwhile
            entry.type = IFTODT(info.st_mode);
        }
        if (entry.type == DT_CHR || entry.type == DT_BLK || entry.type == DT_FIFO || entry.type == DT_SOCK)
            continue;
        const QByteArray path = folderPath + '/' + entry.name;
        bool goOn = visit(FilePath::decode(path));
        if (goOn && entry.type == DT_DIR) {
            const int childFd =
                openat(dirfd(folder), entry.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0)
                goOn = walkInto(childFd, path, visit);
        }
        if (!goOn) {
            closedir(folder);
            return false;
        }
    }
    closedir(folder);
    return true;
}

} // namespace

void walkFolder(const QString &folder, const std::function<bool(const QString &)> &visit)
{
    QByteArray path = FilePath::encode(folder);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        walkInto(fd, path == "/" ? QByteArray() : path, visit);
}

#include "Renamer.h"

#include "FileMove.h"
#include "FilePath.h"
#include "NameBuilder.h"

#include <QDateTime>
#include <QFile>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace Renamer {

namespace {

// Bytes in one file name on the file systems Linux mounts.
constexpr qsizetype nameMax = 255;
// Far more than any folder holds of one name; only a target that keeps reappearing gets here.
constexpr int maxAttempts = 100000;

const QStringList sidecarExtensions = {QStringLiteral(".xmp"), QStringLiteral(".aae"), QStringLiteral(".thm"),
                                       QStringLiteral(".lrv"), QStringLiteral(".srt")};

struct MediaPath
{
    QString folder;
    QString name;
    QString base;
    QString extension; // without the dot, case as on disk; empty when there is none
};

MediaPath split(const QString &path)
{
    MediaPath parts;
    const qsizetype slash = path.lastIndexOf(u'/');
    parts.folder = path.left(slash);
    parts.name = path.mid(slash + 1);
    const qsizetype dot = parts.name.lastIndexOf(u'.');
    // A leading dot marks a hidden file, not an extension.
    const bool hasExtension = dot > 0 && dot < parts.name.size() - 1;
    parts.base = hasExtension ? parts.name.left(dot) : parts.name;
    parts.extension = hasExtension ? parts.name.mid(dot + 1) : QString();
    return parts;
}

qsizetype bytesOnDisk(const QString &text)
{
    return FilePath::encode(text).size();
}

// The names in each folder of the batch, read once: sidecars are looked for among them, and a
// folder of thousands of photos is not read again for each one.
using FolderListings = QHash<QString, QStringList>;

QStringList &listingOf(const QString &folder, FolderListings &listings)
{
    const auto known = listings.find(folder);
    if (known != listings.end())
        return *known;
    QStringList &names = listings[folder];
    const auto closeDir = [](DIR *dir) { ::closedir(dir); };
    const std::unique_ptr<DIR, decltype(closeDir)> dir(::opendir(FilePath::encode(folder + u'/').constData()), closeDir);
    while (const dirent *entry = dir ? ::readdir(dir.get()) : nullptr)
        names << FilePath::decode(QByteArray(entry->d_name));
    return names;
}

// What follows the media file's base name in each of its sidecars' names: ".xmp" for IMG_1.xmp,
// ".CR3.xmp" for IMG_1.CR3.xmp. Only sidecar extensions count, so IMG_1.JPG beside IMG_1.CR3 is
// another photo, never a sidecar.
QStringList sidecarSuffixes(const MediaPath &media, FolderListings &listings)
{
    QStringList suffixes;
    for (const QString &name : listingOf(media.folder, listings)) {
        const auto isSidecarOf = [&name](const QString &stem) {
            return name.startsWith(stem)
                && std::ranges::any_of(sidecarExtensions, [&](const QString &extension) {
                       return name.size() == stem.size() + extension.size()
                           && name.endsWith(extension, Qt::CaseInsensitive);
                   });
        };
        if ((isSidecarOf(media.base) || isSidecarOf(media.name))
            && FilePath::isRegularFile(media.folder + u'/' + name))
            suffixes << name.mid(media.base.size());
    }
    return suffixes;
}

// The cleaned name with its "-n", cut at a character boundary where needed so that every name
// made from it (the media file's and its sidecars') fits in one file-system name.
QString baseForAttempt(const QString &clean, int attempt, qsizetype longestTail)
{
    const QString counter = attempt > 1 ? u'-' + QString::number(attempt) : QString();
    const qsizetype budget = nameMax - longestTail - counter.size();
    if (bytesOnDisk(clean) <= budget)
        return clean + counter;

    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, clean);
    qsizetype fits = 0;
    for (qsizetype end = characters.toNextBoundary(); end > 0 && bytesOnDisk(clean.left(end)) <= budget;
         end = characters.toNextBoundary())
        fits = end;
    const QString cut = clean.left(fits).trimmed();
    // With no room at all, the full name goes to the move, which then says why it failed.
    return cut.isEmpty() ? clean + counter : cut + counter;
}

struct Attempt
{
    QString target;
    QStringList sidecarTargets;
};

Attempt attemptAt(const MediaPath &media, const QStringList &sidecars, const QString &clean, int attempt)
{
    qsizetype longestTail = media.extension.isEmpty() ? 0 : 1 + bytesOnDisk(media.extension);
    for (const QString &suffix : sidecars)
        longestTail = std::max(longestTail, bytesOnDisk(suffix));
    const QString base = media.folder + u'/' + baseForAttempt(clean, attempt, longestTail);

    Attempt names;
    names.target = media.extension.isEmpty() ? base : base + u'.' + media.extension;
    for (const QString &suffix : sidecars)
        names.sidecarTargets << base + suffix;
    return names;
}

bool isFree(const Attempt &names)
{
    return !FileMove::exists(names.target) && std::ranges::none_of(names.sidecarTargets, FileMove::exists);
}

Outcome renameOne(const Request &request, Batch &batch, FolderListings &listings)
{
    const QString clean = NameBuilder::clean(request.proposedName);
    if (clean.isEmpty())
        return {};
    // A folder or a link that now stands where the analysed file was is not what was analysed.
    struct stat info {};
    if (::lstat(FilePath::encode(request.path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {Outcome::Kind::failed, {}, QStringLiteral("文件已不存在")};
    const MediaPath media = split(request.path);
    const QStringList sidecars = sidecarSuffixes(media, listings);

    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        const Attempt names = attemptAt(media, sidecars, clean, attempt);
        if (!isFree(names))
            continue;
        const int error = FileMove::moveWithoutReplacing(request.path, names.target);
        if (error == EEXIST)
            continue; // taken since we looked
        if (error != 0)
            return {Outcome::Kind::failed, {}, FileMove::describe(error)};

        batch.moves.insert(names.target, request.path);
        for (qsizetype i = 0; i < sidecars.size(); ++i) {
            // A sidecar that cannot follow stays where it is; its media file is renamed all the same.
            const QString from = media.folder + u'/' + media.base + sidecars[i];
            const QString &to = names.sidecarTargets[i];
            if (FileMove::moveWithoutReplacing(from, to) == 0) {
                batch.moves.insert(to, from);
                ++batch.sidecarsMoved;
                QStringList &listing = listings[media.folder];
                listing.removeOne(QStringView(from).sliced(media.folder.size() + 1).toString());
                listing << QStringView(to).sliced(media.folder.size() + 1).toString();
            }
        }
        return {Outcome::Kind::moved, names.target, {}};
    }
    return {Outcome::Kind::failed, {}, FileMove::describe(EEXIST)};
}

} // namespace

Batch rename(const QList<Request> &requests, const std::optional<QString> &logFolder)
{
    Batch batch;
    FolderListings listings;
    for (const Request &request : requests)
        batch.outcomes << renameOne(request, batch, listings);
    if (batch.moves.isEmpty())
        return batch;

    if (!logFolder) {
        batch.logError = QStringLiteral("没有可写入的临时文件夹");
        return batch;
    }
    batch.log = UndoLog::location(*logFolder, QDateTime::currentSecsSinceEpoch());
    if (const auto written = UndoLog::write(*batch.log, batch.moves); !written)
        batch.logError = written.error();
    return batch;
}

UndoResult undo(const UndoMap &moves)
{
    UndoResult result;
    // One file of a batch may have taken another's old name (a.jpg → 猫.jpg while 猫.jpg → 狗.jpg),
    // so an entry blocked in one pass may be free once the other went back: pass again while
    // anything moves.
    UndoMap pending = moves;
    for (bool moved = true; moved && !pending.isEmpty();) {
        moved = false;
        UndoMap blocked;
        for (auto move = pending.begin(); move != pending.end(); ++move) {
            const QString &now = move.key();
            const QString &before = move.value();
            if (!FileMove::exists(now))
                continue; // moved away or deleted by the user: nothing left to bring back
            if (FileMove::exists(before) || FileMove::moveWithoutReplacing(now, before) != 0) {
                blocked.insert(now, before);
                continue;
            }
            ++result.restored;
            result.restoredMoves.insert(now, before);
            moved = true;
        }
        pending = blocked;
    }
    result.remaining = pending;
    return result;
}

UndoResult undo(const QString &log)
{
    const std::optional<UndoMap> moves = UndoLog::read(log);
    if (!moves) {
        UndoResult unreadable;
        unreadable.logReadable = false;
        return unreadable;
    }
    UndoResult result = undo(*moves);
    if (result.remaining.isEmpty())
        QFile::remove(log);
    else
        (void)UndoLog::write(log, result.remaining); // on failure the old log still holds these entries
    return result;
}

} // namespace Renamer

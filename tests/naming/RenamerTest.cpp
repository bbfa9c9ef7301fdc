#include "FileMove.h"
#include "Files.h"
#include "Fixtures.h"
#include "Renamer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

// A temporary folder whose files each hold their own first name, so a file that was replaced, or
// moved to the wrong name, shows.
struct Folder
{
    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

    QString add(const QString &name) const { return Files::write(path(name), name.toUtf8()); }

    // Every file as "name=first name", in code-point order.
    QStringList listing() const
    {
        QStringList entries;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name))
            if (!name.startsWith(u"lumisort_undo_"))
                entries << name + u'=' + QString::fromUtf8(Files::read(path(name)));
        entries.sort();
        return entries;
    }
};

// Each target is taken, by a collision, the file's own name, a file without extension or a
// folder, so every file counts up to the first free name, its extension kept.
TEST(Renamer, MovesToTheFirstFreeName)
{
    Folder folder;
    QDir(folder.dir.path()).mkdir(QStringLiteral("dir.mp4"));
    for (const char *name : {"a.mov", "b.mov", "c.mov", "IMG_1.JPG", "clip", "猫", "a.mp4"})
        folder.add(QString::fromUtf8(name));
    Renamer::rename({{folder.path(QStringLiteral("a.mov")), QStringLiteral("海边日落")},
                     {folder.path(QStringLiteral("b.mov")), QStringLiteral("海边日落")},
                     {folder.path(QStringLiteral("c.mov")), QStringLiteral("海边日落")},
                     {folder.path(QStringLiteral("IMG_1.JPG")), QStringLiteral("IMG_1")},
                     {folder.path(QStringLiteral("clip")), QStringLiteral("猫")},
                     {folder.path(QStringLiteral("a.mp4")), QStringLiteral("dir")}},
                    folder.dir.path());
    EXPECT_EQ(folder.listing(), (QStringList{"IMG_1-2.JPG=IMG_1.JPG", "dir-2.mp4=a.mp4", "海边日落-2.mov=b.mov",
                                             "海边日落-3.mov=c.mov", "海边日落.mov=a.mov", "猫-2=clip", "猫=猫"}));
}

TEST(Renamer, ReportsEachOutcomeAndLogsTheMoves)
{
    Folder folder;
    const QString moved = folder.add(QStringLiteral("a.mp4"));
    const QString untouched = folder.add(QStringLiteral("b.mp4"));
    // What stands where a file was analysed is not that file.
    QDir().mkpath(folder.path(QStringLiteral("now-a-folder.mp4")));
    QFile::link(moved, folder.path(QStringLiteral("now-a-link.mp4")));

    const Renamer::Batch batch = Renamer::rename(
        {{moved, QStringLiteral("海")}, {untouched, QStringLiteral("?")},
         {folder.path(QStringLiteral("now-a-folder.mp4")), QStringLiteral("林")},
         {folder.path(QStringLiteral("now-a-link.mp4")), QStringLiteral("湖")}},
        folder.dir.path());

    ASSERT_EQ(batch.outcomes.size(), 4);
    for (int replaced : {2, 3})
        EXPECT_EQ(batch.outcomes[replaced].reason, QStringLiteral("文件已不存在")) << replaced;
    EXPECT_EQ(batch.outcomes[0].kind, Renamer::Outcome::Kind::moved);
    EXPECT_EQ(batch.outcomes[0].newPath, folder.path(QStringLiteral("海.mp4")));
    EXPECT_EQ(batch.outcomes[1].kind, Renamer::Outcome::Kind::untouched);

    ASSERT_TRUE(batch.log);

    EXPECT_FALSE(Renamer::rename({{untouched, QStringLiteral("/")}}, folder.dir.path()).log)
        << "no log for a batch that moved nothing";
}

TEST(Renamer, ShortensANameTooLongForTheFileSystem)
{
    Folder folder;
    for (const char *name : {"a.mov", "b.mov", "c.mov", "c.mov.xmp"})
        folder.add(QString::fromUtf8(name));
    const QString name = QString(100, QChar(u'海')); // 300 bytes in UTF-8

    Renamer::rename({{folder.path(QStringLiteral("a.mov")), name},
                     {folder.path(QStringLiteral("b.mov")), name},
                     {folder.path(QStringLiteral("c.mov")), name}},
                    folder.dir.path());

    // Cut at a character boundary, no shorter than needed: 255 bytes hold 83 three-byte characters
    // with ".mov" or "-2.mov"; with its sidecar's ".mov.xmp" the third has room for 82.
    const QString cut = QString(83, QChar(u'海'));
    const QString shorter = QString(82, QChar(u'海'));
    EXPECT_EQ(folder.listing(), (QStringList{shorter + QStringLiteral(".mov.xmp=c.mov.xmp"), shorter + QStringLiteral(".mov=c.mov"),
                                             cut + QStringLiteral("-2.mov=b.mov"), cut + QStringLiteral(".mov=a.mov")}));
}

TEST(Renamer, SidecarsTravelWithTheirFileAndBack)
{
    Folder folder;
    for (const char *name : {"IMG_1.CR3", "IMG_1.xmp", "IMG_1.CR3.XMP", "IMG_1.AAE", "IMG_1.JPG", "IMG_10.xmp",
                             "clip.MP4", "clip.THM", "猫-1.xmp"})
        folder.add(QString::fromUtf8(name));
    // The first free number must be free for the sidecars too: 猫.CR3 is free, 猫.xmp is not.
    folder.add(QStringLiteral("猫.xmp"));

    const Renamer::Batch batch = Renamer::rename({{folder.path(QStringLiteral("IMG_1.CR3")), QStringLiteral("猫")},
                                                  {folder.path(QStringLiteral("clip.MP4")), QStringLiteral("海")}},
                                                 folder.dir.path());
    EXPECT_EQ(batch.sidecarsMoved, 4);
    EXPECT_EQ(folder.listing(), (QStringList{"IMG_1.JPG=IMG_1.JPG", "IMG_10.xmp=IMG_10.xmp", "海.MP4=clip.MP4",
                                             "海.THM=clip.THM", "猫-1.xmp=猫-1.xmp", "猫-2.AAE=IMG_1.AAE",
                                             "猫-2.CR3.XMP=IMG_1.CR3.XMP", "猫-2.CR3=IMG_1.CR3", "猫-2.xmp=IMG_1.xmp",
                                             "猫.xmp=猫.xmp"}));

    const Renamer::UndoResult undone = Renamer::undo(*batch.log);
    EXPECT_EQ(undone.restored, 6);
    EXPECT_TRUE(undone.remaining.isEmpty());
    EXPECT_FALSE(QFile::exists(*batch.log));
}

// A name taken since the renamer looked is never replaced: the move itself refuses.
TEST(FileMove, NeverReplacesAFile)
{
    Folder folder;
    const QString from = folder.add(QStringLiteral("a.mp4"));
    EXPECT_EQ(FileMove::moveWithoutReplacing(from, folder.add(QStringLiteral("b.mp4"))), EEXIST);
    EXPECT_EQ(folder.listing(), (QStringList{"a.mp4=a.mp4", "b.mp4=b.mp4"}));
}

TEST(Renamer, UndoMovesBackWhatItCanAndLeavesTheRest)
{
    Folder folder;
    const QString a = folder.add(QStringLiteral("a.mp4"));
    const QString c = folder.add(QStringLiteral("c.mp4"));
    const QString d = folder.add(QStringLiteral("d.mp4"));
    const Renamer::Batch batch = Renamer::rename(
        {{a, QStringLiteral("甲")}, {c, QStringLiteral("丙")}, {d, QStringLiteral("丁")}},
        folder.dir.path());

    QFile::remove(folder.path(QStringLiteral("丙.mp4"))); // moved away by the user
    UndoMap log = UndoLog::read(*batch.log).value();
    log[folder.path(QStringLiteral("丁.mp4"))] = folder.path(QStringLiteral("no-such-folder/d.mp4")); // cannot go back
    ASSERT_TRUE(UndoLog::write(*batch.log, log));

    const Renamer::UndoResult result = Renamer::undo(*batch.log);
    EXPECT_EQ(result.restored, 1);
    EXPECT_EQ(result.restoredMoves, (UndoMap{{folder.path(QStringLiteral("甲.mp4")), a}}));
    const UndoMap remaining{{folder.path(QStringLiteral("丁.mp4")), folder.path(QStringLiteral("no-such-folder/d.mp4"))}};
    EXPECT_EQ(result.remaining, remaining);
    EXPECT_EQ(UndoLog::read(*batch.log), remaining) << "the log keeps just what is left";
    EXPECT_EQ(folder.listing(), (QStringList{"a.mp4=a.mp4", "丁.mp4=d.mp4"}));

    for (const QByteArray &content : {QByteArray("{\"a\": 1}"), QByteArray("[\"a\"]")}) {
        Files::write(*batch.log, content);
        EXPECT_FALSE(Renamer::undo(*batch.log).logReadable) << content.constData();
        EXPECT_TRUE(QFile::exists(*batch.log));
    }
    EXPECT_FALSE(Renamer::undo(folder.path(QStringLiteral("missing.json"))).logReadable);
}

TEST(Renamer, UndoUnwindsAChainOfNamesInOneGo)
{
    // Each file takes the name the one before gave up: e.jpg → d.jpg → … → a.jpg → 甲.jpg. Only one
    // order of going back works in a single pass, and the log's order is a hash's.
    Folder folder;
    QList<Renamer::Request> chain{{folder.add(QStringLiteral("a.jpg")), QStringLiteral("甲")}};
    for (const char *name : {"b", "c", "d", "e"})
        chain << Renamer::Request{folder.add(QString::fromLatin1(name) + QStringLiteral(".jpg")),
                                  QString(QChar(QLatin1Char(name[0] - 1)))};
    // The moves stand, and can be undone, even without a folder for their log.
    const Renamer::Batch batch = Renamer::rename(chain, std::nullopt);
    EXPECT_EQ(batch.logError, "没有可写入的临时文件夹");
    EXPECT_EQ(folder.listing(), (QStringList{"a.jpg=b.jpg", "b.jpg=c.jpg", "c.jpg=d.jpg", "d.jpg=e.jpg", "甲.jpg=a.jpg"}));

    const Renamer::UndoResult result = Renamer::undo(batch.moves);
    EXPECT_EQ(result.restored, 5);
    EXPECT_TRUE(result.remaining.isEmpty());
    EXPECT_EQ(folder.listing(), (QStringList{"a.jpg=a.jpg", "b.jpg=b.jpg", "c.jpg=c.jpg", "d.jpg=d.jpg", "e.jpg=e.jpg"}));
}

} // namespace

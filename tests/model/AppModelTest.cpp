#include "FilePath.h"
#include "Library.h"
#include "MediaImport.h"
#include "MovieFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace {

const QString noNewFiles = QStringLiteral("没有新增：文件已在列表中，或不在当前「处理对象」选择的格式范围内");

TEST(Import, MediaTargetDecidesWhatComesIn)
{
    const std::tuple<const char *, int, int> rows[] = {{"photos", 0, 2}, {"both", 3, 2}, {"xyz", 3, 0}};
    for (const auto &[target, videos, photos] : rows) {
        Library library(target);
        for (const char *name : {"shoot/a.mp4", "shoot/b.MOV", "shoot/deep/er/c.mkv", "shoot/1.JPG", "shoot/deep/2.heic",
                                 "shoot/notes.txt", "shoot/archive.gif", "shoot/.d.mp4", "shoot/.cache/e.mp4"})
            library.touch(name);
        library.import({library.fixtures.path("shoot")});
        int seenVideos = 0, seenPhotos = 0;
        for (const VideoItem &item : library.model.items())
            (item.mediaKind == MediaKind::video ? seenVideos : seenPhotos)++;
        EXPECT_EQ(seenVideos, videos) << target;
        EXPECT_EQ(seenPhotos, photos) << target;
    }
}

TEST(Import, DuplicatesAndOrder)
{
    Library library;
    const QString first = library.touch("x/first.mp4");
    const QString folder = QFileInfo(library.touch("x/inner/only.mov")).path();
    const QString last = library.touch("x/last.mp4");
    library.import({last, folder, first, last});
    EXPECT_EQ(library.names(), (QStringList{"x/last.mp4", "x/inner/only.mov", "x/first.mp4"}));
    EXPECT_EQ(library.model.statusMessage(), "已导入 3 个素材（列表共 3 个）");

    library.import({first});
    EXPECT_EQ(library.model.statusMessage(), noNewFiles);

    // A second drop while the first is still being read is a duplicate all the same.
    const QString fresh = library.touch("x/fresh.mp4");
    library.model.addFiles({fresh});
    library.import({fresh, library.fixtures.path("x/notes.txt")});
    EXPECT_EQ(library.model.items().size(), 4);
    EXPECT_EQ(library.model.statusMessage(), noNewFiles);
}

// Whatever lies in a dropped folder, the walk ends and adds only what can be media; closing the
// program ends it at once.
TEST(Import, StrangeThingsInAFolder)
{
    Library library;
    const QString root = library.fixtures.path("odd");
    library.touch("odd/plain.mp4");
    ASSERT_EQ(mkfifo(QFile::encodeName(root + "/pipe.mp4").constData(), 0600), 0);
    ASSERT_EQ(::symlink("..", QFile::encodeName(root + "/loop").constData()), 0);
    ASSERT_EQ(::symlink("missing.mp4", QFile::encodeName(root + "/dangling.mov").constData()), 0);
    const QByteArray notUtf8 = QFile::encodeName(root) + "/caf\xe9.mp4";
    ::close(::open(notUtf8.constData(), O_CREAT | O_WRONLY, 0600));

    library.import({root, library.fixtures.path("does-not-exist.mp4")});
    ::unlink(notUtf8.constData()); // a name the removal of the temporary folder cannot spell
    QStringList paths;
    for (const VideoItem &item : library.model.items())
        paths << item.url;
    ASSERT_EQ(paths.size(), 3) << paths.join(", ").toStdString();
    EXPECT_TRUE(paths.contains(root + "/plain.mp4"));
    EXPECT_TRUE(paths.contains(root + "/dangling.mov")); // a link is judged by its name, like any entry
    EXPECT_TRUE(paths.contains(FilePath::decode(notUtf8)));

    MediaImport::Request request;
    request.locations = {root};
    request.cancel = std::make_shared<std::atomic<bool>>(true);
    EXPECT_TRUE(MediaImport::collect(request).isEmpty());
}

// The windows' lists follow these signals row by row instead of reloading.
TEST(ItemList, RemovingAndClearingAreReportedRowByRow)
{
    Library library;
    QStringList seen;
    QObject::connect(&library.model, &AppModel::itemsAppended, [&](qsizetype first, qsizetype count) {
        seen << QString("appended %1+%2").arg(first).arg(count);
    });
    QObject::connect(&library.model, &AppModel::itemsRemoved, [&](const QList<QUuid> &ids) {
        seen << QString("removed %1").arg(ids.size());
    });
    QObject::connect(&library.model, &AppModel::itemsChanged, [&](const QList<QUuid> &ids) {
        seen << QString("changed %1").arg(ids.size());
    });
    library.import({library.touch("a.mp4"), library.touch("b.mp4"), library.touch("c.mp4")});
    library.model.removeItems({0, 2});
    EXPECT_EQ(library.names(), QStringList{"b.mp4"});
    EXPECT_EQ(library.model.statusMessage(), "已从列表移除 2 个（磁盘文件未被删除）");
    EXPECT_TRUE(QFile::exists(library.fixtures.path("a.mp4")));
    library.model.removeItems({5});
    library.model.regenerateNames();
    library.import({library.touch("d.mp4")});

    library.model.clearList();
    library.model.clearList(); // already empty: nothing to report
    EXPECT_EQ(seen, (QStringList{"appended 0+3", "removed 2", "changed 1", "appended 1+1", "removed 2"}));
}

TEST(ItemList, NamesFollowEditsAndSettingsOnlyWhileAnalysed)
{
    Library library;
    library.import({library.touch("IMG_1.mp4"), library.touch("IMG_2.mp4")});
    const QUuid id = library.model.items()[0].id;
    library.model.mutateItem(id, [](VideoItem &item) {
        item.status = VideoItem::Status::analyzed;
        item.creationDate.reset();
    });
    library.model.mutateItem(library.model.items()[1].id, [](VideoItem &item) {
        item.status = VideoItem::Status::renamed;
        item.proposedName = "typed by hand";
    });
    using Field = AppModel::EditableField;
    const VideoItem &item = library.model.items()[0];
    EXPECT_TRUE(library.model.editItem(id, Field::content, "石桥流水"));
    EXPECT_EQ(item.proposedName, "石桥流水_IMG_1");
    EXPECT_TRUE(library.model.editItem(id, Field::proposedName, "我的名字"));
    EXPECT_TRUE(library.model.editItem(id, Field::location, "上里"));
    EXPECT_EQ(item.proposedName, "上里_石桥流水_IMG_1"); // the typed name gives way to the rebuilt one

    // New settings rename what was analysed, not what already has its name on disk.
    library.model.settings().separator = "-";
    library.model.regenerateNames();
    EXPECT_EQ(item.proposedName, "上里-石桥流水-IMG_1");
    EXPECT_EQ(library.model.items()[1].proposedName, "typed by hand");

    library.model.mutateItem(id, [](VideoItem &item) { item.status = VideoItem::Status::analyzing; });
    EXPECT_FALSE(library.model.editItem(id, Field::proposedName, "lost"));
    EXPECT_EQ(item.proposedName, "上里-石桥流水-IMG_1");
}

TEST(MovieFiles, FoundByContentAtAnyDepth)
{
    Fixtures fixtures;
    fixtures.video("shoot/a/b/c/deep.mkv", "testsrc=size=32x32:rate=5", 0.4);
    QFile::rename(fixtures.video("shoot/a/noext.mp4", "testsrc=size=32x32:rate=5", 0.4), fixtures.path("shoot/a/noext"));
    fixtures.picture("shoot/still.jpg", quadrantPicture(16, 16));
    fixtures.text("shoot/notes.txt", "not a video");

    QStringList found;
    for (const QString &path : movieFilesIn(fixtures.path("shoot")))
        found << QDir(fixtures.path("shoot")).relativeFilePath(path);
    found.sort();
    EXPECT_EQ(found, (QStringList{"a/b/c/deep.mkv", "a/noext"}));
}

} // namespace

#include "FilePath.h"
#include "Library.h"
#include "MediaImport.h"
#include "MovieFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

const QString noNewFiles = QStringLiteral("没有新增：文件已在列表中，或不在当前「处理对象」选择的格式范围内");

// Five videos, eight photos and things that are neither, some of them hidden.
void makeMixedFolder(Library &library)
{
    for (const char *name : {"shoot/a.mp4", "shoot/b.MOV", "shoot/deep/er/c.mkv", "shoot/1.jpg", "shoot/2.JPEG",
                             "shoot/deep/3.heic", "shoot/4.dng", "shoot/5.png", "shoot/notes.txt", "shoot/.d.mp4",
                             "shoot/.cache/e.mp4", "shoot/.cache/6.jpg", "shoot/archive.gif",
                             // formats cameras and phones write besides the common ones
                             "shoot/7.CR2", "shoot/8.pef", "shoot/9.hif", "shoot/f.MTS", "shoot/g.3gp"})
        library.touch(name);
}

struct TargetCase
{
    const char *target;
    int videos;
    int photos;
};

TEST(Import, MediaTargetDecidesWhatComesIn)
{
    for (const TargetCase &c : {TargetCase{"videos", 5, 0}, TargetCase{"photos", 0, 8}, TargetCase{"both", 5, 8},
                                TargetCase{"xyz", 5, 0}}) {
        Library library(c.target);
        makeMixedFolder(library);
        library.import({library.fixtures.path("shoot")});
        int videos = 0, photos = 0;
        for (const VideoItem &item : library.model.items()) {
            (item.mediaKind == MediaKind::video ? videos : photos)++;
            EXPECT_EQ(item.status, VideoItem::Status::pending);
            EXPECT_FALSE(item.url.contains("/.")) << "hidden: " << item.url.toStdString();
        }
        EXPECT_EQ(videos, c.videos) << c.target;
        EXPECT_EQ(photos, c.photos) << c.target;
        EXPECT_EQ(library.model.statusMessage(),
                  QString("已导入 %1 个素材（列表共 %1 个）").arg(c.videos + c.photos)) << c.target;
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

    const int changes = library.changes;
    library.import({});
    EXPECT_EQ(library.model.statusMessage(), noNewFiles);
    EXPECT_EQ(library.changes, changes + 1);
}

TEST(Import, DatesAndFolderPlaces)
{
    Library library("both");
    const QString clip = library.fixtures.video("2026/2025/2024/2023/成都/上里古镇/clip.mov", "testsrc=size=64x48:rate=10",
                                                0.5, {"-movflags", "use_metadata_tags", "-metadata",
                                                      "com.apple.quicktime.creationdate=2024-05-01T14:30:15+0800"});
    const QString photo = library.fixtures.picture("2026/2025/2024/2023/2022/2021/photo.jpg", quadrantPicture(16, 16));
    library.fixtures.tag(photo, {"-DateTimeOriginal=2023:12:31 23:59:59"});
    library.import({library.fixtures.path("2026")});
    ASSERT_EQ(library.model.items().size(), 2);
    for (const VideoItem &item : library.model.items()) {
        if (item.mediaKind == MediaKind::video) {
            EXPECT_EQ(item.creationDate, QDateTime(QDate(2024, 5, 1), QTime(6, 30, 15), Qt::UTC));
            EXPECT_EQ(item.pathPlace, QString("成都"));
        } else {
            EXPECT_EQ(item.creationDate, QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59)));
            EXPECT_EQ(item.pathPlace, std::nullopt); // only year folders within six levels
        }
    }

    Library withoutPlaces("both");
    withoutPlaces.model.settings().usePathPlace = false;
    withoutPlaces.import({clip});
    EXPECT_EQ(withoutPlaces.model.items().first().pathPlace, std::nullopt);
}

// Whatever lies in a dropped folder, the walk ends and adds only what can be media.
TEST(Import, StrangeThingsInAFolder)
{
    Library library;
    const QString root = library.fixtures.path("odd");
    library.touch("odd/plain.mp4");
    ASSERT_EQ(mkfifo(QFile::encodeName(root + "/pipe.mp4").constData(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(root + "/socket.mp4");
    if (socketPath.size() < qsizetype(sizeof(address.sun_path))) {
        std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    }
    ::close(sock);
    ASSERT_EQ(::symlink("..", QFile::encodeName(root + "/loop").constData()), 0);
    ASSERT_EQ(::symlink("missing.mp4", QFile::encodeName(root + "/dangling.mov").constData()), 0);
    const QByteArray notUtf8 = QFile::encodeName(root) + "/caf\xe9.mp4";
    ::close(::open(notUtf8.constData(), O_CREAT | O_WRONLY, 0600));
    // A path far past PATH_MAX, made one level at a time.
    QByteArray deep = QFile::encodeName(root);
    int fd = ::open(deep.constData(), O_RDONLY | O_DIRECTORY);
    const QByteArray level(200, 'd');
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(mkdirat(fd, level.constData(), 0700), 0);
        const int next = openat(fd, level.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        deep += '/' + level;
    }
    ::close(::openat(fd, "deep.mp4", O_CREAT | O_WRONLY, 0600));
    ::close(fd);

    library.import({root, library.fixtures.path("does-not-exist.mp4")});
    QStringList paths;
    for (const VideoItem &item : library.model.items())
        paths << item.url;
    ASSERT_EQ(paths.size(), 4) << paths.join(", ").toStdString();
    EXPECT_TRUE(paths.contains(root + "/plain.mp4"));
    EXPECT_TRUE(paths.contains(root + "/dangling.mov")); // a link is judged by its name, like any entry
    EXPECT_TRUE(paths.contains(FilePath::decode(deep + "/deep.mp4")));
    EXPECT_TRUE(paths.contains(FilePath::decode(notUtf8)));
}

// Closing the program ends an import at once, and a search may be started without
// listeners.
TEST(Import, StopsWhenTheProgramClosesAndSearchesNeedNoListeners)
{
    Library library;
    library.touch("big/a.mp4");
    MediaImport::Request request;
    request.locations = {library.fixtures.path("big")};
    request.cancel = std::make_shared<std::atomic<bool>>(true);
    EXPECT_TRUE(MediaImport::collect(request).isEmpty());
    request.cancel.reset();
    EXPECT_EQ(MediaImport::collect(request).size(), 1);

    library.model.settings().ollamaEndpoint = "http://127.0.0.1:1";
    library.model.searchVideos({library.fixtures.video("clip.mp4", "testsrc=size=32x32:rate=5", 1.0)}, "桥", std::nullopt,
                               SearchMode::keyword, 1, {}, {});
    QEventLoop settle;
    QTimer::singleShot(1500, &settle, &QEventLoop::quit);
    settle.exec(); // an empty callback called here would end the program
}

TEST(ItemList, RemovingAndClearing)
{
    Library library;
    library.import({library.touch("a.mp4"), library.touch("b.mp4"), library.touch("c.mp4")});
    library.model.removeItems({0, 2});
    EXPECT_EQ(library.names(), QStringList{"b.mp4"});
    EXPECT_EQ(library.model.statusMessage(), "已从列表移除 2 个（磁盘文件未被删除）");
    library.model.removeItems({5});
    EXPECT_EQ(library.model.items().size(), 1);
    EXPECT_EQ(library.model.statusMessage(), "已从列表移除 1 个（磁盘文件未被删除）");
    EXPECT_TRUE(QFile::exists(library.fixtures.path("a.mp4")));

    library.model.clearList();
    EXPECT_TRUE(library.model.items().isEmpty());
    EXPECT_EQ(library.model.statusMessage(), "列表已清空，可导入新的素材或文件夹");
    library.model.clearList();
    EXPECT_EQ(library.model.statusMessage(), "列表已经是空的");
}

// The windows' lists follow these row by row instead of reloading.
TEST(ItemList, ChangesAreReportedRowByRow)
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
    library.model.regenerateNames();
    library.import({library.touch("d.mp4")});
    library.model.clearList();
    EXPECT_EQ(seen, (QStringList{"appended 0+3", "removed 2", "changed 1", "appended 1+1", "removed 2"}));
}

TEST(ItemList, HandEditsRebuildTheNameExceptWhileAnalysing)
{
    Library library;
    library.import({library.touch("IMG_1.mp4")});
    const QUuid id = library.model.items()[0].id;
    library.model.mutateItem(id, [](VideoItem &item) {
        item.status = VideoItem::Status::analyzed;
        item.creationDate.reset();
    });
    using Field = AppModel::EditableField;
    const VideoItem &item = library.model.items()[0];
    EXPECT_TRUE(library.model.editItem(id, Field::content, "石桥流水"));
    EXPECT_EQ(item.proposedName, "石桥流水_IMG_1");
    EXPECT_TRUE(library.model.editItem(id, Field::proposedName, "我的名字"));
    EXPECT_TRUE(library.model.editItem(id, Field::location, "上里"));
    EXPECT_EQ(item.proposedName, "上里_石桥流水_IMG_1"); // the typed name gives way to the rebuilt one

    library.model.mutateItem(id, [](VideoItem &item) { item.status = VideoItem::Status::analyzing; });
    EXPECT_FALSE(library.model.editItem(id, Field::proposedName, "lost"));
    EXPECT_FALSE(library.model.editItem(QUuid::createUuid(), Field::content, "nobody"));
    EXPECT_EQ(item.proposedName, "上里_石桥流水_IMG_1");
}

TEST(ItemList, RowLabels)
{
    VideoItem item;
    item.status = VideoItem::Status::error;
    item.analysisText = "无法读取视频帧";
    EXPECT_EQ(item.rowLabel(), "出错 · 无法读取视频帧");
    EXPECT_TRUE(item.rowLabelIsError());
    item = {};
    item.status = VideoItem::Status::renamed;
    item.content = "石桥流水";
    EXPECT_EQ(item.rowLabel(), "已重命名 · 石桥流水");
}

TEST(ItemList, RegeneratingNamesTouchesOnlyAnalysedItems)
{
    Library library;
    library.import({library.touch("IMG_1.mp4"), library.touch("IMG_2.mp4"), library.touch("IMG_3.mp4")});
    const VideoItem::Status statuses[] = {VideoItem::Status::pending, VideoItem::Status::analyzed,
                                          VideoItem::Status::renamed};
    for (int row = 0; row < 3; ++row) {
        library.model.mutateItem(library.model.items()[row].id, [&](VideoItem &item) {
            item.status = statuses[row];
            item.content = "石桥流水";
            item.location = "上里古镇";
            item.creationDate.reset();
            item.proposedName = "typed by hand";
        });
    }
    library.model.settings().separator = "-";
    library.model.regenerateNames();
    EXPECT_EQ(library.model.items()[0].proposedName, "typed by hand");
    EXPECT_EQ(library.model.items()[1].proposedName, "上里古镇-石桥流水-IMG_2");
    EXPECT_EQ(library.model.items()[2].proposedName, "typed by hand");
}

// A worker reads and changes items through the main thread while its event loop runs.
TEST(ItemList, SnapshotAndMutateFromAWorker)
{
    Library library;
    library.import({library.touch("a.mp4")});
    const QUuid id = library.model.items().first().id;
    QThread *mainThread = QThread::currentThread();
    bool changeSeenOnMainThread = true;
    library.model.onChange = [&] { changeSeenOnMainThread &= QThread::currentThread() == mainThread; };

    std::optional<VideoItem> seen, missing;
    std::atomic<bool> finished = false;
    std::thread worker([&] {
        library.model.mutateItem(id, [](VideoItem &item) { item.content = "石桥"; });
        library.model.mutateItem(QUuid::createUuid(), [](VideoItem &item) { item.content = "never"; });
        seen = library.model.itemSnapshot(id);
        missing = library.model.itemSnapshot(QUuid::createUuid());
        finished = true;
    });
    waitUntil([&] { return finished.load(); });
    worker.join();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->content, "石桥");
    EXPECT_FALSE(missing);
    EXPECT_EQ(library.model.items().first().content, "石桥");
    EXPECT_TRUE(changeSeenOnMainThread);
}

} // namespace

namespace {

TEST(MovieFiles, FoundByContentAtAnyDepthWithoutHiddenOnesOrLoops)
{
    Fixtures fixtures;
    const auto clip = [&](const QString &name) {
        return fixtures.video(name, "testsrc=size=32x32:rate=5", 0.4);
    };
    clip("shoot/top.mp4");
    clip("shoot/a/b/c/deep.mkv");
    QFile::rename(clip("shoot/a/noext.mp4"), fixtures.path("shoot/a/noext"));
    clip("shoot/.hidden.mp4");
    clip("shoot/.cache/inside.mp4");
    fixtures.picture("shoot/still.jpg", quadrantPicture(16, 16));
    fixtures.text("shoot/notes.txt", "not a video");
    ASSERT_TRUE(QFile::link(fixtures.path("shoot"), fixtures.path("shoot/a/loop")));

    QStringList found;
    for (const QString &path : movieFilesIn(fixtures.path("shoot")))
        found << QDir(fixtures.path("shoot")).relativeFilePath(path);
    found.sort();
    EXPECT_EQ(found, (QStringList{"a/b/c/deep.mkv", "a/noext", "top.mp4"}));
    EXPECT_TRUE(movieFilesIn(fixtures.path("nowhere")).isEmpty());
}

} // namespace

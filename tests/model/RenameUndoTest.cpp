#include "Library.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

using Status = VideoItem::Status;

// A library of empty clips in one folder.
struct Shoot : Library
{
    explicit Shoot(const QStringList &clips)
    {
        QStringList paths;
        for (const QString &clip : clips)
            paths << touch("shoot/" + clip);
        import(paths);
    }

    void analysed(int row, const QString &name)
    {
        model.mutateItem(model.items()[row].id, [&](VideoItem &item) {
            item.status = Status::analyzed;
            item.proposedName = name;
        });
    }

    QStringList rows() const
    {
        QStringList rows;
        for (const VideoItem &item : model.items())
            rows << QFileInfo(item.url).fileName() + u' ' + rawValue(item.status);
        return rows;
    }
};

// Only the last batch is undone; what cannot go back yet stays undoable.
TEST(RenameAll, RenamesTheAnalysedItemsAndUndoesTheLastBatchUntilAllIsBack)
{
    Shoot shoot({"a.mp4", "b.mp4", "c.mp4", "d.mp4"});
    shoot.analysed(0, "甲");
    shoot.model.renameAll();
    shoot.analysed(1, "海边日落");
    shoot.analysed(2, "海边日落");
    shoot.model.mutateItem(shoot.model.items()[3].id, [](VideoItem &item) { item.proposedName = "山"; });
    shoot.model.renameAll();
    EXPECT_EQ(shoot.model.statusMessage(), "已重命名 3 个（可一键撤销）");
    EXPECT_EQ(shoot.rows(), (QStringList{"甲.mp4 renamed", "海边日落.mp4 renamed", "海边日落-2.mp4 renamed", "d.mp4 pending"}));
    ASSERT_TRUE(shoot.model.lastUndoLog());
    EXPECT_EQ(QFileInfo(*shoot.model.lastUndoLog()).path(), shoot.fixtures.path("runtime"));

    shoot.touch("shoot/b.mp4");
    shoot.model.undoLast();
    EXPECT_EQ(shoot.model.statusMessage(), "已撤销 1 个文件的重命名，1 个未能还原");
    EXPECT_EQ(shoot.rows(), (QStringList{"甲.mp4 renamed", "海边日落.mp4 renamed", "c.mp4 analyzed", "d.mp4 pending"}));
    ASSERT_TRUE(shoot.model.lastUndoLog());

    QFile::remove(shoot.fixtures.path("shoot/b.mp4"));
    shoot.model.undoLast();
    EXPECT_EQ(shoot.model.statusMessage(), "已撤销 1 个文件的重命名");
    EXPECT_EQ(shoot.rows(), (QStringList{"甲.mp4 renamed", "b.mp4 analyzed", "c.mp4 analyzed", "d.mp4 pending"}));
    EXPECT_FALSE(shoot.model.lastUndoLog());

    // A batch that moves nothing ends the chance to undo the one before.
    shoot.model.renameAll();
    shoot.model.renameAll();
    EXPECT_EQ(shoot.model.statusMessage(), "没有需要重命名的项");
    shoot.model.undoLast();
    EXPECT_EQ(shoot.model.statusMessage(), "没有可撤销的操作");
}

TEST(RenameAll, FailuresSidecarsAndAnUnwritableLogAreReported)
{
    Shoot shoot({"a.mp4", "b.mp4"});
    shoot.touch("shoot/a.SRT");
    shoot.analysed(0, "海");
    shoot.analysed(1, "山");
    QFile::remove(shoot.fixtures.path("shoot/b.mp4"));
    // Folders where this second's log (or those of the next two minutes) would go.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (qint64 second = now; second < now + 120; ++second)
        QDir().mkpath(shoot.fixtures.path("runtime/lumisort_undo_%1.json").arg(second));

    shoot.model.renameAll();
    EXPECT_TRUE(shoot.model.statusMessage().startsWith("已重命名 1 个（撤销记录未能保存："))
        << shoot.model.statusMessage().toStdString();
    EXPECT_TRUE(shoot.model.statusMessage().endsWith("，仅在本次运行中可撤销），连同 1 个附属文件，1 个失败"))
        << shoot.model.statusMessage().toStdString();
    EXPECT_EQ(shoot.rows(), (QStringList{"海.mp4 renamed", "b.mp4 error"}));
    EXPECT_EQ(shoot.model.items()[1].analysisText, "重命名失败：文件已不存在");

    shoot.model.undoLast();
    EXPECT_EQ(shoot.model.statusMessage(), "已撤销 2 个文件的重命名");
    EXPECT_EQ(shoot.rows(), (QStringList{"a.mp4 analyzed", "b.mp4 error"}));
}

} // namespace

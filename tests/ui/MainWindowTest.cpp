#include "BusyIndicator.h"
#include "DetailPane.h"
#include "ItemListModel.h"
#include "ListTableView.h"
#include "MainToolbar.h"
#include "Window.h"

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Status = VideoItem::Status;

int rowNamed(const Window &window, const QString &fileName)
{
    for (int row = 0; row < window.model().items().size(); ++row) {
        if (QFileInfo(window.model().items()[row].url).fileName() == fileName)
            return row;
    }
    return -1;
}

// What an input method hands over for Chinese text, into the focused field.
void typeChinese(QWidget *field, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(field, &event);
}

QString rowText(const Window &window, int row)
{
    const QAbstractItemModel *list = window.main().tableView()->model();
    return list->index(row, 0).data(Qt::AccessibleTextRole).toString();
}

QStringList pictures(Window &window, const QString &folder, int count)
{
    QStringList paths;
    for (int i = 1; i <= count; ++i)
        paths << window.fixtures.picture(folder + QStringLiteral("/IMG_%1.png").arg(i), quadrantPicture(64, 48));
    return paths;
}

// The window wires the list, the analysis, the detail pane and renaming to the core; the core's
// own rules are tested beside it.
TEST(MainWindow, DropAFolderAnalyseTypeANameRenameAndUndo)
{
    Window window;
    EXPECT_TRUE(window.main().emptyHint()->isVisible());

    const QStringList files = pictures(window, "2026/2025/2024/2023/2022/2021", 2);
    window.drop({QFileInfo(files[0]).path()});
    EXPECT_EQ(window.main().tableView()->model()->rowCount(), 2);
    EXPECT_EQ(window.main().countLabel()->text(), "共 2 个");
    EXPECT_FALSE(window.main().emptyHint()->isVisible());
    const int second = rowNamed(window, "IMG_2.png");

    window.analyzeAndWait();
    EXPECT_TRUE(window.main().statusLabel()->text().startsWith("分析完成：成功 2/2 个")) << window.main().statusLabel()->text().toStdString();

    window.select(second);
    DetailPane *pane = window.main().detailPane();
    EXPECT_EQ(pane->contentField()->text(), "石桥流水");
    EXPECT_EQ(pane->analysisView()->toPlainText(), R"({"content":"石桥流水","location":"古镇"})");
    waitUntil([&] { return pane->frameCount() == 1; });

    // Typed, still focused, never confirmed: rename uses it all the same.
    pane->proposedField()->setFocus();
    pane->proposedField()->selectAll();
    typeChinese(pane->proposedField(), "我的桥");
    window.triggerToolbar("rename");
    QApplication::processEvents();
    const QString folder = QFileInfo(files[1]).path();
    EXPECT_TRUE(QFile::exists(folder + "/我的桥.png"));
    EXPECT_EQ(rowText(window, second), "我的桥.png，已重命名 · 石桥流水");

    window.triggerToolbar("undo");
    QApplication::processEvents();
    EXPECT_TRUE(QFile::exists(files[1]));
    EXPECT_FALSE(QFile::exists(folder + "/我的桥.png"));
}

TEST(MainWindow, StoppingARunKeepsAnEditMadeMeanwhile)
{
    Window window;
    window.ollama.holding = true;
    window.drop(pictures(window, "shoot", 2));
    window.triggerToolbar("analyze");
    window.ollama.waitForQuestions(1);
    QAction *analyze = window.main().toolbar()->item("analyze");
    const QString running = analyze->text();
    EXPECT_TRUE(window.main().busyIndicator()->isRunning());

    DetailPane *pane = window.main().detailPane();
    window.select(0);
    EXPECT_TRUE(pane->proposedField()->isReadOnly()); // the run would overwrite it
    window.select(1);
    EXPECT_FALSE(pane->proposedField()->isReadOnly());
    pane->proposedField()->setFocus();
    typeChinese(pane->proposedField(), "留着");
    QTest::keyClick(pane->proposedField(), Qt::Key_Return);

    analyze->trigger(); // now the stop button
    window.ollama.release();
    waitUntil([&] { return !window.model().isBusy(); });
    QApplication::processEvents();
    EXPECT_NE(analyze->text(), running);
    EXPECT_FALSE(window.main().busyIndicator()->isRunning());
    EXPECT_EQ(window.model().items()[0].status, Status::pending);
    EXPECT_EQ(window.model().items()[1].proposedName, "留着");
}

TEST(MainWindow, DeletingClearingAndThePreviewSize)
{
    Window window;
    window.drop(pictures(window, "shoot", 3));
    ListTableView *list = window.main().tableView();

    list->clearSelection();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QApplication::processEvents();
    EXPECT_EQ(window.main().statusLabel()->text(), "请先在列表中选择要移除的条目（Ctrl / Shift 可多选）");
    EXPECT_EQ(list->model()->rowCount(), 3);

    window.select(2);
    QTest::keyClick(list, Qt::Key_Backspace);
    EXPECT_EQ(list->model()->rowCount(), 2);

    QString defaultButton;
    answerNextAlert("取消", nullptr, &defaultButton);
    window.main().clearList();
    EXPECT_EQ(defaultButton, "取消"); // Return must not empty the list
    EXPECT_EQ(list->model()->rowCount(), 2);
    answerNextAlert("清空");
    window.main().clearList();
    EXPECT_EQ(list->model()->rowCount(), 0);

    window.drop(pictures(window, "more", 1));
    window.main().previewSlider()->setValue(96);
    QApplication::processEvents();
    EXPECT_EQ(list->visualRect(list->model()->index(0, 0)).height(), 112);
}

TEST(MainWindow, RefusedDragsAndTheRowsKeepTheirSelectionThroughChanges)
{
    Window window;
    window.drop(pictures(window, "shoot", 3));
    ListTableView *list = window.main().tableView();
    const int third = rowNamed(window, "IMG_3.png");
    window.select(third);

    QMimeData links;
    links.setUrls({QUrl("https://example.com/a.mp4")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &links, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_FALSE(list->isDropTarget());

    window.model().removeItems({third == 0 ? 1 : 0});
    window.model().regenerateNames();
    QApplication::processEvents();
    EXPECT_EQ(list->currentIndex().row(), rowNamed(window, "IMG_3.png"));
    EXPECT_EQ(window.main().detailPane()->originalLabel()->text(), "原始文件名：IMG_3.png");
}

} // namespace

#include "Files.h"
#include "SearchHitsModel.h"
#include "SearchWindow.h"
#include "Window.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString seenBridge = QStringLiteral(R"({"caption":"石桥","hit":true,"score":87})");

// The search window over two short clips, b.mp4 before a.mp4, sampled every second.
struct SearchBench : Window
{
    SearchWindowController *search = nullptr;
    QString a, b;

    SearchBench()
    {
        ollama.setReply(seenBridge);
        b = fixtures.video("clips/b.mp4", "testsrc=size=64x48:rate=5", 1.6);
        a = fixtures.video("clips/a.mp4", "testsrc=size=64x48:rate=5", 1.6);
        triggerToolbar("search");
        search = main().searchWindow();
        search->useVideos({b, a});
        search->intervalSlider()->setValue(10);
    }

    void searchAndWait()
    {
        search->runSearch();
        waitUntil([this] { return !search->isRunning(); });
    }

    QString cell(int row, int column) const
    {
        return search->hits()->index(row, column).data().toString();
    }

    QString exported(SearchExportFormat format, const QString &name)
    {
        const QString path = fixtures.path(name);
        search->chooseExportPath = [path](SearchExportFormat) { return path; };
        search->exportAs(format);
        return QString::fromUtf8(Files::read(path + "." + fileExtension(format)));
    }
};

TEST(SearchWindow, AKeywordSearchListsGroupedHitsAndExportsThemWithANote)
{
    SearchBench bench;
    SearchWindowController &search = *bench.search;
    search.keywordField()->setText("  桥 ");
    QTest::keyClick(search.keywordField(), Qt::Key_Return);
    EXPECT_TRUE(search.isRunning());
    QTest::keyClick(search.keywordField(), Qt::Key_Return); // a second Return while one runs does nothing
    waitUntil([&] { return !search.isRunning(); });
    EXPECT_EQ(search.statusLabel()->text(), "检索完成：共 4 处命中，来自 2 个视频");
    const QStringList videos{bench.cell(0, 0), bench.cell(1, 0), bench.cell(2, 0), bench.cell(3, 0)};
    EXPECT_EQ(videos, (QStringList{"a.mp4", "", "b.mp4", ""}));

    // A note typed into its cell, as a person does.
    QTableView *table = search.resultTable();
    const QModelIndex note = search.hits()->index(1, SearchHitsModel::NoteColumn);
    table->setCurrentIndex(note);
    table->edit(note);
    auto *editor = table->findChild<QLineEdit *>();
    ASSERT_NE(editor, nullptr);
    editor->setText("第二秒, 有船");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the table commits on its next turn
    EXPECT_EQ(bench.cell(1, SearchHitsModel::NoteColumn), "第二秒, 有船");

    // A caption's double-click shows the hit in an alert.
    QStringList buttons;
    answerNextAlert("OK", &buttons);
    emit table->doubleClicked(search.hits()->index(0, SearchHitsModel::CaptionColumn));
    EXPECT_EQ(buttons.size(), 1);

    // What the search was, not what the controls say now.
    search.clearVideos();
    search.intervalSlider()->setValue(76);
    const QString markdown = bench.exported(SearchExportFormat::md, "hits");
    EXPECT_TRUE(markdown.contains("- 查询：桥\n- 采样间隔：1 秒\n- 命中：4 处\n- 视频文件（2 个）：\n  - b.mp4\n  - a.mp4\n"));
    EXPECT_TRUE(markdown.contains(" | a.mp4 | 87 | 石桥 | 第二秒, 有船 |"));
    EXPECT_TRUE(bench.exported(SearchExportFormat::txt, "hits").contains("备注：第二秒, 有船"));
}

TEST(SearchWindow, WhatIsMissingIsSaidAndAReferencePictureCanBeDropped)
{
    SearchBench bench;
    SearchWindowController &search = *bench.search;
    search.clearVideos();
    search.runSearch();
    EXPECT_EQ(search.statusLabel()->text(), "请先选择视频（可多选，或选文件夹）");
    search.useVideos({bench.a});
    search.setMode(SearchMode::reference);
    search.runSearch();
    EXPECT_EQ(search.statusLabel()->text(), "请选择或拖入一张参考图");
    search.setMode(SearchMode::keyword);
    search.keywordField()->setText(" \t ");
    search.runSearch();
    EXPECT_EQ(search.statusLabel()->text(), "请输入关键词");

    const auto dropOnReference = [&](QMimeData &data) {
        QWidget *view = search.referenceView();
        QDragEnterEvent enter(view->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QDropEvent drop(view->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drop);
    };
    search.setMode(SearchMode::reference);
    QMimeData remote;
    remote.setUrls({QUrl("https://example.com/cat.jpg")});
    dropOnReference(remote);
    EXPECT_FALSE(search.referenceImage());
    QMimeData picture;
    picture.setImageData(quadrantPicture(3000, 2000));
    dropOnReference(picture);
    ASSERT_TRUE(search.referenceImage());
    EXPECT_EQ(QImage::fromData(*search.referenceImage()).size(), QSize(1280, 853)); // not 6 megapixels per frame
    EXPECT_EQ(bench.model().settings().lastSearchModeRaw, "reference");

    search.setMode(SearchMode::keyword); // switching keeps both
    search.setMode(SearchMode::reference);
    EXPECT_TRUE(search.referenceImage());
    EXPECT_EQ(search.keywordField()->text(), " \t ");
    bench.searchAndWait();
    EXPECT_EQ(search.statusLabel()->text(), "检索完成：共 2 处命中，来自 1 个视频");
}

TEST(SearchWindow, ASearchWhoseEveryRequestFailedKeepsThePreviousHits)
{
    SearchBench bench;
    SearchWindowController &search = *bench.search;
    search.keywordField()->setText("桥");
    bench.searchAndWait();
    bench.ollama.setReply({});
    bench.searchAndWait();
    EXPECT_TRUE(search.statusLabel()->text().startsWith("检索失败：")) << search.statusLabel()->text().toStdString();
    EXPECT_EQ(search.hits()->rowCount(), 4);
    search.hits()->setHits({});
    search.exportAs(SearchExportFormat::csv);
    EXPECT_EQ(search.statusLabel()->text(), "没有可导出的命中结果");
}

} // namespace

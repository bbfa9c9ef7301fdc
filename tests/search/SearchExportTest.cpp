#include "Fixtures.h"
#include "SearchExport.h"
#include "SearchExportFile.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

SearchHit hit(double time, const QString &caption, int score, const QString &video, const QString &note = {})
{
    SearchHit made(time, caption, score, video);
    made.note = note;
    return made;
}

// Handed over out of order, as after editing, with an empty caption and an empty note.
SearchSession smallSession()
{
    return {{"/videos/b.mp4", "/videos/2026/a|b.mp4"},
            SearchMode::keyword,
            "石桥",
            3,
            {hit(3725, "古镇石桥", 80, "b.mp4", "远景"), hit(12.5, "", 0, "b.mp4"), hit(5, "桥上行人", 65, "a|b.mp4")}};
}

TEST(SearchExport, EachFormatLineByLine)
{
    const SearchSession session = smallSession();
    EXPECT_EQ(render(SearchExportFormat::csv, session).toStdString(),
              "time_sec,time,video,score,caption,note\n"
              "5.00,0:05,a|b.mp4,65,桥上行人,\n"
              "12.50,0:13,b.mp4,0,,\n"
              "3725.00,62:05,b.mp4,80,古镇石桥,远景");
    EXPECT_EQ(render(SearchExportFormat::md, session).toStdString(),
              "# 视频内容检索结果\n"
              "\n"
              "- 模式：关键词\n"
              "- 查询：石桥\n"
              "- 采样间隔：3 秒\n"
              "- 命中：3 处\n"
              "- 视频文件（2 个）：\n"
              "  - b.mp4\n"
              "  - a|b.mp4\n"
              "\n"
              "| 时间 | 视频 | 置信度 | 描述 | 备注 |\n"
              "| --- | --- | --- | --- | --- |\n"
              "| 0:05 | a\\|b.mp4 | 65 | 桥上行人 |  |\n"
              "| 0:13 | b.mp4 | 0 |  |  |\n"
              "| 62:05 | b.mp4 | 80 | 古镇石桥 | 远景 |");
    EXPECT_EQ(render(SearchExportFormat::txt, session).toStdString(),
              "视频内容检索结果\n"
              "模式：关键词　查询：石桥　采样间隔：3 秒\n"
              "视频文件（2 个）：\n"
              "  - b.mp4\n"
              "  - a|b.mp4\n"
              "命中 3 处：\n"
              "1. [a|b.mp4] 0:05　置信度 65\n"
              "   描述：桥上行人\n"
              "2. [b.mp4] 0:13　置信度 0\n"
              "3. [b.mp4] 62:05　置信度 80\n"
              "   描述：古镇石桥\n"
              "   备注：远景");
    EXPECT_EQ(defaultFileName(SearchExportFormat::md), "检索结果.md");
}

// The rows after the header; a CSV row may span lines inside quotes.
QString rowsOf(SearchExportFormat format, const QString &value)
{
    const SearchSession session{{"/v/x.mp4"}, SearchMode::keyword, "x", 1, {hit(1, value, 50, value, value)}};
    const QString text = render(format, session);
    if (format == SearchExportFormat::csv)
        return text.section(u'\n', 1);
    return text.section(QStringLiteral("| --- | --- | --- | --- | --- |\n"), 1);
}

// One value as video name, caption and note at once.
TEST(SearchExport, UntrustedTextsStayInTheirCell)
{
    const struct { const char *name; QString value, csv, md; } rows[] = {
        {"plain", "古镇石桥", "古镇石桥", "古镇石桥"},
        {"comma and quotes", "桥,\"水\"", "\"桥,\"\"水\"\"\"", "桥,\"水\""},
        {"line feed", "第一行\n第二行", "\"第一行\n第二行\"", "第一行<br>第二行"},
        {"carriage return", "a\rb", "\"a\rb\"", "a<br>b"},
        {"CRLF", "a\r\nb", "\"a\r\nb\"", "a<br>b"},
        {"pipe", "a|b", "a|b", "a\\|b"},
        {"formula", "=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"", "=HYPERLINK(\"x\")"},
        {"plus", "+1", "'+1", "+1"},
        {"minus", "-1", "'-1", "-1"},
        {"at", "@SUM(A1)", "'@SUM(A1)", "@SUM(A1)"},
        {"tab first", "\tx", "'\tx", "\tx"},
        {"carriage return first", "\rx", "\"'\rx\"", "<br>x"},
        {"formula sign inside", "a=b-c", "a=b-c", "a=b-c"},
        {"markup", "<img src=x onerror=y> & co", "<img src=x onerror=y> & co", "&lt;img src=x onerror=y&gt; &amp; co"},
    };
    for (const auto &row : rows) {
        const QString &c = row.csv, &m = row.md;
        EXPECT_EQ(rowsOf(SearchExportFormat::csv, row.value), "1.00,0:01," + c + ",50," + c + "," + c) << row.name;
        EXPECT_EQ(rowsOf(SearchExportFormat::md, row.value), "| 0:01 | " + m + " | 50 | " + m + " | " + m + " |") << row.name;
        EXPECT_TRUE(render(SearchExportFormat::txt, {{}, SearchMode::keyword, "x", 1, {hit(1, row.value, 50, row.value, row.value)}})
                        .endsWith("1. [" + row.value + "] 0:01　置信度 50\n   描述：" + row.value + "\n   备注：" + row.value))
            << row.name;
    }
}

TEST(SearchExport, MinutesAndSecondsWithoutHours)
{
    const std::pair<double, QString> rows[] = {{0, "0:00"},       {0.4, "0:00"},   {2.5, "0:03"},   {12.5, "0:13"},
                                               {59.5, "1:00"},    {119.49, "1:59"}, {3660, "61:00"}, {3725, "62:05"}};
    for (const auto &[seconds, shown] : rows)
        EXPECT_EQ(SearchTimeFormat::time(seconds), shown) << seconds;
}

// The rest of each report is as in the keyword one.
TEST(SearchExport, ReferenceModeIsNamedSo)
{
    const SearchSession session{{"/a.mp4"}, SearchMode::reference, "参考图", 5, {}};
    EXPECT_EQ(render(SearchExportFormat::md, session).split(u'\n').value(2), "- 模式：参考图");
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

TEST(SearchExport, SavedWholeAsUtf8WithoutMark)
{
    Fixtures fixtures;
    const QString path = fixtures.text("检索结果.md", QByteArray(5000, 'x')); // an older, longer report
    const SearchSession session = smallSession();
    const auto saved = saveExport(path, SearchExportFormat::md, session);
    ASSERT_TRUE(saved) << saved.error().toStdString();
    EXPECT_EQ(*saved, "已导出到 检索结果.md");
    EXPECT_EQ(contentOf(path), render(SearchExportFormat::md, session).toUtf8());
    EXPECT_TRUE(contentOf(path).startsWith("# 视频")); // no byte-order mark

    const QString fresh = fixtures.path("新建.CSV");
    ASSERT_TRUE(saveExport(fresh, SearchExportFormat::csv, session));
    EXPECT_EQ(contentOf(fresh), render(SearchExportFormat::csv, session).toUtf8());
}

TEST(SearchExport, FailedSavesSayWhyAndTouchNothing)
{
    Fixtures fixtures;
    const QString video = fixtures.text("clip.mp4", "video bytes");
    ASSERT_TRUE(QFile::link(video, fixtures.path("link.csv")));
    const struct { const char *name; QString path; } rows[] = {
        {"folder gone", fixtures.path("gone/检索结果.csv")},
        {"not the format's extension", video},
        {"link to a video", fixtures.path("link.csv")},
    };
    for (const auto &row : rows) {
        const auto saved = saveExport(row.path, SearchExportFormat::csv, smallSession());
        ASSERT_FALSE(saved) << row.name;
        EXPECT_TRUE(saved.error().startsWith("导出失败：")) << row.name;
        EXPECT_GT(saved.error().size(), QStringLiteral("导出失败：").size()) << row.name;
    }
    // Said in Chinese.
    EXPECT_TRUE(saveExport(rows[0].path, SearchExportFormat::csv, smallSession())
                    .error()
                    .startsWith("导出失败：所选的文件夹不存在（"));
    EXPECT_EQ(contentOf(video), "video bytes");
    EXPECT_FALSE(QFile::exists(fixtures.path("gone")));
}

} // namespace

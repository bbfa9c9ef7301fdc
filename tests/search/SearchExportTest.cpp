#include "Files.h"
#include "Fixtures.h"
#include "HitOrder.h"
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
    // The lead-in is the search window export's check, and the mode line the last one here.
    EXPECT_TRUE(render(SearchExportFormat::md, session).endsWith(
              "|\n| 0:05 | a\\|b.mp4 | 65 | 桥上行人 |  |\n"
              "| 0:13 | b.mp4 | 0 |  |  |\n"
              "| 62:05 | b.mp4 | 80 | 古镇石桥 | 远景 |"));
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
    // The rest of a reference search's report is as in a keyword one.
    EXPECT_EQ(render(SearchExportFormat::md, {{"/a.mp4"}, SearchMode::reference, "参考图", 5, {}}).split(u'\n').value(2), "- 模式：参考图");
}

// One value as video name, caption and note at once.
TEST(SearchExport, UntrustedTextsStayInTheirCell)
{
    const struct { const char *name; QString value, csv, md; } rows[] = {
        {"comma and quotes", "桥,\"水\"", "\"桥,\"\"水\"\"\"", "桥,\"水\""},
        {"CRLF and line feed", "a\r\nb\nc", "\"a\r\nb\nc\"", "a<br>b<br>c"},
        {"formula", "=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"", "=HYPERLINK(\"x\")"},
        {"plus", "+1", "'+1", "+1"},
        {"minus", "-1", "'-1", "-1"},
        {"at", "@SUM(A1)", "'@SUM(A1)", "@SUM(A1)"},
        {"tab first", "\tx", "'\tx", "\tx"},
        {"carriage return first", "\rx", "\"'\rx\"", "<br>x"},
        {"formula sign inside", "a=b-c", "a=b-c", "a=b-c"},
        {"markup and pipe", "<img src=x onerror=y> & co|", "<img src=x onerror=y> & co|", "&lt;img src=x onerror=y&gt; &amp; co\\|"},
    };
    for (const auto &row : rows) {
        const SearchSession session{{"/v/x.mp4"}, SearchMode::keyword, "x", 1, {hit(1, row.value, 50, row.value, row.value)}};
        const QString &c = row.csv, &m = row.md;
        // A CSV row may span lines inside quotes.
        EXPECT_EQ(render(SearchExportFormat::csv, session).section(u'\n', 1), "1.00,0:01," + c + ",50," + c + "," + c) << row.name;
        EXPECT_TRUE(render(SearchExportFormat::md, session).endsWith("|\n| 0:01 | " + m + " | 50 | " + m + " | " + m + " |")) << row.name;
    }
}

// A save replaces the whole file, as UTF-8 without a byte-order mark; one that cannot be made says
// why and touches nothing.
TEST(SearchExport, SavesWholeOrSaysWhy)
{
    Fixtures fixtures;
    const SearchSession session = smallSession();
    const QString older = fixtures.text("检索结果.md", QByteArray(5000, 'x')); // longer than the new report
    const auto saved = saveExport(older, SearchExportFormat::md, session);
    ASSERT_TRUE(saved) << saved.error().toStdString();
    EXPECT_EQ(*saved, "已导出到 检索结果.md");
    EXPECT_EQ(Files::read(older), render(SearchExportFormat::md, session).toUtf8());

    const QString video = fixtures.text("clip.mp4", "video bytes");
    ASSERT_TRUE(QFile::link(video, fixtures.path("link.csv")));
    const struct { const char *name; QString path, why; } rows[] = {
        {"folder gone", fixtures.path("gone/检索结果.csv"), "所选的文件夹不存在（"},
        {"not the format's extension", video, "文件名须以 .csv 结尾"},
        {"link to a video", fixtures.path("link.csv"), "文件名须以 .csv 结尾"},
    };
    for (const auto &row : rows) {
        const auto failed = saveExport(row.path, SearchExportFormat::csv, session);
        ASSERT_FALSE(failed) << row.name;
        EXPECT_TRUE(failed.error().startsWith("导出失败：" + row.why)) << failed.error().toStdString();
    }
    EXPECT_EQ(Files::read(video), "video bytes");
    EXPECT_FALSE(QFile::exists(fixtures.path("gone")));
}

QStringList order(const QList<std::pair<QString, double>> &found)
{
    QList<SearchHit> hits;
    for (const auto &[name, time] : found)
        hits << SearchHit(time, QString::number(hits.size()), 50, name);
    sortHits(hits);
    QStringList seen;
    for (const SearchHit &hit : hits)
        seen << hit.caption;
    return seen;
}

// Each row lists hits in the order found; the expectation is the finding positions in sorted order.
TEST(HitOrder, ByComposedNameByCodePointThenTime)
{
    const QString composed = QStringLiteral("caf\u00e9.mp4"), decomposed = QStringLiteral("cafe\u0301.mp4");
    const struct { const char *name; QList<std::pair<QString, double>> found; QStringList sorted; } rows[] = {
        {"é precomposed and decomposed are one name",
         {{composed, 10}, {"cafe.mp4", 99}, {decomposed, 5}, {"cafz.mp4", 0}, {composed, 7}},
         {"1", "3", "2", "4", "0"}},
        {"beyond U+FFFF after U+FF5A", {{"\U0001F600.mp4", 1}, {"\uFF5A.mp4", 2}}, {"1", "0"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(order(row.found), row.sorted) << row.name;
}

} // namespace

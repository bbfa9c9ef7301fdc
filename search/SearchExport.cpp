#include "SearchExport.h"

#include "HitOrder.h"

#include <QFileInfo>

#include <cmath>

namespace {

QString modeName(SearchMode mode)
{
    return mode == SearchMode::reference ? QStringLiteral("参考图") : QStringLiteral("关键词");
}

QString wholeSeconds(double seconds)
{
    return QString::number(seconds, 'f', 0);
}

QList<SearchHit> inRowOrder(QList<SearchHit> hits)
{
    sortHits(hits);
    return hits;
}

// Captions and file names come from models and other people, and a spreadsheet runs a cell that
// starts like a formula: such a cell is marked as text. A lone carriage return also ends a row
// for many readers, so it is quoted like a line feed.
QString csvField(QString value)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!value.isEmpty() && formulaStarts.contains(value.front()))
        value.prepend(u'\'');
    if (value.contains(u',') || value.contains(u'"') || value.contains(u'\n') || value.contains(u'\r'))
        return u'"' + value.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return value;
}

// Markup from a model's reply is shown as text by a viewer, never rendered; a line break would end
// the table row, so it becomes one the table can hold.
QString markdownCell(QString value)
{
    return value.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"))
        .replace(u'|', QStringLiteral("\\|"))
        .replace(QStringLiteral("\r\n"), QStringLiteral("<br>"))
        .replace(u'\r', QStringLiteral("<br>"))
        .replace(u'\n', QStringLiteral("<br>"));
}

QStringList csvLines(const SearchSession &session)
{
    QStringList lines{QStringLiteral("time_sec,time,video,score,caption,note")};
    for (const SearchHit &hit : inRowOrder(session.hits)) {
        lines << QStringList{QString::number(hit.time(), 'f', 2), SearchTimeFormat::time(hit.time()),
                             csvField(hit.videoName), QString::number(hit.score), csvField(hit.caption),
                             csvField(hit.note)}
                     .join(u',');
    }
    return lines;
}

QStringList markdownLines(const SearchSession &session)
{
    QStringList lines{
        QStringLiteral("# 视频内容检索结果"),
        QString(),
        QStringLiteral("- 模式：") + modeName(session.mode),
        QStringLiteral("- 查询：") + session.query,
        QStringLiteral("- 采样间隔：") + wholeSeconds(session.interval) + QStringLiteral(" 秒"),
        QStringLiteral("- 命中：") + QString::number(session.hits.size()) + QStringLiteral(" 处"),
        QStringLiteral("- 视频文件（") + QString::number(session.videos.size()) + QStringLiteral(" 个）："),
    };
    for (const QString &video : session.videos)
        lines << QStringLiteral("  - ") + QFileInfo(video).fileName();
    lines << QString() << QStringLiteral("| 时间 | 视频 | 置信度 | 描述 | 备注 |")
          << QStringLiteral("| --- | --- | --- | --- | --- |");
    for (const SearchHit &hit : inRowOrder(session.hits)) {
        lines << QStringLiteral("| ") + SearchTimeFormat::time(hit.time()) + QStringLiteral(" | ")
                + markdownCell(hit.videoName) + QStringLiteral(" | ") + QString::number(hit.score)
                + QStringLiteral(" | ") + markdownCell(hit.caption) + QStringLiteral(" | ") + markdownCell(hit.note)
                + QStringLiteral(" |");
    }
    return lines;
}

QStringList textLines(const SearchSession &session)
{
    QStringList lines{
        QStringLiteral("视频内容检索结果"),
        QStringLiteral("模式：") + modeName(session.mode) + QStringLiteral("\u3000查询：") + session.query
            + QStringLiteral("\u3000采样间隔：") + wholeSeconds(session.interval) + QStringLiteral(" 秒"),
        QStringLiteral("视频文件（") + QString::number(session.videos.size()) + QStringLiteral(" 个）："),
    };
    for (const QString &video : session.videos)
        lines << QStringLiteral("  - ") + QFileInfo(video).fileName();
    lines << QStringLiteral("命中 ") + QString::number(session.hits.size()) + QStringLiteral(" 处：");
    int number = 0;
    for (const SearchHit &hit : inRowOrder(session.hits)) {
        lines << QString::number(++number) + QStringLiteral(". [") + hit.videoName + QStringLiteral("] ")
                + SearchTimeFormat::time(hit.time()) + QStringLiteral("\u3000置信度 ") + QString::number(hit.score);
        if (!hit.caption.isEmpty())
            lines << QStringLiteral("   描述：") + hit.caption;
        if (!hit.note.isEmpty())
            lines << QStringLiteral("   备注：") + hit.note;
    }
    return lines;
}

} // namespace

QString fileExtension(SearchExportFormat format)
{
    switch (format) {
    case SearchExportFormat::csv:
        return QStringLiteral("csv");
    case SearchExportFormat::md:
        return QStringLiteral("md");
    case SearchExportFormat::txt:
        return QStringLiteral("txt");
    }
    Q_UNREACHABLE();
    return {};
}

QString defaultFileName(SearchExportFormat format)
{
    return QStringLiteral("检索结果.") + fileExtension(format);
}

QString render(SearchExportFormat format, const SearchSession &session)
{
    switch (format) {
    case SearchExportFormat::csv:
        return csvLines(session).join(u'\n');
    case SearchExportFormat::md:
        return markdownLines(session).join(u'\n');
    case SearchExportFormat::txt:
        return textLines(session).join(u'\n');
    }
    Q_UNREACHABLE();
    return {};
}

namespace SearchTimeFormat {

QString time(double seconds)
{
    const long long whole = std::llround(seconds); // halves away from zero
    return QString::number(whole / 60) + u':' + QStringLiteral("%1").arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace SearchTimeFormat

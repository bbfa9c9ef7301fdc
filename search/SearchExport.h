#pragma once

// The hits of a search as a file for others: CSV for spreadsheets, a Markdown report, plain text.

#include "SearchHit.h"
#include "SearchMode.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the window hands over at export time: its current videos, mode, query, interval and rows.
struct SearchSession
{
    QStringList videos;
    SearchMode mode = SearchMode::keyword;
    QString query;
    double interval = 1; // whole seconds
    QList<SearchHit> hits;
};

enum class SearchExportFormat { csv, md, txt };

// "csv", "md", "txt".
QString fileExtension(SearchExportFormat format);
// What the save dialog proposes: 检索结果.csv and so on.
QString defaultFileName(SearchExportFormat format);

// The whole file's text, rows by video name and then time; the session is not changed.
QString render(SearchExportFormat format, const SearchSession &session);

namespace SearchTimeFormat {

// Minutes and seconds to the nearest second, "62:05"; there is no hour field.
QString time(double seconds);

} // namespace SearchTimeFormat

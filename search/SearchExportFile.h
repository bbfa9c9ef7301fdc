#pragma once

#include "SearchExport.h"

#include <QString>

#include <expected>

// Renders the session and writes it to path as UTF-8 without a byte-order mark. The file appears
// whole or not at all and replaces one already there (the save dialog has asked). Only a path
// that ends in the format's extension is written, so a slip in the dialog cannot replace a video.
// Either way the text is the status line to show: "已导出到 <file name>" or "导出失败：<reason>".
std::expected<QString, QString> saveExport(const QString &path, SearchExportFormat format, const SearchSession &session);

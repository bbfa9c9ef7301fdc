#pragma once

#include <QString>

// The lines the status bar shows while an analysis runs and when it ends.
namespace RunText {

// A duration as people say it: "45 秒", "1 分 1 秒", "2 分钟", "1 小时 1 分". Never less than a second.
QString eta(double seconds);

// The line for the item at `position` (from 0), with the average and the time left once an item
// has succeeded; the time left counts this item and every later one.
QString progress(qsizetype position, qsizetype total, const QString &fileName, int done, double elapsed);

QString summary(int done, qsizetype total, double elapsed, bool listChanged);
// When the user stopped the run before its end.
QString stoppedSummary(int done, qsizetype total, double elapsed);

} // namespace RunText

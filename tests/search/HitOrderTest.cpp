#include "HitOrder.h"

#include <gtest/gtest.h>

namespace {

struct Found
{
    QString name;
    double time;
};

QStringList order(const QList<Found> &found)
{
    QList<SearchHit> hits;
    for (const Found &f : found)
        hits << SearchHit(f.time, QString::number(hits.size()), 50, f.name);
    sortHits(hits);
    QStringList seen;
    for (const SearchHit &hit : hits)
        seen << hit.caption;
    return seen;
}

const QString composed = QStringLiteral("caf\u00e9.mp4");
const QString decomposed = QStringLiteral("cafe\u0301.mp4");

// Each row lists hits in the order found; the expectation is the finding positions in sorted order.
TEST(HitOrder, ByComposedNameByCodePointThenTime)
{
    const struct { const char *name; QList<Found> found; QStringList sorted; } rows[] = {
        {"videos given out of order", {{"b.mp4", 10}, {"a.mp4", 30}, {"a.mp4", 5}}, {"2", "1", "0"}},
        {"é precomposed and decomposed are one name",
         {{composed, 10}, {"cafe.mp4", 99}, {decomposed, 5}, {"cafz.mp4", 0}, {composed, 7}},
         {"1", "3", "2", "4", "0"}},
        {"beyond U+FFFF after U+FF5A", {{"\U0001F600.mp4", 1}, {"\uFF5A.mp4", 2}}, {"1", "0"}},
        {"same name and time keep the order found", {{"a.mp4", 2}, {"a.mp4", 1}, {"a.mp4", 2}, {composed, 4}, {decomposed, 4}},
         {"1", "0", "2", "3", "4"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(order(row.found), row.sorted) << row.name;
}

} // namespace

#include "HitOrder.h"

#include <algorithm>
#include <utility>
#include <vector>

void sortHits(QList<SearchHit> &hits)
{
    // UTF-8 bytes order as code points do; UTF-16 units would put characters beyond U+FFFF before
    // U+E000–U+FFFF. Keys are made once, not per comparison.
    std::vector<std::pair<QByteArray, SearchHit>> keyed;
    keyed.reserve(size_t(hits.size()));
    for (SearchHit &hit : hits)
        keyed.emplace_back(hit.videoName.normalized(QString::NormalizationForm_C).toUtf8(), std::move(hit));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second.time() < b.second.time();
    });
    hits.clear();
    for (auto &entry : keyed)
        hits.append(std::move(entry.second));
}

#pragma once

#include <QString>

#include <optional>

// What a video search looks for: a typed keyword, or the subject of a reference picture.
enum class SearchMode { keyword, reference };

// The raw values are what the settings store keeps.
inline QString rawValue(SearchMode mode)
{
    return mode == SearchMode::reference ? QStringLiteral("reference") : QStringLiteral("keyword");
}

// Nothing for any other text; the caller decides what a stale stored value means.
inline std::optional<SearchMode> searchModeFromRaw(const QString &raw)
{
    if (raw == u"keyword")
        return SearchMode::keyword;
    if (raw == u"reference")
        return SearchMode::reference;
    return std::nullopt;
}

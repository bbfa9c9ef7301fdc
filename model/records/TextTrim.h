#pragma once

#include <QStringView>

// The text without the leading and trailing units `isSpace` drops; it is asked with each UTF-16 unit.
// Every space, line break and quote we trim is a single unit, so trimming by unit is exact.
template <typename Predicate>
QStringView trimmedBy(QStringView text, Predicate isSpace)
{
    while (!text.isEmpty() && isSpace(text.front().unicode()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back().unicode()))
        text.chop(1);
    return text;
}

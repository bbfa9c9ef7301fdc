#pragma once

#include <QStringView>

#include <unicode/uchar.h>

// The text without the leading and trailing characters the predicate calls space. Every white
// space character is a single UTF-16 unit, so trimming by unit is exact.
inline QStringView trimmed(QStringView text, bool (*isSpace)(UChar32))
{
    while (!text.isEmpty() && isSpace(text.front().unicode()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back().unicode()))
        text.chop(1);
    return text;
}

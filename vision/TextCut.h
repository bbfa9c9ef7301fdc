#pragma once

#include <QString>

// The first `count` user-perceived characters of a text, so a cut never splits an emoji or an
// accented letter; the whole text when it is not longer.
QString firstCharacters(const QString &text, int count);

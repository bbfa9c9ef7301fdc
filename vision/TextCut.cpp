#include "TextCut.h"

#include <QTextBoundaryFinder>

QString firstCharacters(const QString &text, int count)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int taken = 0; taken < count; ++taken) {
        end = graphemes.toNextBoundary();
        if (end < 0)
            return text;
    }
    return text.left(end);
}

#pragma once

// Small builders the forms share: section titles, wrapping notes and labelled rows.

#include <QString>

class QColor;
class QLabel;
class QWidget;

namespace FormParts {

// A section title: semibold, in the secondary text colour.
QLabel *sectionTitle(const QString &text, int pixelSize = 13);
// Small text in the secondary colour: counts, status lines.
QLabel *secondaryLabel(const QString &text = {});
// A wrapping note in small secondary text, `width` wide.
QLabel *note(const QString &text, int width);
// A label right-aligned in `labelWidth`, then the field, 8 apart.
QWidget *row(const QString &label, QWidget *field, int labelWidth = 96);
// Draws the label's text in this colour, over the window's background and over a list's alike.
void setTextColor(QLabel *label, const QColor &color);
// Plain text, never rich text: the words may come from a file, a model or a server.
QLabel *plainLabel(const QString &text = {});

} // namespace FormParts

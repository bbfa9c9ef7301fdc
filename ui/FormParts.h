#pragma once

// Small builders the forms share: section titles, wrapping notes and labelled rows.

#include <QString>

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
// Plain text, never rich text: the words may come from a file, a model or a server.
QLabel *plainLabel(const QString &text = {});

} // namespace FormParts

#include "FormParts.h"

#include "PaletteColors.h"

#include <QHBoxLayout>
#include <QLabel>

namespace FormParts {

void setTextColor(QLabel *label, const QColor &color)
{
    // A label draws with WindowText on a window, but with Text over a list's Base colour.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    label->setPalette(palette);
}

QLabel *plainLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *sectionTitle(const QString &text, int pixelSize)
{
    QLabel *label = plainLabel(text);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    setTextColor(label, PaletteColors::secondaryText(label->palette()));
    return label;
}

QLabel *secondaryLabel(const QString &text)
{
    QLabel *label = plainLabel(text);
    QFont font = label->font();
    font.setPixelSize(12);
    label->setFont(font);
    setTextColor(label, PaletteColors::secondaryText(label->palette()));
    return label;
}

QLabel *note(const QString &text, int width)
{
    QLabel *label = secondaryLabel(text);
    label->setWordWrap(true);
    label->setFixedWidth(width);
    return label;
}

QWidget *row(const QString &label, QWidget *field, int labelWidth)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QLabel *title = plainLabel(label);
    title->setFixedWidth(labelWidth);
    title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    title->setBuddy(field);
    layout->addWidget(title);
    layout->addWidget(field);
    layout->addStretch();
    return row;
}

} // namespace FormParts

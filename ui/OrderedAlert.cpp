#include "OrderedAlert.h"

#include <QPushButton>

int askInOrder(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
               const QStringList &buttons, int escapeButton)
{
    QMessageBox box(icon, title, title, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(text);
    // One role for all keeps them in the order given.
    QList<QPushButton *> added;
    for (const QString &label : buttons)
        added << box.addButton(label, QMessageBox::ActionRole);
    box.setDefaultButton(added.first());
    box.setEscapeButton(added.value(escapeButton, added.first()));
    box.exec();
    return int(added.indexOf(static_cast<QPushButton *>(box.clickedButton())));
}

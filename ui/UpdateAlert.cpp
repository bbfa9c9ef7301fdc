#include "UpdateAlert.h"

#include <QMessageBox>
#include <QPushButton>

void showUpdateAlert(QWidget *parent, const QString &latest, const UpdateChecker::Context &context)
{
    const UpdateChecker::Alert alert = UpdateChecker::alertFor(latest, context);
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Information);
    box.setTextFormat(Qt::PlainText); // the version comes from a web page
    box.setWindowTitle(alert.title);
    box.setText(alert.title);
    box.setInformativeText(alert.body);
    // One role for all three keeps them in the order given.
    QList<QPushButton *> buttons;
    for (const QString &label : alert.buttons)
        buttons << box.addButton(label, QMessageBox::ActionRole);
    box.setDefaultButton(buttons.first());
    box.setEscapeButton(buttons.last());
    box.exec();
    const auto chosen = buttons.indexOf(static_cast<QPushButton *>(box.clickedButton()));
    const UpdateChecker::Choice choice = chosen < 0 ? UpdateChecker::Choice::later : UpdateChecker::Choice(chosen);
    UpdateChecker::carryOut(choice, latest, context);
}

#include "UpdateAlert.h"

#include "OrderedAlert.h"

void showUpdateAlert(QWidget *parent, const QString &latest, const UpdateChecker::Context &context)
{
    const UpdateChecker::Alert alert = UpdateChecker::alertFor(latest, context);
    const int laterButton = int(UpdateChecker::Choice::later);
    const int chosen = askInOrder(parent, QMessageBox::Information, alert.title, alert.body, alert.buttons, laterButton);
    UpdateChecker::carryOut(chosen < 0 ? UpdateChecker::Choice::later : UpdateChecker::Choice(chosen), latest, context);
}

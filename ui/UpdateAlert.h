#pragma once

#include "UpdateChecker.h"

class QWidget;

// Offers the newer version in a modal alert and carries out the answer.
void showUpdateAlert(QWidget *parent, const QString &latest, const UpdateChecker::Context &context = {});

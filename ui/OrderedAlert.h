#pragma once

#include <QMessageBox>
#include <QStringList>

// A modal question whose buttons stay in the order given, the first being the default; Escape
// presses the one at `escapeButton`. Its texts are plain text: they may hold a file's or a web
// page's words. Returns the index of the button pressed.
int askInOrder(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
               const QStringList &buttons, int escapeButton);

#pragma once

#include <QString>
#include <QStringList>

// The videos below a folder, at any depth, in the walk's order: regular files whose content and
// name make them a video/* type, whatever their extension. Hidden entries are left out and no link
// is followed into a loop. Empty for a folder that cannot be read.
QStringList movieFilesIn(const QString &folder);

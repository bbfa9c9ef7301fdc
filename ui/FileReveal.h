#pragma once

#include <QString>

// Shows the file selected in the desktop's file manager (the FileManager1 D-Bus service), or
// opens the folder that holds it where no file manager offers that. Returns at once.
void revealInFileManager(const QString &path);

#pragma once

#include <QString>

#include <functional>

// Every entry below a folder, at any depth, in the file system's order, each folder before what it
// holds. Hidden entries (a name starting with ".") are left out and hidden folders not entered.
// Symbolic links are listed but never followed, so a link loop cannot trap the walk; device files,
// pipes and sockets are left out; folders that cannot be read, or vanish meanwhile, are passed
// over. Works below paths of any length and with names that are not valid UTF-8.
// visit returns false to end the walk there.
void walkFolder(const QString &folder, const std::function<bool(const QString &path)> &visit);

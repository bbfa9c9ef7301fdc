#pragma once

#include <QSettings>
#include <QString>

// The settings file: one flat JSON object, readable only by its owner since it holds an API key.
namespace SettingsFile {

// A QSettings format that keeps each value's JSON type (boolean, number, text), so loading can tell
// a stored false from the text "false". Registered on first use.
QSettings::Format jsonFormat();

// Gets the file at path ready for QSettings to write: creates its folder, moves a file that is not a
// JSON object aside to path.bak, and leaves an owner-only file in place. False when any step fails.
bool prepareForWrite(const QString &path);

} // namespace SettingsFile

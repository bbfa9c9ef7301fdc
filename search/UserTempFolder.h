#pragma once

#include <QString>

// Where this user's short-lived files go: the session's runtime folder when there is one that only
// the user can enter, else the system's temporary folder. Make a fresh folder with a random name
// inside it (QTemporaryDir, owner-only) rather than using a fixed name, which another user of a
// shared /tmp could take first.
QString userTemporaryRoot();

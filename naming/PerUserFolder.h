#pragma once

#include <QString>

#include <optional>

// A folder only this user can enter, for files that live as long as the session: undo logs and
// scratch frames. The session's runtime folder when there is one; otherwise a folder with a random
// name under the temporary folder, made once per process, so no other user can plant a file or
// link at a name we are about to write. Nothing when neither can be had.
std::optional<QString> perUserTempFolder();

// The user's cache folder for Orvane ($XDG_CACHE_HOME/Orvane, else ~/.cache/Orvane), made and kept
// owner-only, on disk rather than in memory: for search frames waiting their turn. Nothing when it
// cannot be had.
std::optional<QString> perUserCacheFolder();

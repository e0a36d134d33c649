#pragma once
// The folder the backup is written into. In a shared folder another user
// could otherwise choose where the backup goes, replace it after it was
// checked, or plant files beside it.

#include <optional>
#include <string>

#include "base/UniqueFd.h"

namespace mivotra {

// Opens the folder at `path` to write the backup into, or gives an invalid
// descriptor and the reason. The folder must belong to the user (or root)
// and no other user may write to it, on a file system that keeps owners and
// modes (seen on a file made there for a moment when the folder's own say
// otherwise); a symbolic link at its name is followed only when the link and
// the folder it leads to both belong to the user.
// The checks are made on the opened folder itself, so nothing put at the
// name afterwards changes where the backup goes.
UniqueFd OpenBackupFolder(const std::string& path, std::string* reason);

// A file in `folder` that SQLite would take for the journal or log of the
// database `name` and apply to it when it is opened: its name, if any.
std::optional<std::string> FindJournalBeside(int folder, const std::string& name);

}  // namespace mivotra

// Folders held open (descriptor.h), and what is done in them by name: what is made
// below an open folder stays below it, even when a level on the way is swapped for a
// link meanwhile. A reason is the system's own words for what failed.
#ifndef VELMOR_FOLDERS_H
#define VELMOR_FOLDERS_H

#include <string>
#include "descriptor.h"

namespace velmor {

// Opens the folder at path, links followed; kNoHandle, with reason set, when it cannot.
SystemHandle OpenFolder(const std::string &path, std::string &reason);

// Opens the folder name in folder without following a link there; kNoHandle, with
// reason set, when it cannot, and inTheWay set when a file or a link of that name stands
// where the folder was to be.
SystemHandle OpenFolderIn(SystemHandle folder, const std::string &name, std::string &reason, bool &inTheWay);

// Creates the folder name in folder: true when it made one, false when something of
// that name stands there already; throws PackError "<shown>: cannot create the
// folder: <reason>" otherwise.
bool CreateFolderIn(SystemHandle folder, const std::string &name, const std::string &shown);

// Removes the empty folder name in folder, or the empty folder at path; nothing
// happens where that cannot be done.
void RemoveEmptyFolderIn(SystemHandle folder, const std::string &name);
void RemoveEmptyFolder(const std::string &path);

} // namespace velmor

#endif

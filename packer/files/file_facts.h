// What the system tells of a file or folder under a path (or under a name in a folder
// held open, folders.h), and the names in a folder: what a scan of a source folder
// and an extraction ask. A reason is the system's own words for what
// failed ("Permission denied").
#ifndef VELMOR_FILE_FACTS_H
#define VELMOR_FILE_FACTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "descriptor.h"
#include "input_file.h"

namespace velmor {

// A moment as seconds and nanoseconds since 1970-01-01 00:00 UTC.
struct FileMoment {
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
};

struct FileFacts {
    bool isRegular = false;
    bool isFolder = false;
    bool isLink = false;
    const char *kindName = ""; // for messages: "a folder", "a FIFO", "a symbolic link"...
    ScannedFile identity;      // device and number; throughLink is left false
    uint64_t size = 0;
    FileMoment lastWrite;
    FileMoment lastAccess;
    std::optional<FileMoment> creation; // where the file system keeps it
    // What Windows stores of a file as its attributes: read-only where its owner may
    // not write it (on Linux, the owner's write bit); hidden and system only where the
    // file system keeps them.
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
    bool othersMayRead = false; // anyone but the owner may read it
};

// What path names: with followLinks, what its links lead to; without, a link itself.
// Nothing, with reason set, when nothing can be looked at there.
std::optional<FileFacts> LookAt(const std::string &path, bool followLinks, std::string &reason);

// The absolute path of what path names, every link on the way resolved (junctions
// too), as the system spells it; nothing, with reason set, when nothing is there.
std::optional<std::string> ResolvedPath(const std::string &path, std::string &reason);

// "" when this process may read the file at path, else the reason.
std::string WhyNotReadable(const std::string &path);

// The names in the folder at path, "." and ".." left out, in no particular order;
// nothing, with reason set, when it cannot be read.
std::optional<std::vector<std::string>> ListFolder(const std::string &path, std::string &reason);

// What stands under name in folder, a link itself rather than where it leads;
// nothing when nothing can be looked at there.
std::optional<FileFacts> LookAtIn(SystemHandle folder, const std::string &name);

// The names in the folder, "." and ".." left out, in no particular order; nothing,
// with reason set, when it cannot be read.
std::optional<std::vector<std::string>> ListOpenFolder(SystemHandle folder, std::string &reason);

} // namespace velmor

#endif

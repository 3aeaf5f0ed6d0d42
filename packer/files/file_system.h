// Files and folders named by path, for what the packer does to them as a whole. A
// reason is the system's own words for what failed ("Permission denied").
#ifndef VELMOR_FILE_SYSTEM_H
#define VELMOR_FILE_SYSTEM_H

#include <cstdint>
#include <optional>
#include <string>

namespace velmor {

// Which file a path names, links followed: two paths name one file when device and
// number agree.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t number = 0;
    unsigned permissionBits = 0; // who may read, write and run it (rwxrwxrwx); on Windows
                                 // 0444 or 0666, as the read-only attribute says
};

// Nothing when nothing can be looked at under path.
std::optional<FileIdentity> IdentifyFile(const std::string &path);

// Creates the folder, which only its owner may enter; "" when done, else the reason.
std::string CreatePrivateFolder(const std::string &path);

// Puts the file at from in the place of to, replacing what stood there in one step;
// "" when done, else the reason.
std::string MoveIntoPlace(const std::string &from, const std::string &to);

} // namespace velmor

#endif

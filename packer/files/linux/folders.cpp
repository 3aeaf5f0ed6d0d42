// Open folders on Linux, through the *at calls. Only the Linux build's code belongs here.
#include "folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include "pack_error.h"

namespace velmor {

SystemHandle OpenFolder(const std::string &path, std::string &reason)
{
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        reason = std::strerror(errno);
    return fd;
}

SystemHandle OpenFolderIn(SystemHandle folder, const std::string &name, std::string &reason, bool &inTheWay)
{
    int fd = openat(static_cast<int>(folder), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        inTheWay = errno == ENOTDIR || errno == ELOOP;
        reason = std::strerror(errno);
    }
    return fd;
}

bool CreateFolderIn(SystemHandle folder, const std::string &name, const std::string &shown)
{
    if (mkdirat(static_cast<int>(folder), name.c_str(), 0777) == 0)
        return true;
    if (errno != EEXIST)
        throw PackError(shown + ": cannot create the folder: " + std::strerror(errno));
    return false;
}

void RemoveEmptyFolderIn(SystemHandle folder, const std::string &name)
{
    unlinkat(static_cast<int>(folder), name.c_str(), AT_REMOVEDIR);
}

void RemoveEmptyFolder(const std::string &path)
{
    rmdir(path.c_str());
}

} // namespace velmor

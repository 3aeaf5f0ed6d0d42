// Files and folders by path, on Linux. Only the Linux build's code belongs here.
#include "file_system.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmor {

std::optional<FileIdentity> IdentifyFile(const std::string &path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                        static_cast<unsigned>(info.st_mode & 0777)};
}

std::string CreatePrivateFolder(const std::string &path)
{
    return mkdir(path.c_str(), 0700) == 0 ? std::string() : std::strerror(errno);
}

std::string MoveIntoPlace(const std::string &from, const std::string &to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? std::string() : std::strerror(errno);
}

} // namespace velmor

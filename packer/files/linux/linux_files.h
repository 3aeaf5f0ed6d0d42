// What the Linux implementations of the files layer share. Only the Linux build's
// code belongs here.
#ifndef VELMOR_LINUX_FILES_H
#define VELMOR_LINUX_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor {

// What a file of that st_mode is, for messages: "a folder", "a FIFO", "a socket"...
const char *FileTypeName(unsigned mode);

// Writes all count bytes to fd, at offset `at` or, with at < 0, at its position,
// trying again where a signal interrupts; 0, or the errno of the failed write.
int WriteAll(int fd, const char *bytes, size_t count, int64_t at = -1);

// Opens the folder of an output path (O_PATH) and sets folder to its path ("." for a
// bare name) and name to the output's name in it; -1 with errno set when it cannot.
int OpenFolderOf(const std::string &target, std::string &folder, std::string &name);

} // namespace velmor

#endif

// The files velmor-pack reads. Each is checked to be a regular file before it is
// opened, so that a FIFO, a device or a socket is refused with a line that says so
// and nothing waits on one, and each is bounded in size.
#ifndef VELMOR_INPUT_FILE_H
#define VELMOR_INPUT_FILE_H

#include <cstdint>
#include <optional>
#include <string>
#include "descriptor.h"

namespace velmor {

// Larger than any file that a package or an SZDD file can hold.
constexpr uint64_t kMaxInputSize = 0xFFFFFFFFULL;

// The file a scan of a folder found under a path, to be opened again later by that
// path: its device and inode, and whether the scan reached it through a symbolic link
// at the path's last level.
struct ScannedFile {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool throughLink = false;
};

class InputFile {
public:
    // Opens path for reading without moving its last access time where the system
    // allows that. Throws PackError "<path>: <what was expected>, <what was found>"
    // when it is missing, not a regular file, or larger than maxSize bytes.
    InputFile(const std::string &path, uint64_t maxSize = kMaxInputSize);
    // Opens the file the scan found at path and no other: a symbolic link at the last
    // level is followed only where the scan followed one, and the file opened must be
    // the one the scan recorded, wherever a link on the way may lead now. Throws
    // PackError "<path>: the file changed while it was being packed: ..." when another
    // file or a link took its place, or one of its folders was replaced.
    InputFile(const std::string &path, const ScannedFile &scanned);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    SystemHandle handle() const { return handle_; }
    uint64_t size() const { return size_; } // when it was opened
    const std::string &path() const { return path_; }
    // Up to count bytes from the current position; 0 at the end of the file.
    size_t Read(char *buffer, size_t count);
    // Moves the position to offset; false when the system refuses.
    bool Seek(uint64_t offset);
    // count bytes from the current position, fewer only at the end of the file.
    size_t ReadFull(char *buffer, size_t count);
    // Up to count bytes from offset, leaving the position alone, so that threads may
    // read at once; 0 at the end of the file. Throws PackError when the read fails.
    size_t ReadAt(uint64_t offset, char *buffer, size_t count) const;

private:
    void Open(uint64_t maxSize, bool followLink, const ScannedFile *scanned);

    std::string path_;
    SystemHandle handle_ = kNoHandle;
    uint64_t size_ = 0;
};

// For the systems' implementations: throws the PackError every system gives for a file
// to be read at path that is not a regular file or is larger than maxSize bytes.
void CheckInputKind(const std::string &path, bool isRegular, const char *kindName, uint64_t size, uint64_t maxSize);
// The refusal when another file took the place of the one meant, since the scan
// (scanned) or since the file was looked at.
std::string ReplacedInput(const std::string &path, bool scanned);

// The size of the file at path, links followed; nothing when it cannot be looked at.
std::optional<uint64_t> SizeOfFile(const std::string &path);

// The same checks without opening the file, for files that another program reads.
void RequireRegularFile(const std::string &path, uint64_t maxSize = kMaxInputSize);

// A whole file of at most maxSize bytes, read in one buffer sized up front.
std::string ReadWholeFile(const std::string &path, uint64_t maxSize = kMaxInputSize);

} // namespace velmor

#endif

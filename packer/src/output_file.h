// A file that appears under its name only once it is complete: written to a
// temporary file beside the target and renamed over it by Commit. Without Commit
// the temporary file is removed, so a failure leaves no output behind.
#ifndef VELMOR_OUTPUT_FILE_H
#define VELMOR_OUTPUT_FILE_H

#include <cstdint>
#include <string>
#include <string_view>

namespace velmor {

class OutputFile {
public:
    explicit OutputFile(const std::string &path);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void Write(std::string_view bytes);
    // Appends up to count bytes read from the file descriptor at its position, in
    // the kernel where the system allows it; returns the bytes appended, fewer only
    // at the end of that file. sourceName names it in messages.
    uint64_t CopyFrom(int fd, uint64_t count, const std::string &sourceName);
    uint64_t Size() const { return size_; }
    // Sets the permission bits and renames into place.
    void Commit(unsigned mode = 0644);

private:
    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Reads a whole file; PackError naming it on failure.
std::string ReadWholeFile(const std::string &path);

} // namespace velmor

#endif

// Data on its way into an output, held on disk instead of in memory: a file created
// beside the output under a temporary name (temporary_files.h) and unlinked at once
// (on Windows: opened to be deleted when closed), so that its space is given back when
// it is closed, however the process ends. A run killed between the two steps on Linux
// leaves a name that the next run writing the same output removes. Scratch files may
// be made on any thread.
#ifndef VELMOR_SCRATCH_FILE_H
#define VELMOR_SCRATCH_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include "output_file.h"

namespace velmor {

class ScratchFile {
public:
    // A new, empty scratch file in the folder of the output at target. Throws
    // PackError "<target>: cannot write a temporary file beside it: <reason>".
    explicit ScratchFile(const std::string &target);
    ~ScratchFile();
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    // Appends bytes; throws PackError when they cannot be written (a full disk).
    void Write(const char *bytes, size_t count);
    uint64_t Size() const { return size_; }
    // Appends everything written to out, in the kernel where the system allows it.
    // Throws PackError when fewer bytes come back than were written.
    void CopyInto(OutputFile &out);

private:
    std::string target_;
    SystemHandle handle_ = kNoHandle;
    uint64_t size_ = 0;
};

} // namespace velmor

#endif

// A file that appears under its name only once it is complete: written to a
// temporary file beside the target (temporary_files.h) and renamed over it by
// Commit, which replaces whatever stood there without writing through it (a hard
// link elsewhere keeps its data). Without Commit the temporary file is removed, so a
// failure leaves no output behind.
#ifndef VELMOR_OUTPUT_FILE_H
#define VELMOR_OUTPUT_FILE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "descriptor.h"
#include "file_facts.h"
#include "input_file.h"
#include "temporary_files.h"

namespace velmor {

// Throws PackError when path names something that an output may not replace: a
// folder, a device, a FIFO or a socket (also behind a symbolic link). A missing path,
// a regular file and a broken link may be written. Outputs replace files only, so
// that -o /dev/null or a FIFO is refused rather than swapped for a regular file.
void RequireReplaceableOutput(const std::string &path);

// A file the command reads, named for messages ("the stub", "the private key").
struct NamedInput {
    std::string role;
    std::string path;
};

// Throws UsageError when output names an existing file that is also one of the
// inputs, under this or another name (the same device and inode): writing it would
// destroy that input. Inputs given as "" are skipped.
void RefuseOutputOverInputs(const std::string &option, const std::string &output,
                            const std::vector<NamedInput> &inputs);

// Outputs are new files: created with the permission bits asked for (0777 for a
// program, 0666 for data), less what the umask (or a default ACL of the folder) takes
// away, as every Unix tool creates its files. On Windows the bits speak only of the
// read-only attribute: a file without any write bit is read-only, and the folder's
// inherited access rules apply as to every file made there.
class OutputFile {
public:
    // The file at path; temporary files that killed runs left for it are removed.
    explicit OutputFile(const std::string &path, unsigned mode = 0666);
    // The file name in an open folder; shown names it in messages.
    OutputFile(SystemHandle folder, const std::string &name, const std::string &shown, unsigned mode = 0666);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void Write(std::string_view bytes);
    // Writes over bytes already written, from offset on (offset + size <= Size()).
    void WriteAt(uint64_t offset, std::string_view bytes);
    // Appends up to count bytes read from the open file from at its position, in
    // the kernel where the system allows it; returns the bytes appended, fewer only
    // at the end of that file. sourceName names it in messages.
    uint64_t CopyFrom(SystemHandle from, uint64_t count, const std::string &sourceName);
    uint64_t Size() const { return size_; }
    // The temporary file, for setting its times before Commit.
    SystemHandle handle() const { return handle_; }
    // The name the file gets, as given (for messages).
    const std::string &shown() const { return shown_; }
    // The permission bits the file was created with.
    unsigned Mode() const { return mode_; }
    // Sets the times of last access and of last write; a time not given is set to
    // now. "" when done, else the reason.
    std::string SetTimes(std::optional<FileMoment> lastAccess, std::optional<FileMoment> lastWrite);
    // Marks the file hidden and system as asked, where the system keeps such marks
    // (Windows); a Linux file system has none to set. "" when done, else the reason.
    std::string MarkHiddenAndSystem(bool hidden, bool system);
    // Renames into place; with mode, sets the permission bits first. Throws PackError
    // when the file does not hold exactly the bytes written to it.
    void Commit(std::optional<unsigned> mode = std::nullopt);

private:
    void Create(const std::string &name, unsigned mode);
    // Throws PackError unless the file holds exactly the bytes written to it.
    void CheckWrittenSize(uint64_t held) const;

    std::string shown_;
    SystemHandle folder_ = kNoHandle;
    bool ownsFolder_ = false;
    std::string name_;
    std::string tempName_;
    std::unique_ptr<TemporaryEntry> temp_;
    SystemHandle handle_ = kNoHandle;
    uint64_t size_ = 0;
    unsigned mode_ = 0;
};

// The permission bits mode as Windows' read-only attribute asks: without any write
// bit when readOnly, else with the owner's.
unsigned PermissionsForReadOnly(unsigned mode, bool readOnly);

// An existing file changed in place, at offsets: what a signing tool wrote, say.
class FileInPlace {
public:
    // Throws PackError "<path>: cannot open: <reason>".
    explicit FileInPlace(const std::string &path);
    // Throws PackError "<path>: cannot write: <reason>".
    void WriteAt(uint64_t offset, std::string_view bytes);
    // Sets the permission bits and closes the file; "" when done, else the reason.
    std::string Finish(unsigned mode);

private:
    std::string path_;
    Descriptor file_;
};

} // namespace velmor

#endif

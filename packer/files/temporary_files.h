// Temporary files and folders beside an output: written there, then renamed into
// place or removed. They are removed on an interrupt or a request to end as well
// (interruptions.h); after the process is killed, the next run that writes the same
// output removes them. Their names say whose they are, whatever the length of the
// output's name:
//   .velmor-<hash of the output's name>-<process id space>-<process id>-<n>.<role>
// so that a run removes only what a process of its own id space left that no longer
// runs. The id space is the pid namespace on Linux, 0 on Windows (one per machine).
#ifndef VELMOR_TEMPORARY_FILES_H
#define VELMOR_TEMPORARY_FILES_H

#include <cstdint>
#include <memory>
#include <string>
#include "descriptor.h"

namespace velmor {

// A new name for a temporary entry of this process for the output named target (a
// name in the same folder, not a path); role is a short word such as "tmp".
std::string TemporaryName(const std::string &target, const char *role);

// Whether the name has the form of a temporary entry's name.
bool IsTemporaryName(const std::string &name);

// Removes from the folder the temporary entries that processes which no longer run
// left for the output named target; with target empty, those for any output. Returns
// how many it removed.
int RemoveStaleTemporaries(SystemHandle folder, const std::string &target);

// A temporary entry, registered for removal until it is released: removed by the
// destructor, or when the process is interrupted. A folder is removed with the files in it.
// Entries may be made and released on any thread; at most 16 are registered at once.
class TemporaryEntry {
public:
    TemporaryEntry(SystemHandle folder, const std::string &name, bool isFolder);
    ~TemporaryEntry();
    TemporaryEntry(const TemporaryEntry &) = delete;
    TemporaryEntry &operator=(const TemporaryEntry &) = delete;
    // The entry was renamed into place (or is removed by someone else): leave it.
    void Release();

private:
    int slot_;
};

// A path for a temporary entry beside the output at target, registered from the
// start: what stands there when it is destroyed is removed. Temporary entries that
// killed runs left for the same output are removed first.
class TemporaryPath {
public:
    TemporaryPath(const std::string &target, const char *role, bool isFolder);
    ~TemporaryPath();
    TemporaryPath(const TemporaryPath &) = delete;
    TemporaryPath &operator=(const TemporaryPath &) = delete;
    const std::string &path() const { return path_; }

private:
    SystemHandle folder_;
    std::string path_;
    std::unique_ptr<TemporaryEntry> entry_;
};

// Installs handlers for what interrupts the process (SIGINT, SIGTERM and SIGHUP on
// Linux; Ctrl+C, Ctrl+Break, closing the console, logging off and shutting down on
// Windows) that remove every registered entry and then end the process as that
// interruption ends it.
void RemoveTemporariesOnSignals();

// The name a temporary entry of process pid in the process id space gets, counter
// its n (the rest of the name as above).
std::string FormatTemporaryName(const std::string &target, unsigned long long idSpace, long pid,
                                unsigned long counter, const char *role);

// What the name of a temporary entry tells; ParseTemporaryName is false for any name
// of another form.
struct TemporaryNameFields {
    uint64_t targetHash = 0; // TemporaryNameHash of the output's name
    unsigned long long idSpace = 0;
    long pid = 0;
};
bool ParseTemporaryName(const std::string &name, TemporaryNameFields &fields);
uint64_t TemporaryNameHash(const std::string &target);

} // namespace velmor

#endif

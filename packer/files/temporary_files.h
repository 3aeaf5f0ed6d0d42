// Temporary files and folders beside an output: written there, then renamed into
// place or removed. They are removed on SIGINT, SIGTERM and SIGHUP as well; after
// SIGKILL, the next run that writes the same output removes them. Their names say
// whose they are, whatever the length of the output's name:
//   .velmor-<hash of the output's name>-<pid namespace>-<pid>-<n>.<role>
// so that a run removes only what a process of its own pid namespace left that no
// longer runs.
#ifndef VELMOR_TEMPORARY_FILES_H
#define VELMOR_TEMPORARY_FILES_H

#include <memory>
#include <string>

namespace velmor {

// A new name for a temporary entry of this process for the output named target (a
// name in the same folder, not a path); role is a short word such as "tmp".
std::string TemporaryName(const std::string &target, const char *role);

// Whether the name has the form of a temporary entry's name.
bool IsTemporaryName(const std::string &name);

// Removes from the folder the temporary entries that processes which no longer run
// left for the output named target; with target empty, those for any output. Returns
// how many it removed.
int RemoveStaleTemporaries(int folder, const std::string &target);

// A temporary entry, registered for removal until it is released: removed by the
// destructor, or by the signal handlers. A folder is removed with the files in it.
// Entries may be made and released on any thread; at most 16 are registered at once.
class TemporaryEntry {
public:
    TemporaryEntry(int folder, const std::string &name, bool isFolder);
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
    int folder_;
    std::string path_;
    std::unique_ptr<TemporaryEntry> entry_;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every registered
// entry and then end the process by the same signal.
void RemoveTemporariesOnSignals();

} // namespace velmor

#endif

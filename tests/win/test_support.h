// Helpers for tests that run on Windows (Wine): scratch folders, whole-file reads and
// writes, and packages built byte by byte.
#ifndef VELMOR_TEST_SUPPORT_H
#define VELMOR_TEST_SUPPORT_H

#include <windows.h>
#include <string>
#include <vector>
#include "package_layout.h"
#include "record_writer.h"

namespace velmor::test {

// A folder of its own below the temporary directory, removed with everything in it
// when the object goes. Its path ends without a backslash.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Removes a file or a folder with everything below it; read-only bits are cleared.
void RemoveTree(const std::string &path);

void WriteWholeFile(const std::string &path, const std::string &bytes);
// The whole file; a test failure when it cannot be opened.
std::string ReadWholeFile(const std::string &path);
bool FileExists(const std::string &path);

// A Windows path for a Unix path given to the tests (Wine maps / to Z:\).
std::string WindowsPathFromUnix(const std::string &unixPath);

// The value of an environment variable that CTest sets; the test fails without it.
std::string RequiredEnvironment(const char *name);

// The x86_64 stub the tests append archives to (VELMOR_STUB, a Unix path).
std::string StubImage();

// One entry of a package under construction.
struct TestEntry {
    std::string directoryName;
    std::string fileName;
    std::string data;
    uint32_t attributes = 0x20;
    uint64_t creationTime = 0x01D0000000000000ULL;
    uint64_t lastAccessTime = 0x01D1000000000000ULL;
    uint64_t lastWriteTime = 0x01D2000000000000ULL;
};

// The data area of a package: each entry's record followed by its data.
std::string EncodeDataArea(const std::vector<TestEntry> &entries);

// A whole stub file: image, data area, trailer. The trailer's data offset is the
// image's length unless the caller set one (nonzero).
std::string BuildPackage(const std::string &image, const std::string &dataArea,
                         TrailerFields trailer);

// The Windows directory, ending in a backslash.
std::string WindowsDirectory();

// A program built beside the test program (record-start.exe, install.exe, ...).
std::string BuiltProgram(const char *name);

// What a copy of record-start.exe noted about its start: command line and working
// directory. Waits up to timeoutMs for the note at notePath to be there and
// readable; started is false when none came.
struct StartNote {
    bool started = false;
    std::string commandLine;
    std::string directory;
};
StartNote WaitForStartNote(const std::string &notePath, DWORD timeoutMs);

// Wine's per-program Windows version for every program of that file name, removed
// again when the object goes.
class WineVersionSetting {
public:
    WineVersionSetting(const std::string &programName, const char *version);
    ~WineVersionSetting();
    WineVersionSetting(const WineVersionSetting &) = delete;
    WineVersionSetting &operator=(const WineVersionSetting &) = delete;

private:
    std::string key_;
};

// The time of a FILETIME as one 64-bit number.
uint64_t FileTimeValue(const FILETIME &time);
uint64_t FileTimeValue(const StoredFileTime &time);

} // namespace velmor::test

#endif

// A package on disk wired into the stub state the way start-up and the progress
// dialog leave it, so that the extraction run can be driven without any window; and
// readers of the install log through the profile-string functions.
#ifndef VELMOR_EXTRACTION_FIXTURE_H
#define VELMOR_EXTRACTION_FIXTURE_H

#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "test_support.h"
#include "stub_state.h"

namespace velmor::test {

// Everything lives in one scratch folder: the package PKG.EXE, a stand-in Windows
// directory WIN\ (install log PKG.CFG and the two temporary files) and, unless the
// test names another, the destination folder DEST, which does not exist yet.
class PackageRun {
public:
    // The trailer's entry count is that of entries.
    PackageRun(const std::vector<TestEntry> &entries, TrailerFields trailer,
               const std::string &destination = "");
    // A data area built by the test, possibly damaged; the trailer's entry count is
    // taken as given.
    PackageRun(const std::string &dataArea, TrailerFields trailer,
               const std::string &destination = "");
    ~PackageRun();
    PackageRun(const PackageRun &) = delete;
    PackageRun &operator=(const PackageRun &) = delete;

    // ExtractAll with hooks that record what they were given. When cancelAt is not
    // 0, the dispatch of that entry index sets the cancel flag, as a click on Cancel
    // delivered by the message pump would.
    int Run(DWORD cancelAt = 0);

    const ScratchFolder &folder() const { return folder_; }
    // The destination folder as the stub state holds it.
    std::string Destination() const;
    std::string InDestination(const std::string &relative) const;
    std::string WindowsDirectory() const { return folder_ / "WIN\\"; }
    std::string LogPath() const { return folder_ / "WIN\\PKG.CFG"; }
    DWORD ArchivePosition() const;
    // File offset of the first record: the size of the stand-in executable image.
    static DWORD DataOffset();

    std::vector<std::pair<DWORD, std::string>> started; // entryStarted calls
    int dispatched = 0;
    int cancelQueries = 0;
    DWORD cancelAt = 0;

private:
    ScratchFolder folder_;
};

// A value of the install log ("" when missing).
std::string LogValue(const std::string &log, const char *section, const std::string &key);
// The key names of a section, or the section names when section is null, in the
// order the file holds them.
std::vector<std::string> LogNames(const std::string &log, const char *section);
// What the two walks of the install log (of the stub state) visit, in order.
std::vector<std::string> WalkedFiles();
std::vector<std::string> WalkedDirectories();

// The three time stamps of a file: creation, last access, last write.
struct FileTimes {
    uint64_t creation = 0;
    uint64_t lastAccess = 0;
    uint64_t lastWrite = 0;
};
FileTimes TimesOf(const std::string &path);
DWORD AttributesOf(const std::string &path);

} // namespace velmor::test

#endif

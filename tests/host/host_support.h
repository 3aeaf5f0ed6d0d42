// Helpers of the host tests: running velmor-pack and other programs, whole files,
// and reproducible test data.
#ifndef VELMOR_HOST_SUPPORT_H
#define VELMOR_HOST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include "record_writer.h"
#include "stub_marker.h"

namespace velmor::test {

struct CommandRun {
    int status;          // exit status; -1 when the program did not exit normally
    std::string output;  // standard output and error together
};

// Runs a shell command line (not on Windows).
CommandRun Shell(const std::string &command);

// Runs velmor-pack with the arguments (already quoted for sh where needed), after prefix
// (variable settings or a wrapping command) when one is given. On Windows the words
// are parted as sh parts them, and the prefix may only set variables.
CommandRun Pack(const std::string &arguments, const std::string &prefix = "");

// The same in the folder, as the current folder.
CommandRun PackIn(const std::filesystem::path &folder, const std::string &arguments,
                  const std::string &prefix = "");

#ifdef _WIN32
// Runs velmor-pack.exe with the arguments as they are, each one word.
CommandRun PackWords(const std::vector<std::string> &arguments);
#endif

// A package built byte by byte: the stand-in stub, the entries with their data (each
// entry's size taken from it), and a trailer whose default folder is C:\Acme.
std::string BytePackage(const std::vector<EntryHeader> &entries, const std::vector<std::string> &data);

// What create takes for a stub where the shipped one is not needed: a PE program of
// 1024 bytes whose only section holds a version resource that names archiveFormat
// as the stub does (stub_marker.h); any other text makes it a foreign program.
std::string StandInStub(const std::string &archiveFormat = STUB_MARKER_VALUE);

// The text as one shell word (a path in UTF-8).
std::string Quote(const std::string &text);
std::string Quote(const char *text);
std::string Quote(const std::filesystem::path &path);

// Whether the tests run under Wine, whose file facts differ from Windows' own in two
// ways: there is no birth time, and asking for a file's facts reads its head, which
// moves the access time on (under the mount's atime rule).
bool UnderWine();

// A path given to the tests at build time as the running system names it: on Windows
// the full path (Wine's drive letter for a Linux path), elsewhere the path itself.
std::string SystemPath(const std::string &path);

// Writes a whole file, creating its folder where needed.
void Write(const std::filesystem::path &path, const std::string &bytes);
std::string Read(const std::filesystem::path &path);

// A file time: seconds and nanoseconds since 1970-01-01 UTC.
struct FileTime {
    int64_t seconds;
    long nanoseconds;
    bool operator==(const FileTime &other) const
    {
        return seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
};
struct FileTimes {
    FileTime access, write;
};

// A file's access and write times, set and read as the system keeps them (to 100 ns
// on Windows, to the nanosecond on Linux); a failure fails the running test.
void SetFileTimes(const std::filesystem::path &path, const FileTimes &times);
FileTimes GetFileTimes(const std::filesystem::path &path);

// An empty folder for the running test, named after kind, the process and the test;
// whatever an earlier run left there is removed.
std::filesystem::path FreshTestFolder(const std::string &kind);

// Removes a folder and everything below it, read-only files and folders too.
void RemoveTree(const std::filesystem::path &root);

// Every path below a folder, relative, with / between names, sorted.
std::vector<std::string> Listing(const std::filesystem::path &root);

// n bytes that look random, the same for the same seed.
std::string RandomBytes(size_t n, uint32_t seed);

} // namespace velmor::test

#endif

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

// Runs a shell command line.
CommandRun Shell(const std::string &command);

// Runs velmor-pack with the arguments (already quoted where needed), after prefix
// (variable settings or a wrapping command) when one is given.
CommandRun Pack(const std::string &arguments, const std::string &prefix = "");

// The same in the folder, as the current folder.
CommandRun PackIn(const std::filesystem::path &folder, const std::string &arguments,
                  const std::string &prefix = "");

// A package built byte by byte: the stand-in stub, the entries with their data (each
// entry's size taken from it), and a trailer whose default folder is C:\Acme.
std::string BytePackage(const std::vector<EntryHeader> &entries, const std::vector<std::string> &data);

// What create takes for a stub where the shipped one is not needed: a PE program of
// 1024 bytes whose only section holds a version resource that names archiveFormat
// as the stub does (stub_marker.h); any other text makes it a foreign program.
std::string StandInStub(const std::string &archiveFormat = STUB_MARKER_VALUE);

// The text as one shell word.
std::string Quote(const std::string &text);

// Writes a whole file, creating its folder where needed.
void Write(const std::filesystem::path &path, const std::string &bytes);
std::string Read(const std::filesystem::path &path);

// An empty folder for the running test, named after kind, the process and the test;
// whatever an earlier run left there is removed.
std::filesystem::path FreshTestFolder(const std::string &kind);

// Every path below a folder, relative, sorted.
std::vector<std::string> Listing(const std::filesystem::path &root);

// n bytes that look random, the same for the same seed.
std::string RandomBytes(size_t n, uint32_t seed);

} // namespace velmor::test

#endif

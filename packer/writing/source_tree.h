// The files below a source folder, with what a package stores of each.
#ifndef VELMOR_SOURCE_TREE_H
#define VELMOR_SOURCE_TREE_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include "input_file.h"

namespace velmor {

struct SourceFile {
    std::string directory;   // relative to the source folder, '/'-separated; "" for the folder itself
    std::string name;
    std::string path;        // where to read it
    ScannedFile identity;    // the file found there, for reading exactly that one
    uint64_t size = 0;
    uint64_t creationTime = 0;   // FILETIME: birth time where the file system keeps one, else last write
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;
    // The attributes the package stores (file_facts.h): read-only where the owner may
    // not write it; hidden and system where the file system keeps them.
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
};

struct SourceTree {
    std::vector<SourceFile> files;           // in no particular order
    std::vector<std::string> emptyDirectories; // relative paths of folders without any file below
    std::vector<std::string> problems;         // one line each: what cannot be packed, and why
    std::vector<std::string> warnings;         // one line each: packed, but worth a look
};

struct ScanOptions {
    // Links to files outside the source folder are packed too (their targets' bytes);
    // otherwise each is a problem, so that a link cannot carry a file from elsewhere
    // (a key, say) into the package unnoticed.
    bool followOutsideLinks = false;
};

// Whether path lies in folder or below it, both given with every link resolved
// (std::filesystem::canonical), compared level by level.
bool LiesWithin(const std::filesystem::path &folder, const std::filesystem::path &path);

// Walks the folder. Symbolic links to files inside it are followed (each file is
// recorded as the file its link led to when it was read); a link to a
// file outside it (unless the options allow it), a link to a folder, a broken link,
// anything that is neither a file nor a folder, a file or folder that cannot be read
// are problems, and the walk goes on past them, so that every one is reported. A file
// that only its owner may read is packed with a warning: it may be a secret. Throws
// PackError only when root is not a folder.
SourceTree ScanSourceTree(const std::string &root, const ScanOptions &options = {});

} // namespace velmor

#endif

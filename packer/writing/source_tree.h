// The files below a source folder, with what a package stores of each.
#ifndef VELMOR_SOURCE_TREE_H
#define VELMOR_SOURCE_TREE_H

#include <cstdint>
#include <string>
#include <vector>

namespace velmor {

struct SourceFile {
    std::string directory;   // relative to the source folder, '/'-separated; "" for the folder itself
    std::string name;
    std::string path;        // where to read it
    uint64_t size = 0;
    uint64_t creationTime = 0;   // FILETIME: birth time where the file system keeps one, else last write
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;
    bool ownerWritable = true;
};

struct SourceTree {
    std::vector<SourceFile> files;           // in no particular order
    std::vector<std::string> emptyDirectories; // relative paths of folders without any file below
    std::vector<std::string> problems;         // one line each: what cannot be packed, and why
};

// Walks the folder. Symbolic links to files are followed; a link to a folder, a
// broken link, anything that is neither a file nor a folder and a folder that cannot
// be read are problems, and the walk goes on past them. Throws PackError only when
// root is not a folder.
SourceTree ScanSourceTree(const std::string &root);

} // namespace velmor

#endif

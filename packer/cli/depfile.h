// A dependency file in Makefile syntax, as compilers write one beside an object file:
// the output as its target, every file and folder a command read as prerequisites,
// so that a build tool (make, Ninja, CMake's DEPFILE) makes the output again exactly
// when one of them changes. A folder's time changes when an entry is added, removed
// or renamed in it, so listing each folder that was read catches new and deleted
// files without any pattern.
#ifndef VELMOR_DEPFILE_H
#define VELMOR_DEPFILE_H

#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// The character of path that make or Ninja would not read back as itself from a
// dependency file, also after CMake has rewritten the file for either; "" when there
// is none. Read back unchanged are letters, digits, bytes of non-ASCII UTF-8, space
// (written as "\ ") and + , - . / _ ~ ( ) [ ] { } % = @ !, except that a path may not
// begin with ~ (make's home folder) nor end with ) (make's archive member); also a
// backslash that is not before a space, # or the end, and the colon of a drive
// letter where the system has drives (Windows).
std::string DepfileUnreadableCharacter(std::string_view path);

struct DependencyList {
    std::string text;
    // One line for each input whose path build tools could not read back: in its
    // place the list names a file that never exists, so that the output is made again
    // on every build rather than go stale.
    std::vector<std::string> warnings;
};

// The dependency file for target and the inputs in their order, each named once.
// Throws UsageError when target itself cannot be written: then no build tool could
// tie the list to it.
DependencyList MakeDependencyList(const std::string &target, const std::vector<std::string> &inputs);

} // namespace velmor

#endif

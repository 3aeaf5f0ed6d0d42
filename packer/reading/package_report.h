// What list and verify print about a package: names in UTF-8, a table for people,
// JSON for scripts, and one line per problem.
#ifndef VELMOR_PACKAGE_REPORT_H
#define VELMOR_PACKAGE_REPORT_H

#include <cstdint>
#include <string>
#include "package_reader.h"

namespace velmor {

// Text in the package's code page as UTF-8; a byte the code page does not define
// is shown as \xNN.
std::string DisplayText(const std::string &ansi, int codePage);

// "RHSA"-style letters for the attribute bits, "-" for none, with any other bits in hex.
std::string AttributesText(uint32_t attributes);

// A FILETIME as "YYYY-MM-DD HH:MM:SS" in UTC; iso gives "YYYY-MM-DDTHH:MM:SSZ".
std::string FileTimeText(uint64_t fileTime, bool iso = false);

// "entry 3 (SUB\A.TXT): what", or just what for the package as a whole.
std::string ProblemLine(const PackageProblem &problem, int codePage);

// The trailer's fields and a table of the entries.
std::string ListText(const PackageContents &contents, int codePage);

// The same as one JSON object, problems included.
std::string ListJson(const PackageContents &contents, int codePage);

} // namespace velmor

#endif

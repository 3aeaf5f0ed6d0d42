// What list and verify print about a package: names in UTF-8, a table for people,
// JSON for scripts, and one line per problem.
#ifndef VELMOR_PACKAGE_REPORT_H
#define VELMOR_PACKAGE_REPORT_H

#include <cstdint>
#include <string>
#include <nlohmann/json.hpp>
#include "package_reader.h"

namespace velmor {

// A JSON value whose objects keep their members in the order they were added.
using Json = nlohmann::ordered_json;

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
Json ListJson(const PackageContents &contents, int codePage);

// The name scripts know a problem kind by: "structure", "name", "length", ...
const char *ProblemKindName(ProblemKind kind);

// The signature's facts as list and verify report them; null for a package without
// a certificate table.
Json SignatureJson(const PackageContents &contents);

// JSON as velmor-pack prints it, ending in a line break: the members of the outer
// object one per line, the elements of its arrays one per line, everything deeper on
// the line of its member or element. Text that is not UTF-8 (a certificate's name,
// a file name given on the command line) has U+FFFD for each byte that is not, so
// that no input keeps the document from being written.
std::string JsonText(const Json &value);

} // namespace velmor

#endif

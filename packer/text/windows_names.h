// Names as Windows sees them, in a package's ANSI code page: stepping through them by
// character, the stub's own rule for names taken from a package, joining below a
// folder, one spelling for comparisons, the names Windows takes for one file, and the
// packer's stricter check of names that Windows can create as they are.
#ifndef VELMOR_WINDOWS_NAMES_H
#define VELMOR_WINDOWS_NAMES_H

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>
#include "case_folding.h"

namespace velmor {

// Whether c begins a two-byte character in the code page (932, 936, 949, 950).
bool IsDoubleByteLead(unsigned char c, int codePage);

// The stub's rule (name_rule.h) for a name in the code page: a NameCheck result. A
// name ends at its first zero byte.
int CheckNameInCodePage(std::string_view name, bool levelsAllowed, int codePage);

// Whether the stub's rule accepts the name.
bool NameStaysInside(std::string_view name, bool levelsAllowed, int codePage);

// Why the rule refused a name, as the end of a sentence that begins with the name.
std::string NameRefusal(int check, bool levelsAllowed);

// Whether the last character (not byte) of text is a backslash.
bool EndsInBackslash(const std::string &text, int codePage);

// Folder + backslash (unless its last character is one) + relative, the way the stub
// joins them.
std::string JoinBelowFolder(const std::string &folder, const std::string &relative,
                            int codePage = 1252);

// A name in one spelling for comparisons that ignore letter case as Windows does: the
// text (in the code page) as UTF-16, each code unit with its case mapped
// (FoldUtf8Case), returned in UTF-8. Bytes the code page does not define keep their
// value, with ASCII letters folded.
std::string FoldCase(const std::string &text, int codePage);


// The levels of a path, split at backslashes and slashes but never at the second
// byte of a double-byte character; empty levels included.
std::vector<std::string> SplitLevels(const std::string &path, int codePage);

// One level as Windows opens it: without its trailing dots and spaces (so that "."
// and ".." become empty).
std::string WithoutTrailingDotsAndSpaces(std::string level);

// The levels of a relative path as Windows resolves them: each without its trailing
// dots and spaces, and the levels that leaves empty ("", ".", "..") skipped.
std::vector<std::string> ResolvedLevels(const std::string &path, int codePage);

// A relative path in one spelling for comparisons: its resolved levels joined by
// backslashes, letter case folded. Two paths that Windows takes for one file have
// the same spelling.
std::string ComparablePath(const std::string &path, int codePage);

// Whether a name (one level) fits 8.3 as it stands: one to eight characters, then
// optionally a dot and one to three, each a printable ASCII character allowed in
// short names. Windows gives any other name a short alias of its own making.
bool IsShortName(std::string_view name);

// Whether a name has the form of such an alias: a short name whose part before the
// dot is one to six characters, a tilde and digits, such as LONGNA~1.TXT.
bool HasShortAliasForm(std::string_view name);

// Two names of one package that Windows may take for one file.
struct NameClash {
    enum Kind {
        SameFile,     // the paths are the same, compared as ComparablePath compares them
        ShortAlias,   // a name of the alias form beside a name that gets an alias
        FolderIsFile, // a folder of the later path is the earlier path, a file
        FileIsFolder  // the later path, a file, is a folder of the earlier path
    } kind;
    size_t id;         // the later path; ShortAlias: the path holding the alias form
    size_t other;      // the earlier path; ShortAlias: the path holding the long name
    std::string alias; // ShortAlias: the two levels, as given
    std::string longName;
};

// The files of a package as Windows tells them apart; create and verify both judge
// a package by it. In one folder, files and folders alike, a name of the alias form
// beside a name that is not 8.3 clashes with it: with short names enabled, the
// alias Windows makes for the long name may be that very name, and then one entry
// overwrites the other. Each name of the alias form clashes once. A name that is a
// file in one path and a folder in another clashes once for each such folder.
class WindowsNameIndex {
public:
    explicit WindowsNameIndex(int codePage) : codePage_(codePage) {}

    // Adds the relative path of a file (levels separated by backslashes) under id and
    // returns what it clashes with among the paths added before.
    std::vector<NameClash> Add(const std::string &path, size_t id);

    // The id of an added file that Windows takes path for.
    std::optional<size_t> Find(const std::string &path) const;

private:
    struct Named {
        size_t id;
        std::string name;
    };
    struct Folder {
        std::set<std::string> names;        // letter case folded
        std::optional<Named> firstLong;     // the first name that is not 8.3
        std::vector<Named> waitingAliases;  // names of the alias form before it
    };
    std::vector<NameClash> AddName(const std::string &folder, const std::string &name, size_t id);

    int codePage_;
    std::map<std::string, size_t> files_;
    std::map<std::string, size_t> folderOwners_; // each folder: the first path through it
    std::map<std::string, Folder> folders_;
};

// Stricter than the stub, for what the packer writes: one level of a name that
// Windows creates as it is, with no character it does not allow in file names and no
// trailing dot or space (which it would drop). Throws PackError
// "<where>: <reason>" otherwise.
void CheckCreatableName(const std::string &name, const std::string &where);

} // namespace velmor

#endif

// Names as Windows sees them, in a package's ANSI code page: stepping through them by
// character, the stub's own rule for names taken from a package, joining below a
// folder, one spelling for comparisons, and the packer's stricter check of names
// that Windows can create as they are.
#ifndef VELMOR_WINDOWS_NAMES_H
#define VELMOR_WINDOWS_NAMES_H

#include <string>
#include <string_view>
#include <vector>

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
// text (in the code page) as UTF-16, each code unit with its Unicode simple case
// folding (ICU), returned in UTF-8. Bytes the code page does not define keep their
// value, with ASCII letters folded.
std::string FoldCase(const std::string &text, int codePage);

// The same for a name in UTF-8, such as a Linux file name; bytes that are not UTF-8
// keep their value.
std::string FoldUtf8Case(std::string_view text);

// The levels of a path, split at backslashes and slashes but never at the second
// byte of a double-byte character; empty levels included.
std::vector<std::string> SplitLevels(const std::string &path, int codePage);

// A relative path in one spelling for comparisons: backslashes, no empty or "."
// levels, letter case folded.
std::string ComparablePath(const std::string &path, int codePage);

// Stricter than the stub, for what the packer writes: one level of a name that
// Windows creates as it is, with no character it does not allow in file names and no
// trailing dot or space (which it would drop). Throws PackError
// "<where>: <reason>" otherwise.
void CheckCreatableName(const std::string &name, const std::string &where);

} // namespace velmor

#endif

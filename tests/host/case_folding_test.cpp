// Names that differ in letter case, judged as the packer judges them, by both builds:
// where Linux (Unicode simple case folding) and Windows (the file system's upper-case
// table) decide alike, and where they cannot.
#include <gtest/gtest.h>
#include <string>
#include "case_folding.h"
#include "windows_names.h"

using namespace velmor;

namespace {

enum Verdict { Apart, OneFile };

#ifdef _WIN32
constexpr bool kWindowsBuild = true;
#else
constexpr bool kWindowsBuild = false;
#endif

// Whether the packer takes the two names for one file: names in a code page as the
// package's names are (create and verify), or, with codePage 0, host names in UTF-8
// as extraction and which-setup compare them.
Verdict Judge(int codePage, const std::string &a, const std::string &b)
{
    if (codePage == 0)
        return FoldUtf8Case(a) == FoldUtf8Case(b) ? OneFile : Apart;
    WindowsNameIndex index(codePage);
    index.Add(a, 0);
    return index.Add(b, 1).empty() ? Apart : OneFile;
}

TEST(CaseFoldingTest, BothBuildsTellNamesApartAsTheTableSays)
{
    struct Row {
        const char *what;
        int codePage;
        std::string a, b;
        Verdict onLinux, onWindows;
    } rows[] = {
        {"ASCII letters", 1252, "Readme.TXT", "README.txt", OneFile, OneFile},
        {"y with diaeresis, its capital far from it", 1252, "\xFF.txt", "\x9F.txt", OneFile, OneFile},
        {"sharp s is not ss", 1252, "Stra\xDF" "e", "STRASSE", Apart, Apart},
        {"Turkish dotted capital I is not i", 1254, "\xDD.txt", "i.txt", Apart, Apart},
        // Dotless i has I for its upper case, yet neither joins them: Unicode's folding
        // keeps it apart, and so does Windows' table.
        {"Turkish dotless i is not I", 1254, "\xFD.txt", "I.txt", Apart, Apart},
        {"Greek capital and small sigma", 1253, "\xD3.txt", "\xF3.txt", OneFile, OneFile},
        // Folding joins the final sigma with sigma; Windows' table gives it no upper
        // case, so there they are two files. The Linux build refuses the pair.
        {"final sigma beside sigma", 1253, "\xF2.txt", "\xF3.txt", OneFile, Apart},
        {"micro sign beside mu", 1253, "\xB5", "\xEC", OneFile, Apart},
        {"fullwidth capital and small A", 932, "\x82\x60", "\x82\x81", OneFile, OneFile},
        {"fullwidth A is not A", 932, "\x82\x60", "A", Apart, Apart},
        {"bytes the code page does not define, ASCII folded", 932, "A\x82", "a\x82", OneFile, OneFile},
        // The 8.3 rules are the packer's own and the same on both.
        {"a short alias beside the long name it may stand for", 1252, "LONGER~1.TXT", "LongerName.txt", OneFile,
         OneFile},
        {"an alias form beside an 8.3 name", 1252, "AB~1", "ab", Apart, Apart},
        {"trailing dots and spaces", 1252, "notes. .", "NOTES", OneFile, OneFile},
        {"host names: Latin letters", 0, "caf\xC3\xA9", "CAF\xC3\x89", OneFile, OneFile},
        {"host names: capital sharp s beside sharp s", 0, "\xE1\xBA\x9E", "\xC3\x9F", OneFile, Apart},
        {"host names: Kelvin sign beside k", 0, "\xE2\x84\xAA", "k", OneFile, Apart},
        {"host names: long s beside s", 0, "\xC5\xBF", "S", OneFile, Apart},
        {"host names: title-case DZ beside dz", 0, "\xC7\x85", "\xC7\x86", OneFile, Apart},
        {"host names: Cherokee small and capital", 0, "\xEA\xAD\xB0", "\xE1\x8E\xA0", OneFile, OneFile},
        // A character beyond the Basic Multilingual Plane is two surrogates, which
        // neither system maps.
        {"host names: Deseret capital and small", 0, "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", Apart, Apart},
        {"host names: bytes that are not UTF-8 keep their value", 0, "A\xFF", "a\xFF", OneFile, OneFile},
        {"host names: a byte that is not UTF-8 is no letter", 0, "\xC3", "\xE3", Apart, Apart},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Judge(row.codePage, row.a, row.b), kWindowsBuild ? row.onWindows : row.onLinux);
        // Where the two differ, the Linux build must be the one that refuses: a pair it
        // took for two files while Windows takes them for one would overwrite an entry.
        EXPECT_FALSE(row.onLinux == Apart && row.onWindows == OneFile);
    }
}

} // namespace

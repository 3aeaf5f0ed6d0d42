// Names that Windows takes for one file, judged alike by create (the package plan)
// and verify (the package reader).
#include <gtest/gtest.h>
#include <algorithm>
#include "host_support.h"
#include "pack_error.h"
#include "package_plan.h"
#include "package_reader.h"

using namespace velmor;
using namespace velmor::test;

namespace {

struct Named {
    std::string directory; // with backslashes; "" inherits in a package
    std::string name;
};

// What create says about the files; "" when it would write them.
std::string CreateRefusal(const std::vector<Named> &files)
{
    std::vector<SourceFile> sources;
    for (const Named &f : files) {
        SourceFile s;
        s.directory = f.directory;
        std::replace(s.directory.begin(), s.directory.end(), '\\', '/');
        s.name = f.name;
        s.path = "/src/" + f.name;
        sources.push_back(s);
    }
    try {
        PlanPackage(sources, {});
    } catch (const PackError &e) {
        return e.what();
    }
    return "";
}

// The problems verify finds with the files packed in this order.
PackageContents Verified(const std::vector<Named> &files)
{
    std::vector<EntryHeader> entries;
    for (const Named &f : files)
        entries.push_back({f.directory, f.name});
    std::string bytes = BytePackage(entries, std::vector<std::string>(files.size(), "x"));
    MemorySource source(bytes);
    return ReadPackage(source);
}

} // namespace

TEST(WindowsNamesTest, CreateRefusesWhatVerifyReports)
{
    const char *alias = "the short (8.3) name";
    struct Case {
        const char *what;
        std::vector<Named> files;
        const char *refusal; // in create's message; "" when it packs them
        uint32_t entry;      // the entry verify reports; 0 for none
    } cases[] = {
        {"an alias after its long name", {{"", "Long name file.txt"}, {"", "LONGNA~1.TXT"}}, alias, 2},
        {"an alias before it", {{"", "LONGNA~1.TXT"}, {"", "Long name file.txt"}}, alias, 1},
        {"lower case, any number", {{"", "longna~7.txt"}, {"", "a b"}}, alias, 1},
        {"hashed form", {{"", "Long name file.txt"}, {"", "LO1A2B~1.TXT"}}, alias, 2},
        {"beside a long folder", {{"", "PROGRA~1"}, {"Program Files", "setup.exe"}}, alias, 1},
        {"in a folder beside it", {{"", "Long name file.txt"}, {"sub", "LONGNA~1.TXT"}}, "", 0},
        {"beside short names only", {{"", "LONGNA~1.TXT"}, {"", "readme.txt"}, {"", "SETUP.EX"}}, "", 0},
        {"too long for an alias", {{"", "Long name file.txt"}, {"", "LONGNAM~1.TXT"}}, "", 0},
        {"no digits", {{"", "Long name file.txt"}, {"", "LONGNA~X.TXT"}}, "", 0},
        {"extension over three", {{"", "Long name file.txt"}, {"", "LONGNA~1.TEXT"}}, "", 0},
        {"trailing dot", {{"", "a.txt"}, {"", "A.TXT."}}, "Windows drops a trailing dot or space", 2},
        {"trailing space", {{"", "a.txt"}, {"", "a.txt "}}, "Windows drops a trailing dot or space", 2},
        {"folder with a trailing dot", {{"sub", "a.txt"}, {"SUB.", "A.TXT"}}, "Windows drops a trailing dot", 2},
        {"letter case", {{"", "a.txt"}, {"", "A.TXT"}}, "names differ only in letter case", 2},
        {"a file, then a folder of its name", {{"", "DATA"}, {"data\\SUB", "x.txt"}}, "has the name of the file", 2},
        {"a folder, then a file of its name", {{"A\\B", "x.txt"}, {"A", "b"}}, "has the name of the file", 2},
    };
    for (const Case &c : cases) {
        std::string refusal = CreateRefusal(c.files);
        if (*c.refusal)
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.what << ": " << refusal;
        else
            EXPECT_EQ(refusal, "") << c.what;
        PackageContents contents = Verified(c.files);
        // A trailing dot or space is also a name Windows does not create as it is.
        const size_t named = std::string(c.refusal).find("trailing") != std::string::npos;
        EXPECT_EQ(contents.problems.size(), c.entry ? 1u + named : 0u) << c.what;
        for (size_t i = 0; c.entry && i < contents.problems.size(); ++i) {
            EXPECT_EQ(contents.problems[i].kind, i < named ? ProblemKind::Name : ProblemKind::Duplicate) << c.what;
            EXPECT_EQ(contents.problems[i].index, c.entry) << c.what << ": " << contents.problems[i].what;
        }
    }
}

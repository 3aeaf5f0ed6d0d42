// Names in code page 932 whose second byte is that of a backslash (run under
// LC_ALL=ja_JP.UTF-8, where Wine's ANSI code page is 932).
#include <gtest/gtest.h>
#include "extraction_fixture.h"
#include "directory_tree.h"
#include "hostile_packages.h"

using namespace velmor;
using namespace velmor::test;

namespace {

using Paths = std::vector<std::string>;

const char kHyou[] = "\x95\x5C"; // one character: lead byte, then 0x5C
const char kSo[] = "\x83\x5C";

TEST(ExtractDoubleByteTest, NamesEndingInTheBackslashByteStayWhole)
{
    ASSERT_EQ(GetACP(), 932u) << "run under LC_ALL=ja_JP.UTF-8";
    std::string directory = std::string(kHyou) + "\\" + kSo;
    std::string file = std::string(kSo) + ".TXT";
    TrailerFields trailer;
    trailer.mode = 1;
    PackageRun run({{"", file, "top"}, {directory, file, "below"}, {"", kHyou, "same dir"}},
                   trailer);
    ASSERT_EQ(run.Run(), 1);
    std::string dest = run.Destination();
    EXPECT_EQ(ReadWholeFile(dest + "\\" + file), "top");
    EXPECT_EQ(ReadWholeFile(dest + "\\" + directory + "\\" + file), "below");
    EXPECT_EQ(ReadWholeFile(dest + "\\" + directory + "\\" + kHyou), "same dir")
        << "a name ending in the byte 0x5C is not taken to end in a backslash";
    EXPECT_EQ(WalkedDirectories(),
              (Paths{dest + "\\" + directory, dest + "\\" + kHyou, dest}))
        << "each level created once, whole";
}

// The rows the packer's reader checks in code page 932 too.
TEST(ExtractDoubleByteTest, HostileNamesAsThePackerTakesThem)
{
    ASSERT_EQ(GetACP(), 932u) << "run under LC_ALL=ja_JP.UTF-8";
    for (const HostileNameCase &c : DoubleByteHostileNames()) {
        TrailerFields trailer;
        trailer.entryCount = 2;
        PackageRun run(FirstEntry() + SharedRecord(c.directory, c.file, "bad"), trailer);
        EXPECT_EQ(run.Run(), c.refused ? 0 : 1) << c.label;
        std::string directory = c.directory.empty() ? "" : c.directory + "\\";
        if (!c.refused)
            EXPECT_EQ(ReadWholeFile(run.InDestination(directory + c.file)), "bad") << c.label;
        Paths extracted;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((run.Destination() + "\\*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
            extracted.push_back(found.cFileName);
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
        if (c.refused)
            EXPECT_EQ(extracted, (Paths{".", "..", "FIRST.TXT"})) << c.label << ": nothing of entry 2";
    }
}

TEST(ExtractDoubleByteTest, CreateDirectoryTreeSplitsOnlyAtRealBackslashes)
{
    ASSERT_EQ(GetACP(), 932u) << "run under LC_ALL=ja_JP.UTF-8";
    ScratchFolder folder;
    ResetStubState();
    lstrcpyA(g_stub.installLogPath, (folder / "TREE.CFG").c_str());
    std::string path = folder / (std::string("A") + kSo + "\\" + kHyou);
    EXPECT_EQ(CreateDirectoryTree(path.c_str()), 1);
    EXPECT_EQ(WalkedDirectories(), (Paths{path, folder / (std::string("A") + kSo)}));
    EXPECT_EQ(CreateDirectoryTree((path + "\\").c_str()), 1) << "exists already";
    EXPECT_EQ(WalkedDirectories().size(), 2u);
    ResetStubState();
}

} // namespace

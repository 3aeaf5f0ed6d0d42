// Directory creation and the attribute queries on real folders.
#include <gtest/gtest.h>
#include "extraction_fixture.h"
#include "directory_tree.h"

using namespace velmor;
using namespace velmor::test;

namespace {

using Paths = std::vector<std::string>;

// A scratch folder whose install log is the stub state's.
class TreeFolder {
public:
    TreeFolder()
    {
        ResetStubState();
        lstrcpyA(g_stub.installLogPath, log().c_str());
    }
    ~TreeFolder() { ResetStubState(); }
    std::string operator/(const std::string &name) const { return folder_ / name; }
    std::string log() const { return folder_ / "TREE.CFG"; }
    Paths Logged() const { return WalkedDirectories(); }

private:
    ScratchFolder folder_;
};

TEST(DirectoryTreeTest, AttributeQueries)
{
    TreeFolder folder;
    CreateDirectoryA((folder / "DIR").c_str(), nullptr);
    WriteWholeFile(folder / "FILE", "x");
    struct Case {
        std::string path;
        int queried;      // GetPathAttributes
        bool stored;      // something was stored
        int isDirectory;
    } cases[] = {
        {folder / "MISSING", 0, true, 0},
        {folder / "MISSING\\DEEPER", 0, true, 0},
        {folder / "FILE", 1, true, 0},
        {folder / "DIR", 1, true, 1},
        {folder / "DIR\\", 1, true, 1},
        {"C:", 1, true, 1},
        {"C:\\", 1, true, 1},
        {"", 0, false, 0},
    };
    for (const Case &c : cases) {
        DWORD attributes = 0x12345678;
        EXPECT_EQ(GetPathAttributes(c.path.c_str(), &attributes), c.queried) << c.path;
        if (!c.stored)
            EXPECT_EQ(attributes, 0x12345678u) << c.path << ": nothing queried";
        else if (!c.queried)
            EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES) << c.path;
        EXPECT_EQ(IsDirectory(c.path.c_str()), c.isDirectory) << c.path;
    }
    DWORD attributes = 0;
    EXPECT_EQ(GetPathAttributes(nullptr, &attributes), 0);
    EXPECT_EQ(GetPathAttributes((folder / "DIR").c_str(), nullptr), 0);
    EXPECT_EQ(IsDirectory(nullptr), 0);
}

TEST(DirectoryTreeTest, ExistingDirectoriesAreNeitherCreatedNorRecorded)
{
    TreeFolder folder;
    CreateDirectoryA((folder / "HERE").c_str(), nullptr);
    const std::string paths[] = {"", folder / "HERE", folder / "HERE\\", "C:\\", "C:"};
    for (const std::string &path : paths)
        EXPECT_EQ(CreateDirectoryTree(path.c_str()), 1) << path;
    EXPECT_EQ(CreateDirectoryTree(nullptr), 1);
    EXPECT_FALSE(FileExists(folder.log())) << "nothing was written to the log";
}

TEST(DirectoryTreeTest, CreatesMissingLevelsOutermostFirst)
{
    struct Case {
        const char *existing;  // created beforehand, "" for none
        const char *argument;
        Paths created;         // recorded, in this order
    } cases[] = {
        {"A", "A\\B\\C", {"A\\B", "A\\B\\C"}},
        {"", "X\\Y\\", {"X", "X\\Y"}},
        {"", "ONE", {"ONE"}},
        {"P", "P\\Q\\R\\S", {"P\\Q", "P\\Q\\R", "P\\Q\\R\\S"}},
    };
    for (const Case &c : cases) {
        TreeFolder folder;
        if (*c.existing)
            CreateDirectoryA((folder / c.existing).c_str(), nullptr);
        EXPECT_EQ(CreateDirectoryTree((folder / c.argument).c_str()), 1) << c.argument;
        Paths expected;
        for (const std::string &relative : c.created) {
            expected.insert(expected.begin(), folder / relative); // the walk goes backwards
            EXPECT_TRUE(IsDirectory((folder / relative).c_str())) << relative;
        }
        EXPECT_EQ(folder.Logged(), expected) << c.argument;
        EXPECT_EQ(LogValue(folder.log(), "Directory List", "Count"),
                  std::to_string(c.created.size()));
    }
}

TEST(DirectoryTreeTest, AFileInThePathFailsWithoutRecording)
{
    TreeFolder folder;
    WriteWholeFile(folder / "F", "plain file");
    EXPECT_EQ(CreateDirectoryTree((folder / "F\\X").c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree((folder / "F").c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree((folder / "F\\").c_str()), 0);
    EXPECT_FALSE(FileExists(folder.log()));
}

TEST(DirectoryTreeTest, AFailureInsideKeepsTheOuterLevelsRecorded)
{
    TreeFolder folder;
    // Wine, like Windows, refuses wildcard characters in a name.
    EXPECT_EQ(CreateDirectoryTree((folder / "OUTER\\INNER\\BAD*NAME").c_str()), 0);
    EXPECT_TRUE(IsDirectory((folder / "OUTER\\INNER").c_str()));
    EXPECT_EQ(folder.Logged(), (Paths{folder / "OUTER\\INNER", folder / "OUTER"}));
}

TEST(DirectoryTreeTest, AMissingDriveFails)
{
    TreeFolder folder;
    ASSERT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(CreateDirectoryTree("Q:\\VELMOR\\SUB"), 0);
    EXPECT_FALSE(FileExists(folder.log()));
}

TEST(DirectoryTreeTest, PathsOver255CharactersAreRefusedBeforeAnything)
{
    TreeFolder folder;
    std::string base = folder / "LONG";
    std::string path = base + "\\" + std::string(255 - base.size(), 'D');
    ASSERT_EQ(path.size(), 256u);
    EXPECT_EQ(CreateDirectoryTree(path.c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree((path + "\\").c_str()), 0);
    EXPECT_FALSE(FileExists(base)) << "not even the outer level is created";
    EXPECT_FALSE(FileExists(folder.log()));

    // 255 characters with the trailing backslash still fit.
    std::string fits = base + "\\" + std::string(253 - base.size(), 'D') + "\\";
    ASSERT_EQ(fits.size(), 255u);
    EXPECT_EQ(CreateDirectoryTree(fits.c_str()), 1);
    EXPECT_EQ(folder.Logged(), (Paths{fits.substr(0, 254), base}));
}

} // namespace

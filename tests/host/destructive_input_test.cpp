// What velmor-pack will not do even when asked: replace a device, FIFO or folder with
// its output, write over one of its own inputs, pack a file a link brings in from
// outside the tree, or take numbers beyond what the package can hold.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <filesystem>
#include "host_support.h"

namespace fs = std::filesystem;
using namespace velmor::test;

namespace {

class DestructiveInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = FreshTestFolder("destructive");
        Write(root / "src" / "setup.exe", "MZ setup");
        Write(root / "src" / "sub" / "data.bin", RandomBytes(3000, 5));
        Write(root / "stub.exe", StandInStub());
        Write(root / "about.txt", "About this package");
    }
    void TearDown() override { RemoveTree(root); }
    CommandRun Run(const std::string &arguments, const std::string &prefix = "")
    {
        return PackIn(root, arguments, prefix);
    }
    fs::path root;
};

TEST_F(DestructiveInputTest, AnOutputThatIsNotARegularFileIsRefusedAndStays)
{
#ifdef _WIN32 // devices: WindowsFilesTest
    const std::vector<const char *> targets = {"folder"};
#else
    const std::vector<const char *> targets = {"fifo", "folder"};
    ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0600), 0);
#endif
    fs::create_directories(root / "folder");
    for (const char *command : {"create --stub stub.exe src -o ", "szdd compress src/setup.exe ",
                                "szdd expand src/setup.exe "}) {
        for (const char *target : targets) {
            CommandRun run = Run(command + std::string(target));
            EXPECT_EQ(run.status, 1) << command << target << ": " << run.output;
            EXPECT_NE(run.output.find(std::string(target) + ": expected a regular file to write or replace"),
                      std::string::npos)
                << run.output;
        }
#ifndef _WIN32
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(root / "fifo"))) << command;
#endif
        EXPECT_TRUE(fs::is_directory(root / "folder")) << command;
    }
}

TEST_F(DestructiveInputTest, AnOutputThatIsAnInputIsRefusedAndTheInputStays)
{
    Write(root / "recipe.toml", "source = \"src\"\nstub = \"stub.exe\"\noutput = \"recipe.toml\"\n");
    fs::create_hard_link(root / "stub.exe", root / "stub-link.exe");
    struct Case {
        const char *arguments;
        const char *input;
        const char *role;
    } cases[] = {
        {"create --config recipe.toml", "recipe.toml", "is the recipe"},
        {"create --stub stub.exe --description-file about.txt src -o about.txt", "about.txt",
         "is the description file"},
        {"create --stub stub.exe src -o stub.exe", "stub.exe", "is the stub"},
        {"create --stub stub.exe src -o stub-link.exe", "stub.exe", "is the stub"},
        {"szdd compress about.txt about.txt", "about.txt", "is the input file"},
        {"szdd compress about.txt src/setup.exe src", "src/setup.exe", "is the input file"},
    };
    for (const Case &c : cases) {
        std::string before = Read(root / c.input);
        CommandRun run = Run(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments << ": " << run.output;
        EXPECT_NE(run.output.find(c.role), std::string::npos) << c.arguments << ": " << run.output;
        EXPECT_EQ(Read(root / c.input), before) << c.arguments;
    }
}

#ifndef _WIN32 // links on Windows: WindowsFilesTest; there, who may read a file is a matter of access rules
TEST_F(DestructiveInputTest, LinksOutOfTheTreeAndPrivateFiles)
{
    Write(root / "secret.key", "private");
    fs::create_symlink(root / "secret.key", root / "src" / "key.pem");
    fs::create_symlink("setup.exe", root / "src" / "inside.exe");
    // A folder whose name begins with the source folder's name is not inside it.
    Write(root / "src-other" / "secret", "private");
    fs::create_symlink(root / "src-other" / "secret", root / "src" / "sibling.pem");
    CommandRun refused = Run("create --stub stub.exe src -o out.exe");
    EXPECT_EQ(refused.status, 1) << refused.output;
    for (const char *link : {"key.pem", "sibling.pem"})
        EXPECT_NE(refused.output.find("src/" + std::string(link) + ": a symbolic link to " +
                                      fs::canonical(root / "src" / link).string() + ", outside the source folder"),
                  std::string::npos)
            << refused.output;
    EXPECT_EQ(refused.output.find("inside.exe"), std::string::npos) << "a link inside the tree is packed";
    EXPECT_FALSE(fs::exists(root / "out.exe"));
    fs::create_directories(root / "src-out");
    CommandRun followed = Run("create --stub stub.exe --follow-links src -o src-out/pkg.exe");
    EXPECT_EQ(followed.status, 0) << followed.output;
    fs::remove(root / "src" / "sibling.pem");

    fs::remove(root / "src" / "key.pem");
    Write(root / "src" / "own.pem", "mine");
    fs::permissions(root / "src" / "own.pem", fs::perms::owner_read | fs::perms::owner_write);
    CommandRun warned = Run("create --stub stub.exe src -o out.exe");
    EXPECT_EQ(warned.status, 0) << warned.output;
    EXPECT_NE(warned.output.find("warning: src/own.pem: only its owner may read it"), std::string::npos)
        << warned.output;
    EXPECT_EQ(Run("create --stub stub.exe --warnings-as-errors src -o out2.exe").status, 1);
}

// Run by root, the files are read as nobody, who cannot read them either.
TEST_F(DestructiveInputTest, EveryUnreadableFileIsNamedBeforeAnythingIsWritten)
{
    for (const char *name : {"a.txt", "sub/b.txt"}) {
        Write(root / "src" / name, "closed");
        fs::permissions(root / "src" / name, fs::perms::none);
    }
    fs::permissions(root, fs::perms::all);
    std::string prefix = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    CommandRun run = Run("create --stub stub.exe src -o " + Quote(root / "out.exe"), prefix);
    EXPECT_EQ(run.status, 1) << run.output;
    for (const char *name : {"src/a.txt: cannot read the file", "src/sub/b.txt: cannot read the file"})
        EXPECT_NE(run.output.find(name), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(root / "out.exe"));
}
#endif

TEST_F(DestructiveInputTest, NumbersBeyondWhatAPackageHoldsAreUsageErrors)
{
    struct Case {
        const char *prefix;
        const char *options;
        int status;
        const char *message;
    } cases[] = {
        {"SOURCE_DATE_EPOCH=1833029933771", "", 2, "SOURCE_DATE_EPOCH: 1833029933771 lies past the last time"},
        {"SOURCE_DATE_EPOCH=910692730085", "", 0, "2 entries"},
        {"SOURCE_DATE_EPOCH=9999999999999999999", "", 2, "SOURCE_DATE_EPOCH: 9999999999999999999 lies past the last"},
        {"", "--codepage 99999999999", 2, "--codepage: code page 99999999999 is not supported"},
    };
    for (const Case &c : cases) {
        CommandRun run = Run(std::string("create --stub stub.exe ") + c.options + " src -o out.exe", c.prefix);
        EXPECT_EQ(run.status, c.status) << c.prefix << c.options << ": " << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
}

} // namespace

// The install log on real files: what the extraction writes, in which order, and
// what the two walks of the clean-up read back.
#include <gtest/gtest.h>
#include "extraction_fixture.h"
#include "install_log.h"

using namespace velmor;
using namespace velmor::test;

namespace {

using Paths = std::vector<std::string>;

// An install log of its own, optionally with stale contents, as the stub state's log.
class LogFile {
public:
    explicit LogFile(const std::string &contents = "")
    {
        ResetStubState();
        lstrcpyA(g_stub.installLogPath, path().c_str());
        if (!contents.empty())
            WriteWholeFile(path(), contents);
    }
    ~LogFile() { ResetStubState(); }
    std::string path() const { return folder_ / "PKG.CFG"; }

private:
    ScratchFolder folder_;
};

TrailerFields SetupMode()
{
    TrailerFields trailer;
    trailer.mode = 1;
    return trailer;
}

TEST(InstallLogTest, ASetupRunWritesTheWorkedExampleInOrder)
{
    PackageRun run({{"", "A.TXT", "a"}, {"DATA\\SUB", "B.DAT", "b"}, {"", "C.DAT", "c"}},
                   SetupMode());
    std::string dest = run.Destination(); // missing, like C:\QXTemp in a fresh system
    ASSERT_EQ(run.Run(), 1);

    std::string log = run.LogPath();
    EXPECT_EQ(LogNames(log, nullptr), (Paths{"Directory List", "Extract Files List"}))
        << "the destination folder is created before the first file is recorded";
    EXPECT_EQ(LogNames(log, "Directory List"), (Paths{"Path 1", "Count", "Path 2", "Path 3"}))
        << "the first path key is written before the count";
    EXPECT_EQ(LogValue(log, "Directory List", "Path 1"), dest);
    EXPECT_EQ(LogValue(log, "Directory List", "Path 2"), dest + "\\DATA");
    EXPECT_EQ(LogValue(log, "Directory List", "Path 3"), dest + "\\DATA\\SUB");
    EXPECT_EQ(LogValue(log, "Directory List", "Count"), "3");
    EXPECT_EQ(LogNames(log, "Extract Files List"), (Paths{"File 1", "File 2", "File 3"}));
    EXPECT_EQ(LogValue(log, "Extract Files List", "File 1"), dest + "\\A.TXT");
    EXPECT_EQ(LogValue(log, "Extract Files List", "File 2"), dest + "\\DATA\\SUB\\B.DAT");
    EXPECT_EQ(LogValue(log, "Extract Files List", "File 3"), dest + "\\DATA\\SUB\\C.DAT");

    EXPECT_EQ(WalkedFiles(), (Paths{dest + "\\A.TXT", dest + "\\DATA\\SUB\\B.DAT",
                                    dest + "\\DATA\\SUB\\C.DAT"}));
    EXPECT_EQ(WalkedDirectories(), (Paths{dest + "\\DATA\\SUB", dest + "\\DATA", dest}));
}

// A log left by an earlier process, perhaps of another package of the same name: its
// keys stay as they are, numbering continues after them, and only what this run
// wrote is walked, so that the clean-up never removes what another run extracted.
TEST(InstallLogTest, AStaleLogIsContinuedAndOnlyThisRunsKeysAreWalked)
{
    std::string stale = "[Directory List]\r\n";
    for (int k = 1; k <= 5; ++k)
        stale += "Path " + std::to_string(k) + "=C:\\OLD" + std::to_string(k) + "\r\n";
    stale += "Count=5\r\n[Extract Files List]\r\n";
    for (int k = 1; k <= 9; ++k)
        stale += "File " + std::to_string(k) + "=C:\\OLD\\F" + std::to_string(k) + "\r\n";

    PackageRun run({{"", "A", "1"}, {"SUB", "B", "2"}, {"", "C", "3"}}, SetupMode());
    WriteWholeFile(run.LogPath(), stale);
    ASSERT_EQ(run.Run(), 1);

    std::string dest = run.Destination();
    EXPECT_EQ(WalkedFiles(), (Paths{dest + "\\A", dest + "\\SUB\\B", dest + "\\SUB\\C"}));
    EXPECT_EQ(LogValue(run.LogPath(), "Extract Files List", "File 4"), "C:\\OLD\\F4");
    EXPECT_EQ(WalkedDirectories(), (Paths{dest + "\\SUB", dest}));
    EXPECT_EQ(LogValue(run.LogPath(), "Directory List", "Path 6"), dest);
    EXPECT_EQ(LogValue(run.LogPath(), "Directory List", "Count"), "7");
}

// The walks read the keys this process wrote (here: File 1 to 4, Path 1 to 3) and end
// at a gap among them.
TEST(InstallLogTest, AGapEndsAWalk)
{
    struct Case {
        const char *name;
        const char *contents;
        Paths files;
        Paths directories;
    } cases[] = {
        {"no log at all", "", {}, {}},
        {"missing File 3", "[Extract Files List]\r\nFile 1=A\r\nFile 2=B\r\nFile 4=D\r\n",
         {"A", "B"}, {}},
        {"empty File 1", "[Extract Files List]\r\nFile 1=\r\nFile 2=B\r\n", {}, {}},
        {"numbering starts at 1", "[Extract Files List]\r\nFile 2=B\r\n", {}, {}},
        {"keys past those written",
         "[Extract Files List]\r\nFile 1=A\r\nFile 2=B\r\nFile 3=C\r\nFile 4=D\r\nFile 5=E\r\n"
         "[Directory List]\r\nPath 1=A\r\nPath 2=B\r\nPath 3=C\r\nPath 4=D\r\nCount=4\r\n",
         {"A", "B", "C", "D"}, {"C", "B", "A"}},
        {"missing Path 2", "[Directory List]\r\nPath 1=A\r\nPath 3=C\r\nCount=3\r\n", {}, {"C"}},
        {"empty Path 1", "[Directory List]\r\nPath 1=\r\nPath 2=B\r\nPath 3=C\r\nCount=3\r\n", {},
         {"C", "B"}},
        {"values over 255 characters passed over", nullptr, {"A", "C"}, {"C", "A"}},
    };
    std::string overLong = "[Extract Files List]\r\nFile 1=A\r\nFile 2=C:\\" + std::string(297, 'L') +
                           "\r\nFile 3=C:\\" + std::string(600, 'M') + "\r\nFile 4=C\r\n" +
                           "[Directory List]\r\nPath 1=A\r\nPath 2=C:\\" + std::string(253, 'N') +
                           "\r\nPath 3=C\r\nCount=3\r\n";
    for (const Case &c : cases) {
        LogFile log(c.contents ? c.contents : overLong.c_str());
        g_stub.loggedFiles = 4;
        g_stub.firstLoggedDirectory = 1;
        g_stub.lastLoggedDirectory = 3;
        EXPECT_EQ(WalkedFiles(), c.files) << c.name;
        EXPECT_EQ(WalkedDirectories(), c.directories) << c.name;
    }
}

// The exit step removes what this process wrote and nothing else of the file.
TEST(InstallLogTest, RemoveInstallLogTakesOnlyItsOwnSections)
{
    const std::string stale = "[Extract Files List]\r\nFile 7=C:\\OLD\r\n";
    const std::string foreign = "[Settings]\r\nkey=value\r\n";
    struct Case {
        const char *name;
        std::string before;
        bool writes;       // this process records a directory
        std::string after; // "": no file is left
    } cases[] = {
        {"a log of its own", "", true, ""},
        {"a stale log it wrote to", stale, true, ""},
        {"a stale log it never wrote to", stale, false, stale},
        {"another program's file it never wrote to", foreign, false, foreign},
        {"another program's file it wrote to", foreign, true, foreign},
    };
    for (const Case &c : cases) {
        LogFile log(c.before);
        if (c.writes)
            LogCreatedDirectory("C:\\NEW");
        RemoveInstallLog();
        if (c.after.empty())
            EXPECT_FALSE(FileExists(log.path())) << c.name;
        else
            EXPECT_EQ(ReadWholeFile(log.path()), c.after) << c.name;
    }
}

TEST(InstallLogTest, NumberingFollowsTheStoredCount)
{
    struct Case {
        const char *name;
        const char *contents;
        const char *newKey;
        const char *newCount;
    } cases[] = {
        {"new log", "", "Path 1", "1"},
        {"Count not a number", "[Directory List]\r\nPath 1=OLD\r\nCount=x\r\n", "Path 1", "1"},
        {"stopped between the two writes",
         "[Directory List]\r\nPath 1=A\r\nPath 2=B\r\nCount=1\r\n", "Path 2", "2"},
        {"stale log", "[Directory List]\r\nPath 1=A\r\nCount=1\r\n", "Path 2", "2"},
    };
    for (const Case &c : cases) {
        LogFile log(c.contents);
        LogCreatedDirectory("C:\\NEW");
        EXPECT_EQ(LogValue(log.path(), "Directory List", c.newKey), "C:\\NEW") << c.name;
        EXPECT_EQ(LogValue(log.path(), "Directory List", "Count"), c.newCount) << c.name;
    }
}

TEST(InstallLogTest, FileKeysAreEntryIndexesAndALaterWriteReplaces)
{
    LogFile log;
    LogExtractedFile(2, "C:\\FIRST");
    LogExtractedFile(1, "C:\\ONE");
    LogExtractedFile(2, "C:\\SECOND");
    EXPECT_EQ(LogNames(log.path(), "Extract Files List"), (Paths{"File 2", "File 1"}));
    EXPECT_EQ(WalkedFiles(), (Paths{"C:\\ONE", "C:\\SECOND"}));
}

TEST(InstallLogTest, ValuesUpTo255CharactersAreKeptWholeLongerOnesAreNotWritten)
{
    LogFile log;
    std::string longest = "C:\\" + std::string(252, 'L');
    std::string tooLong = longest + "X";
    ASSERT_EQ(longest.size(), 255u);
    LogExtractedFile(1, longest.c_str());
    LogExtractedFile(2, tooLong.c_str());
    LogCreatedDirectory(longest.c_str());
    LogCreatedDirectory(tooLong.c_str());
    EXPECT_EQ(WalkedFiles(), Paths{longest});
    EXPECT_EQ(WalkedDirectories(), Paths{longest});
    EXPECT_EQ(LogValue(log.path(), "Directory List", "Count"), "1");
    EXPECT_EQ(LogNames(log.path(), "Extract Files List"), Paths{"File 1"});
}

} // namespace

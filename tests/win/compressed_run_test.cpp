// SZDD expansion through VerInstallFileA and the compressed branch of the extraction
// run, with files made by mscompress and by the packer's own encoder.
#include <gtest/gtest.h>
#include "extraction_fixture.h"
#include "szdd_encoder.h"
#include "extract_run.h"

using namespace velmor;
using namespace velmor::test;

namespace {

using Paths = std::vector<std::string>;

TrailerFields Compressed(uint8_t mode = 0)
{
    TrailerFields trailer;
    trailer.mode = mode;
    trailer.compressed = true;
    return trailer;
}

// Reproducible bytes of a chosen variety: alphabet 256 is noise, small alphabets
// give long matches.
std::string PseudoRandom(size_t size, unsigned alphabet, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char &c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>((seed >> 16) % alphabet);
    }
    return bytes;
}

struct Sample {
    const char *name;
    std::string bytes;
};

std::vector<Sample> EncoderSamples()
{
    std::string lines;
    for (int i = 0; i < 6000; ++i)
        lines += "line " + std::to_string(i % 700) + "\r\n";
    std::string farRepeat = PseudoRandom(4000, 256, 7);
    farRepeat += PseudoRandom(90, 256, 8) + farRepeat.substr(0, 500); // 4090 back
    return {
        {"empty", ""},
        {"one byte", "x"},
        {"one space", " "},
        {"run of 19", std::string(19, 'a')},
        {"run of 5000", std::string(5000, 'b')},
        {"spaces from the ring", std::string(18, ' ') + "x" + std::string(40, ' ') + "end"},
        {"spaces beyond the ring's 4096", std::string(9000, ' ')},
        {"text many rings long", lines},
        {"matches almost a ring back", farRepeat},
        {"noise", PseudoRandom(70000, 256, 1)},
        {"small alphabet, 300 KB", PseudoRandom(300000, 4, 2)},
    };
}

class SzddFolders {
public:
    SzddFolders()
    {
        CreateDirectoryA(source().c_str(), nullptr);
        CreateDirectoryA(destination().c_str(), nullptr);
    }
    std::string source() const { return folder_ / "SRC"; }
    std::string destination() const { return folder_ / "DST"; }

private:
    ScratchFolder folder_;
};

TEST(SzddExpandTest, OurEncoderExpandsByteExactly)
{
    SzddFolders folders;
    for (const Sample &s : EncoderSamples()) {
        for (SzddLevel level : {SzddLevel::Default, SzddLevel::Best}) {
            std::string label = std::string(s.name) + (level == SzddLevel::Best ? " (best)" : "");
            WriteWholeFile(folders.source() + "\\IN.SZ_", SzddCompress(s.bytes, level));
            ASSERT_EQ(ExpandCompressedFile(folders.source().c_str(), "IN.SZ_",
                                           folders.destination().c_str(), "OUT.BIN"),
                      1)
                << label;
            EXPECT_TRUE(ReadWholeFile(folders.destination() + "\\OUT.BIN") == s.bytes) << label;
            EXPECT_TRUE(FileExists(folders.source() + "\\IN.SZ_")) << label << ": source stays";
        }
    }
}

TEST(SzddExpandTest, DirectoriesMayEndInABackslashAndTheTargetIsReplaced)
{
    SzddFolders folders;
    std::string data = "replacement";
    WriteWholeFile(folders.source() + "\\IN.SZ_", SzddCompress(data));
    const std::string suffixes[] = {"", "\\"};
    for (const std::string &suffix : suffixes) {
        WriteWholeFile(folders.destination() + "\\OUT.BIN", std::string(10000, 'o'));
        EXPECT_EQ(ExpandCompressedFile((folders.source() + suffix).c_str(), "IN.SZ_",
                                       (folders.destination() + suffix).c_str(), "OUT.BIN"),
                  1);
        EXPECT_EQ(ReadWholeFile(folders.destination() + "\\OUT.BIN"), data);
    }
}

TEST(SzddExpandTest, WorksInTheWindowsDirectory)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string dir = std::string(windows) + "\\";
    std::string id = std::to_string(GetCurrentProcessId());
    std::string source = "VT" + id + ".CMP";
    std::string target = "VT" + id + ".EXP";
    std::string data = PseudoRandom(20000, 16, 3);
    WriteWholeFile(dir + source, SzddCompress(data));
    EXPECT_EQ(ExpandCompressedFile(dir.c_str(), source.c_str(), dir.c_str(), target.c_str()), 1);
    EXPECT_TRUE(ReadWholeFile(dir + target) == data);
    DeleteFileA((dir + source).c_str());
    DeleteFileA((dir + target).c_str());
}

TEST(SzddExpandTest, AMissingSourceFails)
{
    SzddFolders folders;
    EXPECT_EQ(ExpandCompressedFile(folders.source().c_str(), "NONE.SZ_",
                                   folders.destination().c_str(), "OUT.BIN"),
              0);
}

// The temporary files of the run, in the stand-in Windows directory.
bool TemporaryFilesLeft(const PackageRun &run)
{
    return FileExists(run.WindowsDirectory() + "QXTEMP.CMP") ||
           FileExists(run.WindowsDirectory() + "QXTEMP.EXP");
}

TEST(CompressedExtractTest, ExpandsFilesMadeByMscompress)
{
    std::string peer = WindowsPathFromUnix(RequiredEnvironment("VELMOR_TEST_OUTPUT")) +
                       "\\szdd-peer\\";
    const char *names[] = {"sixteen.bin", "run.bin", "spaces.txt", "text.txt", "random.bin"};
    std::vector<TestEntry> entries;
    for (const char *name : names)
        entries.push_back({"PEER", name, ReadWholeFile(peer + name + "_")});
    PackageRun run(entries, Compressed());
    ASSERT_EQ(run.Run(), 1);
    for (const char *name : names)
        EXPECT_TRUE(ReadWholeFile(run.InDestination(std::string("PEER\\") + name)) ==
                    ReadWholeFile(peer + name))
            << name;
    EXPECT_FALSE(TemporaryFilesLeft(run));
}

TEST(CompressedExtractTest, ExtractsOurEncodingWithTimesAndAttributes)
{
    std::vector<TestEntry> entries;
    std::vector<Sample> samples = EncoderSamples();
    for (size_t i = 0; i < samples.size(); ++i) {
        TestEntry e{i < 3 ? "" : "SUB\\DEEP", "F" + std::to_string(i) + ".BIN",
                    SzddCompress(samples[i].bytes)};
        e.attributes = i % 2 ? 0x21 : 0x20;
        e.lastWriteTime += i;
        entries.push_back(e);
    }
    PackageRun run(entries, Compressed(1));
    ASSERT_EQ(run.Run(), 1);
    for (size_t i = 0; i < samples.size(); ++i) {
        std::string path = run.InDestination((i < 3 ? "" : "SUB\\DEEP\\") + entries[i].fileName);
        EXPECT_EQ(TimesOf(path).lastWrite, entries[i].lastWriteTime) << samples[i].name;
        EXPECT_TRUE(ReadWholeFile(path) == samples[i].bytes) << samples[i].name;
        EXPECT_EQ(AttributesOf(path), entries[i].attributes) << samples[i].name;
    }
    EXPECT_EQ(WalkedFiles().size(), samples.size());
    EXPECT_FALSE(TemporaryFilesLeft(run));
}

// SZDD data that does not expand to the length its header promises: the stream cut
// inside (the record's size still matching it) or longer than promised, or data that
// is no SZDD file. The
// entry fails, and neither its target nor the temporary files stay.
TEST(CompressedExtractTest, DataThatDoesNotExpandAsPromisedFailsTheEntry)
{
    std::string whole = SzddCompress(PseudoRandom(16384, 4, 7));
    // An intact stream of one byte more than its header promises (the length sits at
    // bytes 10 to 13).
    std::string longer = SzddCompress(PseudoRandom(16385, 4, 7));
    longer[10] = static_cast<char>(16384 & 0xFF);
    longer[11] = static_cast<char>(16384 >> 8);
    struct Case {
        const char *name;
        std::string data;
    } cases[] = {
        {"stream cut short", whole.substr(0, whole.size() / 2)},
        {"one byte more than promised", longer},
        {"no SZDD file", std::string(100, 'x')},
    };
    for (const Case &c : cases) {
        PackageRun run({{"", "FIRST.TXT", SzddCompress("first")}, {"", "CUT.BIN", c.data}}, Compressed());
        EXPECT_EQ(run.Run(), 0) << c.name;
        EXPECT_EQ(ReadWholeFile(run.InDestination("FIRST.TXT")), "first") << c.name;
        EXPECT_FALSE(FileExists(run.InDestination("CUT.BIN"))) << c.name;
        EXPECT_FALSE(TemporaryFilesLeft(run)) << c.name;
    }
}

TEST(CompressedExtractTest, AStalePairOfTemporaryFilesIsReplaced)
{
    PackageRun run({{"", "A.TXT", SzddCompress("fresh")}}, Compressed());
    WriteWholeFile(run.WindowsDirectory() + "QXTEMP.CMP", SzddCompress(std::string(9000, 's')));
    WriteWholeFile(run.WindowsDirectory() + "QXTEMP.EXP", std::string(9000, 'e'));
    ASSERT_EQ(run.Run(), 1);
    EXPECT_EQ(ReadWholeFile(run.InDestination("A.TXT")), "fresh");
    EXPECT_FALSE(TemporaryFilesLeft(run));
}

// A target that cannot be replaced: another program holds it open without sharing.
// (A read-only bit would do on Windows; under Wine it does not stop a root user.)
TEST(CompressedExtractTest, ATargetThatCannotBeReplacedFailsTheRunWithoutTemporaryFiles)
{
    PackageRun run({{"", "1.TXT", SzddCompress("one")}, {"", "LOCKED.TXT", SzddCompress("new")},
                    {"", "3.TXT", SzddCompress("three")}},
                   Compressed());
    CreateDirectoryA(run.Destination().c_str(), nullptr);
    std::string locked = run.InDestination("LOCKED.TXT");
    WriteWholeFile(locked, "old");
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run.Run(), 0);
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(run.InDestination("1.TXT")), "one");
    EXPECT_EQ(ReadWholeFile(locked), "old");
    EXPECT_FALSE(FileExists(run.InDestination("3.TXT")));
    EXPECT_FALSE(TemporaryFilesLeft(run));
}

TEST(CompressedExtractTest, AFailedExpansionFailsTheRunAndDeletesTheCompressedFile)
{
    PackageRun run({{"", "1.TXT", SzddCompress("one")}, {"", "2.TXT", SzddCompress("two")}},
                   Compressed());
    // A directory in place of the expanded file: nothing can be written there.
    std::string blocker = run.WindowsDirectory() + "QXTEMP.EXP";
    CreateDirectoryA(blocker.c_str(), nullptr);
    EXPECT_EQ(run.Run(), 0);
    EXPECT_FALSE(FileExists(run.InDestination("1.TXT")));
    EXPECT_FALSE(FileExists(run.WindowsDirectory() + "QXTEMP.CMP"));
    EXPECT_EQ(run.started.size(), 1u);
}

} // namespace

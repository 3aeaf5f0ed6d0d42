// Damaged packages through the extraction run: records cut at every byte, name
// lengths the fields cannot hold, more entries counted than stored, data offsets
// past the data area, names that leave the folder. The run must fail at the damaged
// entry, keep what came before it, and write nothing outside the destination.
#include <gtest/gtest.h>
#include <algorithm>
#include "extraction_fixture.h"
#include "hostile_packages.h"
#include "szdd_encoder.h"

using namespace velmor;
using namespace velmor::test;

namespace {

const TestEntry kFirst{"", "FIRST.TXT", "first"};
const TestEntry kSecond{"SUB", "SECOND.TXT", "0123456789"};

// Every file and folder below root, relative, sorted.
void ListInto(const std::string &root, const std::string &relative, std::vector<std::string> &out)
{
    WIN32_FIND_DATAA found;
    std::string pattern = root + (relative.empty() ? "" : "\\" + relative) + "\\*";
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = relative.empty() ? name : relative + "\\" + name;
        out.push_back(path);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListInto(root, path, out);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::vector<std::string> Listing(const std::string &root)
{
    std::vector<std::string> paths;
    ListInto(root, "", paths);
    std::sort(paths.begin(), paths.end());
    return paths;
}

struct DamageCase {
    std::string name;
    std::string dataArea;
    uint32_t entryCount;
    uint32_t dataOffset;   // 0: right after the image
    DWORD lastStarted;     // the last index EntryStarted saw
    bool compressed = false;
};

// Runs one damaged package with its destination two levels below a folder of its
// own, and checks that the run failed, that the first entry (when it came before
// the damage) is intact, and that nothing appeared outside the destination.
void RunDamaged(const DamageCase &c)
{
    ScratchFolder outside;
    std::string inner = outside / "IN";
    CreateDirectoryA(inner.c_str(), nullptr);
    std::string destination = inner + "\\DEST";
    TrailerFields trailer;
    trailer.mode = 1;
    trailer.entryCount = c.entryCount;
    trailer.dataOffset = c.dataOffset;
    trailer.compressed = c.compressed;
    std::vector<std::string> before = Listing(outside.path());

    PackageRun run(c.dataArea, trailer, destination);
    std::vector<std::string> packageFolderBefore = Listing(run.folder().path());
    EXPECT_EQ(run.Run(), 0) << c.name;
    DWORD last = run.started.empty() ? 0 : run.started.back().first;
    EXPECT_EQ(last, c.lastStarted) << c.name;
    for (size_t i = 0; i < run.started.size(); ++i)
        EXPECT_EQ(run.started[i].first, i + 1) << c.name;
    // Entry 1 is kFirst in every case, done before the damage.
    if (c.lastStarted >= 1)
        EXPECT_EQ(ReadWholeFile(destination + "\\FIRST.TXT"), "first") << c.name;
    // A failed entry leaves no partly written file and no temporary file. Compressed
    // data that ends early is never expanded onto its target.
    std::string second = destination + "\\SUB\\SECOND.TXT";
    if (FileExists(second))
        EXPECT_TRUE(!c.compressed && ReadWholeFile(second) == kSecond.data) << c.name;
    EXPECT_FALSE(FileExists(run.WindowsDirectory() + "QXTEMP.CMP")) << c.name;
    EXPECT_FALSE(FileExists(run.WindowsDirectory() + "QXTEMP.EXP")) << c.name;

    std::vector<std::string> after = Listing(outside.path());
    after.erase(std::remove_if(after.begin(), after.end(),
                               [](const std::string &p) { return p.rfind("IN\\DEST\\", 0) == 0; }),
                after.end());
    before.push_back("IN\\DEST");
    std::sort(before.begin(), before.end());
    EXPECT_EQ(after, before) << c.name << ": nothing outside the destination";
    // Beside the package only the stand-in Windows folder's own files may appear.
    std::vector<std::string> packageFolderAfter = Listing(run.folder().path());
    for (const std::string &path : packageFolderAfter) {
        bool known = std::find(packageFolderBefore.begin(), packageFolderBefore.end(), path) !=
                     packageFolderBefore.end();
        EXPECT_TRUE(known || path.rfind("WIN\\", 0) == 0) << c.name << ": " << path;
    }
}

} // namespace

// The second record cut after every byte, with the trailer right behind the cut:
// the run stops at entry 2 and never takes trailer bytes for the entry.
TEST(DamagedPackageTest, ARecordCutAtEveryByte)
{
    std::string head = EncodeDataArea({kFirst});
    std::string second = EncodeDataArea({kSecond});
    const size_t headerSize = second.size() - kSecond.data.size();
    for (size_t cut = 0; cut < second.size(); ++cut) {
        // A cut inside the record stops the run before the entry starts; a cut
        // inside the data stops it once the entry has started.
        DWORD lastStarted = cut < headerSize ? 1 : 2;
        RunDamaged({"cut at " + std::to_string(cut), head + second.substr(0, cut), 2, 0, lastStarted});
        if (::testing::Test::HasFailure())
            break;
    }
}

// The rows the packer's reader checks too: both refuse entry 2.
TEST(DamagedPackageTest, DamagedRecordsAsThePackerTakesThem)
{
    for (const DamagedRecordCase &c : DamagedRecords())
        RunDamaged({c.label, FirstEntry() + c.secondRecord, 2, 0, c.entryStarts ? 2u : 1u});
}

TEST(DamagedPackageTest, MoreEntriesCountedThanStored)
{
    std::string both = EncodeDataArea({kFirst, kSecond});
    DamageCase cases[] = {
        {"count 3", both, 3, 0, 2},
        {"count 1000", both, 1000, 0, 2},
        {"count 0xFFFFFFFF", both, 0xFFFFFFFF, 0, 2},
        {"count 3, stray bytes", both + "\x05", 3, 0, 2},
    };
    for (const DamageCase &c : cases)
        RunDamaged(c);
}

TEST(DamagedPackageTest, DataOffsetsOutsideTheDataArea)
{
    std::string both = EncodeDataArea({kFirst, kSecond});
    DWORD trailerStart = PackageRun::DataOffset() + static_cast<DWORD>(both.size());
    DamageCase cases[] = {
        {"past the end of the file", both, 2, trailerStart + 5000, 0},
        {"at the end of the file", both, 2, trailerStart + kTrailerSize, 0},
        {"at the trailer", both, 2, trailerStart, 0},
        {"inside the trailer's text fields", both, 2, trailerStart + 30, 0},
        {"0xFFFFFFFF", both, 2, 0xFFFFFFFF, 0},
    };
    for (const DamageCase &c : cases)
        RunDamaged(c);
}

// The rows the packer's reader checks too: a refused name fails the run at entry 2
// with nothing written outside the destination; an accepted one lands inside it.
TEST(DamagedPackageTest, HostileNamesAsThePackerTakesThem)
{
    for (const HostileNameCase &c : HostileNames()) {
        std::string area = FirstEntry() + SharedRecord(c.directory, c.file, "bad");
        if (c.refused) {
            RunDamaged({c.label, area, 2, 0, 2});
            continue;
        }
        TrailerFields trailer;
        trailer.entryCount = 2;
        PackageRun run(area, trailer);
        EXPECT_EQ(run.Run(), 1) << c.label;
        std::string directory = c.directory.empty() ? "" : c.directory + "\\";
        EXPECT_EQ(ReadWholeFile(run.InDestination(directory + c.file)), "bad") << c.label;
    }
}

// Compressed data running into the trailer, cut short or with a size too large: the
// entry fails before anything is expanded onto the target.
TEST(DamagedPackageTest, CompressedDataRunningIntoTheTrailer)
{
    TestEntry first = kFirst;
    first.data = SzddCompress(kFirst.data, SzddLevel::Default);
    TestEntry second = kSecond;
    second.data = SzddCompress(std::string(3000, 'z'), SzddLevel::Default);
    std::string both = EncodeDataArea({first, second});
    for (size_t cut : {size_t(1), size_t(3), second.data.size() - 14}) {
        DamageCase c{"compressed, cut by " + std::to_string(cut), both.substr(0, both.size() - cut), 2, 0, 2,
                     true};
        RunDamaged(c);
    }
    // The data size, the record's last field, 5000 bytes too large.
    std::string tooLarge = both;
    uint32_t size = static_cast<uint32_t>(second.data.size()) + 5000;
    for (int i = 0; i < 4; ++i)
        tooLarge[both.size() - second.data.size() - 4 + i] = static_cast<char>(size >> (8 * i));
    RunDamaged({"compressed, size too large", tooLarge, 2, 0, 2, true});
}

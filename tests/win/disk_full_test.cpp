// A disk that fills while an entry is written, over an earlier version of the file:
// the run fails at that entry and leaves neither a partly written file nor a
// temporary file. The drive is S:, a tmpfs of 1 MiB that tests/wine/small-drive.sh
// mounts for the test.
#include <gtest/gtest.h>
#include "extraction_fixture.h"
#include "szdd_encoder.h"

using namespace velmor;
using namespace velmor::test;

namespace {

const char kDrive[] = "S:\\";
const char kDestination[] = "S:\\DEST";

class DiskFullTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ULARGE_INTEGER available, total, free;
        if (!GetDiskFreeSpaceExA(kDrive, &available, &total, &free) ||
            total.QuadPart > (4u << 20)) {
            const char *why = "no small drive S:, so no disk was filled: tests/wine/small-drive.sh "
                              "mounts one only as root, where root may mount a tmpfs";
            if (GetEnvironmentVariableA("VELMOR_REQUIRE_SMALL_DRIVE", nullptr, 0))
                FAIL() << why;
            GTEST_SKIP() << why;
        }
        driveSize = total.QuadPart;
        RemoveTree(kDestination);
    }
    void TearDown() override { RemoveTree(kDestination); }
    ULONGLONG driveSize = 0;
};

TEST_F(DiskFullTest, AnEntryThatDoesNotFitLeavesNoPartialFile)
{
    // More than the whole drive holds, so the write fails whatever else is on it.
    std::string big(static_cast<size_t>(driveSize) + (256 << 10), 'b');
    for (bool compressed : {false, true}) {
        const char *label = compressed ? "compressed" : "stored";
        TrailerFields trailer;
        trailer.compressed = compressed;
        auto data = [&](const std::string &bytes) { return compressed ? SzddCompress(bytes) : bytes; };
        PackageRun run({{"", "FIRST.TXT", data("first")}, {"", "BIG.BIN", data(big)},
                        {"", "LAST.TXT", data("last")}},
                       trailer, kDestination);
        ASSERT_TRUE(CreateDirectoryA(kDestination, nullptr)) << label;
        std::string target = run.InDestination("BIG.BIN");
        WriteWholeFile(target, std::string(200 << 10, 'o')); // the earlier version

        EXPECT_EQ(run.Run(), 0) << label;
        EXPECT_EQ(run.started.size(), 2u) << label;
        EXPECT_EQ(ReadWholeFile(run.InDestination("FIRST.TXT")), "first") << label;
        EXPECT_FALSE(FileExists(target)) << label << ": no partly written file";
        EXPECT_FALSE(FileExists(run.WindowsDirectory() + "QXTEMP.CMP")) << label;
        EXPECT_FALSE(FileExists(run.WindowsDirectory() + "QXTEMP.EXP")) << label;
        RemoveTree(kDestination);
    }
}

} // namespace

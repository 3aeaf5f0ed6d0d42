// Packages written by velmor-pack, read back through the stub's own reader.
#include <gtest/gtest.h>
#include "archive_reader.h"
#include "test_support.h"

using namespace velmor;
using namespace velmor::test;

namespace {

std::string OutputPath(const std::string &name)
{
    return WindowsPathFromUnix(RequiredEnvironment("VELMOR_TEST_OUTPUT")) + "\\" + name;
}

class OpenPackage {
public:
    explicit OpenPackage(const std::string &path)
    {
        handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << path;
        ok = ReadTrailer(handle, &trailer) &&
             SetFilePointer(handle, trailer.dataOffset, nullptr, FILE_BEGIN) == trailer.dataOffset;
    }
    ~OpenPackage() { CloseHandle(handle); }
    HANDLE handle;
    ArchiveTrailer trailer;
    bool ok;
};

struct Expected {
    const char *directoryName; // as stored: only on the first entry of a group
    const char *fileName;
    const char *sourcePath;    // below the source tree, with backslashes
    DWORD attributes;
};

TEST(PackerRoundTripTest, EveryFileComesBackInGroupsWithItsTimesAndAttributes)
{
    const Expected expected[] = {
        {"", "a.txt", "a.txt", 0x20},
        {"", "caf\xe9.txt", "caf\xe9.txt", 0x20},
        {"", "empty.dat", "empty.dat", 0x20},
        {"", "readonly.txt", "readonly.txt", 0x01},
        {"docs", "guide.txt", "docs\\guide.txt", 0x20},
        {"docs\\img", "logo.bin", "docs\\img\\logo.bin", 0x20},
        {"zeta", "z.txt", "zeta\\z.txt", 0x20},
    };
    OpenPackage package(OutputPath("plain.exe"));
    ASSERT_TRUE(package.ok);
    EXPECT_EQ(package.trailer.mode, 0);
    EXPECT_EQ(package.trailer.compressed, 0);
    EXPECT_EQ(package.trailer.dataOffset, StubImage().size());
    ASSERT_EQ(package.trailer.entryCount, std::size(expected));

    ScratchFolder folder;
    std::string source = OutputPath("roundtrip-src");
    for (const Expected &e : expected) {
        EntryRecord record;
        ASSERT_EQ(ReadEntryRecord(package.handle, &record), 1) << e.fileName;
        EXPECT_STREQ(record.directoryName, e.directoryName);
        EXPECT_STREQ(record.fileName, e.fileName);
        EXPECT_EQ(record.attributes, e.attributes) << e.fileName;
        // The times first: reading the source below moves its last access time.
        std::string sourceFile = source + "\\" + e.sourcePath;
        WIN32_FILE_ATTRIBUTE_DATA info;
        ASSERT_TRUE(GetFileAttributesExA(sourceFile.c_str(), GetFileExInfoStandard, &info));
        EXPECT_EQ(FileTimeValue(record.lastWriteTime), FileTimeValue(info.ftLastWriteTime)) << e.fileName;
        EXPECT_EQ(FileTimeValue(record.lastAccessTime), FileTimeValue(info.ftLastAccessTime)) << e.fileName;
        EXPECT_NE(FileTimeValue(record.creationTime), 0u) << e.fileName;

        std::string copy = folder / "copy";
        ASSERT_EQ(CopyToNewFile(package.handle, copy.c_str(), record.dataSize), 1);
        EXPECT_EQ(ReadWholeFile(copy), ReadWholeFile(sourceFile)) << e.fileName;
    }
    DWORD position = SetFilePointer(package.handle, 0, nullptr, FILE_CURRENT);
    EXPECT_EQ(position, GetFileSize(package.handle, nullptr) - kTrailerSize)
        << "the last entry's data ends where the trailer begins";
}

TEST(PackerRoundTripTest, TrailerTextsAreStoredForTheStub)
{
    OpenPackage package(OutputPath("setup.exe"));
    ASSERT_TRUE(package.ok);
    EXPECT_EQ(package.trailer.mode, 1);
    EXPECT_STREQ(package.trailer.setupProgram, "docs\\guide.txt");
    EXPECT_STREQ(package.trailer.defaultFolder, "C:\\Velmor Test");
    EXPECT_STREQ(package.trailer.description, "Two\r\nlines");
}

} // namespace

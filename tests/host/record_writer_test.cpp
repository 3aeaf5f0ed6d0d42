// Byte layout of what the packer writes.
#include <gtest/gtest.h>
#include <stdexcept>
#include "package_layout.h"
#include "record_writer.h"

using namespace velmor;

TEST(RecordWriterTest, EntryRecordLaysOutLengthsNamesAndFixedFields)
{
    EntryHeader e;
    e.directoryName = "DIR";
    e.fileName = "F.TXT";
    e.attributes = 0x21;
    e.creationTime = 0x1122334455667788ULL;
    e.lastAccessTime = 0x2122232425262728ULL;
    e.lastWriteTime = 0x3132333435363738ULL;
    e.dataSize = 0x01020304;
    std::string r = EncodeEntryRecord(e);
    ASSERT_EQ(r.size(), 2u + 4 + 2 + 6 + kEntryFixedSize);
    EXPECT_EQ(r.substr(0, 8), std::string("\x04\x00" "DIR\0" "\x06\x00", 8));
    EXPECT_EQ(r.substr(8, 6), std::string("F.TXT\0", 6));
    EXPECT_EQ(r.substr(14, 4), std::string("\x21\0\0\0", 4));
    EXPECT_EQ(r.substr(18, 8), "\x88\x77\x66\x55\x44\x33\x22\x11") << "low half first";
    EXPECT_EQ(r.substr(26, 8), "\x28\x27\x26\x25\x24\x23\x22\x21") << "last access";
    EXPECT_EQ(r.substr(34, 8), "\x38\x37\x36\x35\x34\x33\x32\x31") << "last write";
    EXPECT_EQ(r.substr(42, 4), "\x04\x03\x02\x01");
}

TEST(RecordWriterTest, EmptyDirectoryNameIsStoredWithLengthZero)
{
    EntryHeader e;
    e.fileName = "A";
    std::string r = EncodeEntryRecord(e);
    EXPECT_EQ(r.substr(0, 6), std::string("\0\0\x02\0A\0", 6));
}

TEST(RecordWriterTest, RefusesWhatTheFieldsCannotHold)
{
    EntryHeader e;
    EXPECT_THROW(EncodeEntryRecord(e), std::invalid_argument) << "no file name";
    e.fileName = std::string(256, 'N');
    EXPECT_THROW(EncodeEntryRecord(e), std::invalid_argument);
    e.fileName = std::string(255, 'N');
    EXPECT_NO_THROW(EncodeEntryRecord(e));

    TrailerFields t;
    t.description = std::string(512, 'd');
    EXPECT_THROW(EncodeTrailer(t), std::invalid_argument);
    t.description = std::string(511, 'd');
    EXPECT_EQ(EncodeTrailer(t).size(), static_cast<size_t>(kTrailerSize));
}

TEST(RecordWriterTest, TrailerFieldsLieAtTheirOffsets)
{
    TrailerFields t;
    t.mode = 1;
    t.compressed = true;
    t.entryCount = 5;
    t.setupProgram = "SETUP.EXE";
    t.defaultFolder = "C:\\X";
    t.description = "D";
    t.dataOffset = 0x1234;
    std::string b = EncodeTrailer(t);
    EXPECT_EQ(b.substr(0, 10), std::string("QX-V1.10\0\0", 10));
    EXPECT_EQ(b[10], 1);
    EXPECT_EQ(b.substr(12, 4), std::string("\1\0\0\0", 4));
    EXPECT_EQ(b.substr(16, 4), std::string("\5\0\0\0", 4));
    EXPECT_EQ(std::string(b.c_str() + 20), "SETUP.EXE");
    EXPECT_EQ(std::string(b.c_str() + 276), "C:\\X");
    EXPECT_EQ(std::string(b.c_str() + 532), "D");
    EXPECT_EQ(b.substr(1048, 4), std::string("\x34\x12\0\0", 4));
}

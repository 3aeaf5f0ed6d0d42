#include "entry_record.h"
#include "byte_order.h"

namespace {

int ReadLength(RecordReader read, void *source, int part, uint16_t *length)
{
    unsigned char bytes[2];
    if (!read(source, bytes, 2, part))
        return 0;
    *length = LoadLe16(bytes);
    return 1;
}

int ReadLe32(RecordReader read, void *source, int part, uint32_t *value)
{
    unsigned char bytes[4];
    if (!read(source, bytes, 4, part))
        return 0;
    *value = LoadLe32(bytes);
    return 1;
}

int ReadFileTime(RecordReader read, void *source, int part, StoredFileTime *time)
{
    unsigned char bytes[8];
    if (!read(source, bytes, 8, part))
        return 0;
    time->low = LoadLe32(bytes);
    time->high = LoadLe32(bytes + 4);
    return 1;
}

uint32_t NameLength(const char *name)
{
    uint32_t length = 0;
    while (length < kMaxNameLength && name[length])
        ++length;
    return length;
}

// A name with its length in front; false when it would not fit the field.
int PutName(const char *name, unsigned char *out, uint32_t *at)
{
    uint32_t length = NameLength(name);
    if (length >= kMaxNameLength)
        return 0;
    uint16_t stored = static_cast<uint16_t>(length ? length + 1 : 0);
    StoreLe16(out + *at, stored);
    *at += 2;
    for (uint32_t i = 0; i < stored; ++i)
        out[*at + i] = static_cast<unsigned char>(name[i]);
    *at += stored;
    return 1;
}

} // namespace

int DecodeEntryRecord(RecordReader read, void *source, EntryRecord *record)
{
    unsigned char *bytes = reinterpret_cast<unsigned char *>(record);
    for (uint32_t i = 0; i < sizeof *record; ++i)
        bytes[i] = 0;

    if (!ReadLength(read, source, kPartDirectoryNameLength, &record->directoryNameLength))
        return kRecordCut;
    if (record->directoryNameLength > kMaxNameLength)
        return kRecordDirectoryLengthOver;
    if (record->directoryNameLength &&
        !read(source, record->directoryName, record->directoryNameLength, kPartDirectoryName))
        return kRecordCut;
    if (!ReadLength(read, source, kPartFileNameLength, &record->fileNameLength))
        return kRecordCut;
    if (record->fileNameLength == 0 || record->fileNameLength > kMaxNameLength)
        return kRecordFileLengthOutside;
    if (!read(source, record->fileName, record->fileNameLength, kPartFileName))
        return kRecordCut;
    if (!ReadLe32(read, source, kPartAttributes, &record->attributes) ||
        !ReadFileTime(read, source, kPartCreationTime, &record->creationTime) ||
        !ReadFileTime(read, source, kPartLastAccessTime, &record->lastAccessTime) ||
        !ReadFileTime(read, source, kPartLastWriteTime, &record->lastWriteTime) ||
        !ReadLe32(read, source, kPartDataSize, &record->dataSize))
        return kRecordCut;
    if (record->directoryName[kMaxNameLength - 1])
        return kRecordDirectoryUnterminated;
    if (record->fileName[kMaxNameLength - 1])
        return kRecordFileUnterminated;
    return kRecordRead;
}

uint32_t EncodeEntryRecord(const EntryRecord *record, unsigned char *out, uint32_t outSize)
{
    uint32_t directoryLength = NameLength(record->directoryName);
    uint32_t fileLength = NameLength(record->fileName);
    uint32_t size = 2 + (directoryLength ? directoryLength + 1 : 0) + 2 + fileLength + 1 +
                    kEntryFixedSize;
    if (fileLength == 0 || size > outSize)
        return 0;
    uint32_t at = 0;
    if (!PutName(record->directoryName, out, &at) || !PutName(record->fileName, out, &at))
        return 0;
    const StoredFileTime *times[3] = {&record->creationTime, &record->lastAccessTime,
                                      &record->lastWriteTime};
    StoreLe32(out + at, record->attributes);
    at += 4;
    for (int i = 0; i < 3; ++i) {
        StoreLe32(out + at, times[i]->low);
        StoreLe32(out + at + 4, times[i]->high);
        at += 8;
    }
    StoreLe32(out + at, record->dataSize);
    return at + 4;
}

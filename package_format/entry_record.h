// An entry record in both directions: decoded from whatever source the caller reads
// (the stub its own file, the packer a byte range), and encoded into bytes.
#ifndef VELMOR_ENTRY_RECORD_H
#define VELMOR_ENTRY_RECORD_H

#include "package_layout.h"

// One entry record as the extraction uses it. Both names are zero-terminated.
struct EntryRecord {
    char directoryName[kMaxNameLength]; // empty when the record stores none
    char fileName[kMaxNameLength];
    uint32_t attributes;
    StoredFileTime creationTime;
    StoredFileTime lastAccessTime;
    StoredFileTime lastWriteTime;
    uint32_t dataSize;
    uint16_t directoryNameLength;       // as stored: 0 to 256
    uint16_t fileNameLength;            // as stored: 1 to 256
};

// The parts of a record in the order they are stored, as handed to a RecordReader.
enum RecordPart {
    kPartDirectoryNameLength,
    kPartDirectoryName,
    kPartFileNameLength,
    kPartFileName,
    kPartAttributes,
    kPartCreationTime,
    kPartLastAccessTime,
    kPartLastWriteTime,
    kPartDataSize
};

// Reads the next count bytes of the source into buffer: 1 when exactly count bytes
// came, 0 otherwise. part says which part of the record they are.
typedef int (*RecordReader)(void *source, void *buffer, uint32_t count, int part);

// Results of DecodeEntryRecord.
enum RecordResult {
    kRecordCut = 0,               // a read failed or came short (the reader saw which part)
    kRecordRead = 1,              // record holds the entry; the source is at its first data byte
    kRecordDirectoryLengthOver,   // directory name length over 256: nothing more was read
    kRecordFileLengthOutside,     // file name length 0 or over 256: nothing more was read
    kRecordDirectoryUnterminated, // a 256-byte directory name whose last byte is not zero
    kRecordFileUnterminated       // a 256-byte file name whose last byte is not zero
};

// Clears record, then reads one entry record through read, part by part, each part
// by one call. A name stored without its zero byte still ends in one, as the record
// was cleared first, unless it fills its whole field: that is refused, after the rest
// of the record has been read, so that a walk through the archive can go on past it.
int DecodeEntryRecord(RecordReader read, void *source, EntryRecord *record);

enum { kMaxEntryRecordSize = 2 + kMaxNameLength + 2 + kMaxNameLength + kEntryFixedSize };

// Writes the record as a writer stores it: each name with its zero byte and that
// length, an empty directory name as length 0. The number of bytes written; 0 when
// out has too little room, the file name is empty or a name is over 255 bytes (the
// stored lengths in record are not looked at).
uint32_t EncodeEntryRecord(const EntryRecord *record, unsigned char *out, uint32_t outSize);

#endif

// The walk through the entry records, from the data offset to the end of the data
// area, with the shared record decoder.
#include <cstring>
#include "filetime.h"
#include "package_layout.h"
#include "package_reader_run.h"
#include "package_report.h"
#include "windows_names.h"

namespace velmor::reading {
namespace {

// The RecordReader of the shared record decoder over a cursor.
int TakeRecordPart(void *cursor, void *buffer, uint32_t count, int part)
{
    Cursor &c = *static_cast<Cursor *>(cursor);
    c.lastPart = part;
    return c.Take(buffer, count) ? 1 : 0;
}

// Whether the walk can go on behind a record the decoder gave this result for.
bool Walkable(int result)
{
    return result == kRecordRead || result == kRecordDirectoryUnterminated ||
           result == kRecordFileUnterminated;
}

// Skips one record and its data; false when it does not fit the data area.
bool SkipRecord(Cursor &cursor)
{
    EntryRecord record;
    if (!Walkable(DecodeEntryRecord(TakeRecordPart, &cursor, &record)) ||
        record.dataSize > cursor.Left())
        return false;
    cursor.position += record.dataSize;
    return true;
}

NameField MakeName(const char *bytes, uint16_t length)
{
    NameField name;
    if (length == 0)
        return name;
    const void *zero = std::memchr(bytes, 0, length);
    size_t used = zero ? static_cast<const char *>(zero) - bytes : length;
    name.text.assign(bytes, used);
    name.terminated = bytes[length - 1] == 0;
    name.earlyZero = zero != nullptr && used + 1 < length;
    return name;
}

uint64_t FileTimeValue(const StoredFileTime &time)
{
    return static_cast<uint64_t>(time.high) << 32 | time.low;
}

} // namespace

void Reader::ReadEntries()
{
    Cursor cursor{source_, c_.dataOffset, dataEnd_};
    for (uint32_t index = 1; index <= c_.entryCount; ++index) {
        if (cursor.Left() == 0) {
            Problem(index, "", ProblemKind::Structure,
                    "the entry count is " + std::to_string(c_.entryCount) + ", but the data area ends after " +
                        std::to_string(index - 1) + (index - 1 == 1 ? " entry" : " entries"));
            return;
        }
        if (!ReadEntry(cursor, index))
            return;
        if (index == UINT32_MAX)
            break;
    }
    walkComplete_ = true;
    if (cursor.Left() == 0 || OnlyAlignmentLeft(cursor))
        return;
    uint64_t stray = cursor.Left();
    uint32_t extra = 0;
    while (cursor.Left() > 0 && SkipRecord(cursor))
        ++extra;
    if (cursor.Left() == 0)
        Overall(ProblemKind::Structure,
                "the data area holds " + std::to_string(extra) + " more records than the entry count " +
                    std::to_string(c_.entryCount) + "; the stub ignores them");
    else
        Overall(ProblemKind::Structure,
                std::to_string(stray) + " bytes after the last entry are not part of any entry "
                                        "(the data area must end where the " +
                    DataAreaEndName() + " begins)");
}

// Reads one record; false when the walk cannot go on past it.
bool Reader::ReadEntry(Cursor &cursor, uint32_t index)
{
    static const char *const parts[] = {"directory name length", "directory name", "file name length",
                                        "file name", "attributes", "creation time", "last access time",
                                        "last write time", "data size"};
    PackageEntry entry;
    entry.index = index;
    entry.recordOffset = cursor.position;
    EntryRecord record;
    int result = DecodeEntryRecord(TakeRecordPart, &cursor, &record);
    if (result == kRecordDirectoryLengthOver) {
        Problem(index, "", ProblemKind::Structure,
                "directory name length " + std::to_string(record.directoryNameLength) + " is over 256");
        return false;
    }
    NameField directory = MakeName(record.directoryName, record.directoryNameLength);
    if (result == kRecordFileLengthOutside) {
        Problem(index, directory.text, ProblemKind::Structure,
                "file name length " + std::to_string(record.fileNameLength) + " is outside 1 to 256");
        return false;
    }
    NameField file = MakeName(record.fileName, record.fileNameLength);

    entry.directoryName = directory.text;
    if (!entry.directoryName.empty())
        currentDirectory_ = entry.directoryName;
    entry.directory = currentDirectory_;
    entry.fileName = file.text;
    std::string trimmed = entry.directory;
    while (!trimmed.empty() && EndsInBackslash(trimmed, options_.codePage))
        trimmed.pop_back();
    entry.path = trimmed.empty() ? entry.fileName : trimmed + "\\" + entry.fileName;

    if (result == kRecordCut) {
        std::string where = cursor.lastPart <= kPartDirectoryName ? ""
                            : cursor.lastPart <= kPartFileName    ? directory.text
                                                                  : entry.path;
        Problem(index, where, ProblemKind::Structure,
                std::string("record cut short: the data area ends inside the ") + parts[cursor.lastPart]);
        return false;
    }
    entry.attributes = record.attributes;
    entry.creationTime = FileTimeValue(record.creationTime);
    entry.lastAccessTime = FileTimeValue(record.lastAccessTime);
    entry.lastWriteTime = FileTimeValue(record.lastWriteTime);
    const std::pair<const char *, uint64_t> times[] = {
        {"creation", entry.creationTime}, {"last-access", entry.lastAccessTime}, {"last-write", entry.lastWriteTime}};
    for (const auto &[which, value] : times) {
        if (!IsSettableFileTime(value))
            Problem(index, entry.path, ProblemKind::Time,
                    std::string("its ") + which + " time " + FileTimeText(value) +
                        " is out of the range Windows sets; the file keeps the time of its extraction instead");
    }
    entry.dataSize = record.dataSize;
    entry.dataOffset = cursor.position;
    if (entry.dataSize > cursor.Left()) {
        Problem(index, entry.path, ProblemKind::Structure,
                "its data of " + std::to_string(entry.dataSize) + " bytes runs past the trailer (" +
                    std::to_string(cursor.Left()) + " bytes are left)");
        return false;
    }
    cursor.position += entry.dataSize;

    CheckNames(entry, record.directoryNameLength, record.fileNameLength, directory, file);
    if (c_.compressed())
        CheckCompressedData(entry);
    c_.entries.push_back(std::move(entry));
    return true;
}

} // namespace velmor::reading

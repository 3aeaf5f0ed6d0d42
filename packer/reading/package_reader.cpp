#include "package_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include "byte_order.h"
#include "entry_record.h"
#include "name_rule.h"
#include "pack_error.h"
#include "package_layout.h"
#include "package_report.h"
#include "szdd_expand.h"
#include "szdd_header.h"
#include "trailer_check.h"
#include "windows_names.h"

namespace velmor {
namespace {

// A fixed-size text field up to its first zero byte.
std::string FieldText(const char *field, size_t size)
{
    const void *zero = std::memchr(field, 0, size);
    return std::string(field, zero ? static_cast<const char *>(zero) - field : size);
}

// Reads forward through the data area and never past its end.
struct Cursor {
    const ByteSource &source;
    uint64_t position;
    uint64_t end;
    int lastPart = kPartDirectoryNameLength; // the record part read last, or failed

    uint64_t Left() const { return end - position; }
    bool Take(void *buffer, size_t count)
    {
        if (count > Left())
            return false;
        if (count)
            source.Read(position, buffer, count);
        position += count;
        return true;
    }
};

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

struct NameField {
    std::string text;       // up to the first zero byte
    bool terminated = true; // the last stored byte is the zero byte
    bool earlyZero = false; // a zero byte before the last one
};

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

std::string Quoted(const std::string &text)
{
    return "'" + text + "'";
}

class Reader {
public:
    Reader(const ByteSource &source, const ReadOptions &options, PackageContents &contents)
        : source_(source), options_(options), c_(contents)
    {
    }

    void Run()
    {
        c_.fileSize = source_.Size();
        bool readable = ReadTrailer();
        c_.trailerSound = readable && !c_.HasProblem(ProblemKind::Structure);
        if (!readable)
            return;
        if (c_.entriesReadable)
            ReadEntries();
        CheckSetupProgram();
    }

private:
    void Problem(uint32_t index, const std::string &path, ProblemKind kind, const std::string &what)
    {
        c_.problems.push_back({index, path, kind, what});
    }

    // Names in messages are shown in UTF-8.
    std::string Show(const std::string &ansi) const { return DisplayText(ansi, options_.codePage); }

    void Overall(ProblemKind kind, const std::string &what) { Problem(0, "", kind, what); }

    bool ReadTrailer()
    {
        if (c_.fileSize <= kTrailerSize) {
            Overall(ProblemKind::Structure,
                           "the file is " + std::to_string(c_.fileSize) +
                               " bytes long, too short for a package (its trailer alone takes 1052 bytes)");
            return false;
        }
        unsigned char raw[kTrailerSize];
        source_.Read(c_.fileSize - kTrailerSize, raw, kTrailerSize);
        ArchiveTrailer trailer;
        std::memcpy(&trailer, raw, kTrailerSize);
        if (!SignatureMatches(&trailer)) {
            if (FindTrailerBeforeSignature())
                return false;
            Overall(ProblemKind::Structure,
                           "no package trailer: the last 1052 bytes do not begin with the signature " ARCHIVE_SIGNATURE
                           "; this is not a velmor package, or it was cut short");
            return false;
        }
        c_.hasTrailer = true;
        c_.mode = trailer.mode;
        c_.compressedFlag = trailer.compressed;
        c_.entryCount = trailer.entryCount;
        c_.dataOffset = trailer.dataOffset;
        if (c_.fileSize > 0x7FFFFFFFULL)
            Overall(ProblemKind::Structure, "the file is 2 GiB or larger; the stub cannot read it");
        if (c_.mode > kModeSetup)
            Overall(ProblemKind::Structure, "trailer: mode " + std::to_string(c_.mode) +
                                                       " is neither 0 (extract) nor 1 (setup); the stub would extract nothing");
        struct {
            const char *field;
            size_t size;
            const char *name;
            std::string *text;
        } texts[] = {
            {trailer.setupProgram, kSetupProgramSize, "setup program", &c_.setupProgram},
            {trailer.defaultFolder, kDefaultFolderSize, "folder", &c_.defaultFolder},
            {trailer.description, kDescriptionSize, "description", &c_.description},
        };
        for (auto &t : texts) {
            bool terminated = FieldHoldsZeroByte(t.field, static_cast<int>(t.size));
            *t.text = FieldText(t.field, t.size);
            if (!terminated)
                Overall(ProblemKind::Structure, std::string("trailer: the ") + t.name +
                                                           " field holds no zero byte; the stub refuses the package");
        }
        if (!c_.defaultFolder.empty() &&
            (c_.defaultFolder.size() < 3 || !std::isalpha(static_cast<unsigned char>(c_.defaultFolder[0])) ||
             c_.defaultFolder[1] != ':' || c_.defaultFolder[2] != '\\'))
            Overall(ProblemKind::Name, "trailer: the folder " + Quoted(Show(c_.defaultFolder)) +
                                                  " is not a full path beginning with a drive letter, such as C:\\Setup");

        dataEnd_ = c_.fileSize - kTrailerSize;
        LocateSignature();
        c_.dataEnd = dataEnd_;
        if (c_.dataOffset > dataEnd_) {
            Overall(ProblemKind::Structure,
                           "trailer: the data offset " + std::to_string(c_.dataOffset) + " lies past the start of the " +
                               DataAreaEndName() + " at " + std::to_string(dataEnd_));
            return true;
        }
        c_.entriesReadable = true;
        unsigned char image[2] = {0, 0};
        if (c_.dataOffset >= 2)
            source_.Read(0, image, 2);
        if (image[0] != 'M' || image[1] != 'Z')
            Overall(ProblemKind::Structure,
                           "the " + std::to_string(c_.dataOffset) +
                               " bytes before the data offset are not a Windows program (no MZ at the start)");
        return true;
    }

    const char *DataAreaEndName() const { return c_.certificateTable ? "certificate table" : "trailer"; }

    // A signing tool that knows nothing of packages appends the certificate table at
    // the end of the file, behind the trailer and up to 7 bytes of alignment.
    bool FindTrailerBeforeSignature()
    {
        std::optional<PeSigningFields> pe = ReadPeSigningFields(source_);
        if (!pe || !pe->Signed() || pe->TableEnd() != c_.fileSize)
            return false;
        for (uint64_t padding = 0; padding < kCertificateTableAlignment; ++padding) {
            if (pe->tableOffset < kTrailerSize + padding)
                break;
            uint64_t end = pe->tableOffset - padding;
            ArchiveTrailer trailer;
            source_.Read(end - kTrailerSize, &trailer, kTrailerSize);
            if (!SignatureMatches(&trailer) || !ZeroBytes(end, padding))
                continue;
            c_.unsignedLength = end;
            Overall(ProblemKind::Structure,
                    "the package was signed by a tool that appended the signature behind the package trailer: "
                    "the stub finds no trailer in the last 1052 bytes and extracts nothing. Sign the unsigned "
                    "package with velmor-pack sign, which keeps the trailer last (it also takes this file)");
            return true;
        }
        return false;
    }

    // A package signed by velmor-pack sign: the certificate table ends at the end of
    // the file, one WIN_CERTIFICATE that holds the signature and then the trailer.
    void LocateSignature()
    {
        std::optional<PeSigningFields> pe = ReadPeSigningFields(source_);
        if (!pe || !pe->Signed())
            return;
        std::string table = "the certificate table at offset " + std::to_string(pe->tableOffset) + " (" +
                            std::to_string(pe->tableSize) + " bytes)";
        if (pe->TableEnd() == c_.fileSize && pe->tableSize >= kWinCertificateHeaderSize + kTrailerSize) {
            unsigned char header[kWinCertificateHeaderSize];
            source_.Read(pe->tableOffset, header, sizeof header);
            if (LoadLe32(header) == pe->tableSize && LoadLe16(header + 4) == kWinCertificateRevision2 &&
                LoadLe16(header + 6) == kWinCertificateTypePkcsSignedData) {
                c_.certificateTable = pe;
                dataEnd_ = pe->tableOffset;
                return;
            }
            Overall(ProblemKind::Signature, table + " is not one Authenticode signature that ends with the "
                                                    "trailer; sign the package again with velmor-pack sign");
        } else if (pe->TableEnd() <= c_.dataOffset) {
            Overall(ProblemKind::Signature, "the stub carries a signature of its own (" + table +
                                                "), which the data behind it makes invalid: pack an unsigned "
                                                "stub and sign the package with velmor-pack sign");
        } else {
            Overall(ProblemKind::Signature, table + " does not end where the file ends, as it does in a package "
                                                    "signed with velmor-pack sign; Windows will find the "
                                                    "signature invalid");
        }
    }

    // Zero bytes from the last entry up to the 8-byte boundary where a signed
    // package's certificate table begins.
    bool OnlyAlignmentLeft(const Cursor &cursor) const
    {
        if (!c_.certificateTable || cursor.Left() >= kCertificateTableAlignment || dataEnd_ % kCertificateTableAlignment)
            return false;
        return ZeroBytes(cursor.position, static_cast<size_t>(cursor.Left()));
    }

    // Whether the count bytes at offset (fewer than kCertificateTableAlignment) are all
    // zero: the padding that keeps a certificate table aligned.
    bool ZeroBytes(uint64_t offset, size_t count) const
    {
        unsigned char gap[kCertificateTableAlignment] = {};
        source_.Read(offset, gap, count);
        return std::count(gap, gap + count, 0) == static_cast<long>(count);
    }

    std::string CheckFolder() const
    {
        if (!options_.folder.empty())
            return options_.folder;
        return c_.defaultFolder.empty() ? FALLBACK_FOLDER : c_.defaultFolder;
    }

    // Reads one record; false when the walk cannot go on past it.
    bool ReadEntry(Cursor &cursor, uint32_t index)
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

    // A name without its zero byte, or with one before its stored length ends: the
    // stub reads it up to its first zero byte, or to its end, unless it fills the whole
    // field. Only that is a problem; the rest is noted as the mark of a faulty writer.
    void CheckTermination(const PackageEntry &entry, const char *which, uint16_t length, const NameField &name)
    {
        if (length && !name.terminated && length == kMaxNameLength)
            Problem(entry.index, entry.path, ProblemKind::Structure,
                    std::string("the ") + which + " fills all 256 bytes without its zero byte; the stub stops here");
        else if (length && !name.terminated)
            c_.notes.push_back({entry.index, entry.path, ProblemKind::Structure,
                                std::string("the ") + which + " does not end in its zero byte"});
        else if (name.earlyZero)
            c_.notes.push_back({entry.index, entry.path, ProblemKind::Structure,
                                std::string("the ") + which + " holds a zero byte before its stored length ends"});
    }

    void CheckNames(const PackageEntry &entry, uint16_t directoryLength, uint16_t fileLength,
                    const NameField &directory, const NameField &file)
    {
        auto problem = [&](ProblemKind kind, const std::string &what) {
            Problem(entry.index, entry.path, kind, what);
        };
        const int cp = options_.codePage;
        CheckTermination(entry, "directory name", directoryLength, directory);
        CheckTermination(entry, "file name", fileLength, file);

        int check = CheckNameInCodePage(entry.fileName, false, cp);
        if (entry.fileName.empty())
            problem(ProblemKind::Name, "the file name is empty; the stub stops here");
        else if (check != kNameAccepted)
            problem(ProblemKind::Name, "the file name " + Quoted(Show(entry.fileName)) + " " +
                                           NameRefusal(check, false) + "; the stub stops here");
        check = entry.directoryName.empty() ? kNameAccepted : CheckNameInCodePage(entry.directoryName, true, cp);
        if (check != kNameAccepted)
            problem(ProblemKind::Name, "the directory " + Quoted(Show(entry.directoryName)) + " " +
                                           NameRefusal(check, true) + "; the stub stops here");

        std::string folder = CheckFolder();
        std::string target = JoinBelowFolder(JoinBelowFolder(folder, entry.directory, cp), entry.fileName, cp);
        if (target.size() >= kPathBufferSize)
            problem(ProblemKind::Length, "the full path " + Show(target) + " is " + std::to_string(target.size()) +
                                             " characters long for the folder " + Show(folder) + "; at most 255 fit");

        auto [it, inserted] = seen_.emplace(ComparablePath(entry.path, cp), entry.index);
        if (!inserted)
            problem(ProblemKind::Duplicate, "the same file as entry " + std::to_string(it->second) +
                                                " (letter case aside); it replaces that one");
    }

    void CheckCompressedData(PackageEntry &entry)
    {
        auto problem = [&](const std::string &what) {
            Problem(entry.index, entry.path, ProblemKind::Content, what);
        };
        if (entry.dataSize < kSzddHeaderSize) {
            problem("its compressed data of " + std::to_string(entry.dataSize) +
                    " bytes is shorter than an SZDD header (14 bytes)");
            return;
        }
        unsigned char header[kSzddHeaderSize];
        source_.Read(entry.dataOffset, header, sizeof header);
        uint32_t length = 0;
        int result = ReadSzddHeader(header, &length);
        if (result == kSzddNotSzdd) {
            problem("its data is not an SZDD file, but the package is marked compressed");
            return;
        }
        if (result == kSzddOtherMethod) {
            problem("its SZDD header names compression method " + std::to_string(header[kSzddMethodOffset]) +
                    ", not 65 ('A')");
            return;
        }
        entry.expandedSize = length;
        if (!options_.expandCompressed)
            return;
        // Streamed through, a window at a time: nothing of it is kept.
        try {
            SzddExpandTo(source_, entry.dataOffset, entry.dataSize, [](const char *, size_t) {}, "compressed data");
        } catch (const PackError &e) {
            problem(e.what());
        }
    }

    void ReadEntries()
    {
        Cursor cursor{source_, c_.dataOffset, dataEnd_};
        for (uint32_t index = 1; index <= c_.entryCount; ++index) {
            if (cursor.Left() == 0) {
                Problem(index, "", ProblemKind::Structure,
                        "the entry count is " + std::to_string(c_.entryCount) + ", but the data area ends after " +
                            std::to_string(index - 1) + " entries");
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

    void CheckSetupProgram()
    {
        if (c_.setupProgram.empty())
            return;
        const int cp = options_.codePage;
        int check = CheckNameInCodePage(c_.setupProgram, true, cp);
        if (check != kNameAccepted) {
            Overall(ProblemKind::Setup, "trailer: the setup program " + Quoted(Show(c_.setupProgram)) + " " +
                                            NameRefusal(check, true) + "; the stub does not start it");
            return;
        }
        if (EndsInBackslash(c_.setupProgram, cp)) {
            Overall(ProblemKind::Setup, "trailer: the setup program " + Quoted(Show(c_.setupProgram)) +
                                            " must be a file's path relative to the destination folder");
            return;
        }
        std::string folder = CheckFolder();
        std::string full = JoinBelowFolder(folder, c_.setupProgram, cp);
        if (full.size() >= kPathBufferSize)
            Overall(ProblemKind::Length, "trailer: the setup program's full path " + Show(full) + " is " +
                                                    std::to_string(full.size()) + " characters long for the folder " +
                                                    Show(folder) + "; at most 255 fit");
        if (walkComplete_ && !seen_.count(ComparablePath(c_.setupProgram, cp)))
            Overall(ProblemKind::Setup, "trailer: the setup program " + Show(c_.setupProgram) +
                                                   " is not among the entries; the stub would start a program that is not there");
    }

    const ByteSource &source_;
    const ReadOptions &options_;
    PackageContents &c_;
    uint64_t dataEnd_ = 0;
    std::string currentDirectory_;
    std::map<std::string, uint32_t> seen_;
    bool walkComplete_ = false;
};

} // namespace

bool PackageContents::HasProblem(ProblemKind kind) const
{
    for (const PackageProblem &p : problems) {
        if (p.kind == kind)
            return true;
    }
    return false;
}

PackageContents ReadPackage(const ByteSource &source, const ReadOptions &options)
{
    PackageContents contents;
    Reader(source, options, contents).Run();
    return contents;
}

} // namespace velmor

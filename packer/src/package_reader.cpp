#include "package_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include "package_layout.h"
#include "pack_error.h"
#include "package_plan.h"
#include "package_report.h"
#include "szdd_expand.h"

namespace velmor {

void MemorySource::Read(uint64_t offset, void *buffer, size_t count) const
{
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        throw PackError("read past the end of the package");
    std::memcpy(buffer, bytes_.data() + offset, count);
}

namespace {

class FileSource : public ByteSource {
public:
    FileSource(const std::string &path) : path_(path)
    {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw PackError(path + ": cannot open: " + std::strerror(errno));
        struct stat info;
        if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd_);
            throw PackError(path + ": not a regular file; give the package file itself");
        }
        size_ = static_cast<uint64_t>(info.st_size);
    }
    ~FileSource() override { close(fd_); }
    uint64_t Size() const override { return size_; }
    void Read(uint64_t offset, void *buffer, size_t count) const override
    {
        char *into = static_cast<char *>(buffer);
        while (count > 0) {
            ssize_t n = pread(fd_, into, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw PackError(path_ + ": cannot read: " +
                                (n < 0 ? std::strerror(errno) : "the file got shorter while being read"));
            into += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<size_t>(n);
        }
    }

private:
    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Whether the last character (not byte) of text is a backslash.
bool EndsInBackslash(const std::string &text, int codePage)
{
    bool last = false;
    for (size_t i = 0; i < text.size();) {
        last = text[i] == '\\';
        i += IsDoubleByteLead(static_cast<unsigned char>(text[i]), codePage) && i + 1 < text.size() ? 2 : 1;
    }
    return last;
}

std::string FoldCase(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A relative path in one spelling for comparisons: backslashes, no empty or "."
// levels, letter case folded.
std::string ComparablePath(const std::string &path, int codePage)
{
    std::string out;
    std::string level;
    auto flush = [&]() {
        if (!level.empty() && level != ".")
            out += (out.empty() ? "" : "\\") + level;
        level.clear();
    };
    for (size_t i = 0; i < path.size();) {
        bool lead = IsDoubleByteLead(static_cast<unsigned char>(path[i]), codePage) && i + 1 < path.size();
        if (!lead && IsSeparator(path[i])) {
            flush();
            ++i;
            continue;
        }
        level.append(path, i, lead ? 2 : 1);
        i += lead ? 2 : 1;
    }
    flush();
    return FoldCase(out);
}

// A fixed-size text field up to its first zero byte.
std::string FieldText(const char *field, size_t size, bool *terminated)
{
    const void *zero = std::memchr(field, 0, size);
    *terminated = zero != nullptr;
    return std::string(field, zero ? static_cast<const char *>(zero) - field : size);
}

uint16_t Le16(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Le32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Le64(const unsigned char *p)
{
    return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

// Reads forward through the data area and never past its end.
struct Cursor {
    const ByteSource &source;
    uint64_t position;
    uint64_t end;

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

// Skips one record and its data; false when it does not fit the data area.
bool SkipRecord(Cursor &cursor)
{
    unsigned char bytes[4];
    if (!cursor.Take(bytes, 2) || Le16(bytes) > kMaxNameLength || Le16(bytes) > cursor.Left())
        return false;
    cursor.position += Le16(bytes);
    if (!cursor.Take(bytes, 2) || Le16(bytes) == 0 || Le16(bytes) > kMaxNameLength ||
        Le16(bytes) + 28u > cursor.Left())
        return false;
    cursor.position += Le16(bytes) + 28u;
    if (!cursor.Take(bytes, 4) || Le32(bytes) > cursor.Left())
        return false;
    cursor.position += Le32(bytes);
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
        if (std::memcmp(trailer.signature, ARCHIVE_SIGNATURE, sizeof ARCHIVE_SIGNATURE) != 0) {
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
            bool terminated = false;
            *t.text = FieldText(t.field, t.size, &terminated);
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
        if (c_.dataOffset > dataEnd_) {
            Overall(ProblemKind::Structure,
                           "trailer: the data offset " + std::to_string(c_.dataOffset) +
                               " lies past the start of the trailer at " + std::to_string(dataEnd_));
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

    std::string CheckFolder() const
    {
        if (!options_.folder.empty())
            return options_.folder;
        return c_.defaultFolder.empty() ? FALLBACK_FOLDER : c_.defaultFolder;
    }

    // Reads one record; false when the walk cannot go on past it.
    bool ReadEntry(Cursor &cursor, uint32_t index)
    {
        auto cut = [&](const char *field, const std::string &path = "") {
            Problem(index, path, ProblemKind::Structure,
                    std::string("record cut short: the data area ends inside the ") + field);
            return false;
        };
        PackageEntry entry;
        entry.index = index;
        entry.recordOffset = cursor.position;
        unsigned char bytes[kEntryFixedSize];
        char names[2][kMaxNameLength];

        if (!cursor.Take(bytes, 2))
            return cut("directory name length");
        uint16_t directoryLength = Le16(bytes);
        if (directoryLength > kMaxNameLength) {
            Problem(index, "", ProblemKind::Structure,
                    "directory name length " + std::to_string(directoryLength) + " is over 256");
            return false;
        }
        if (!cursor.Take(names[0], directoryLength))
            return cut("directory name");
        NameField directory = MakeName(names[0], directoryLength);

        if (!cursor.Take(bytes, 2))
            return cut("file name length", directory.text);
        uint16_t fileLength = Le16(bytes);
        if (fileLength == 0 || fileLength > kMaxNameLength) {
            Problem(index, directory.text, ProblemKind::Structure,
                    "file name length " + std::to_string(fileLength) + " is outside 1 to 256");
            return false;
        }
        if (!cursor.Take(names[1], fileLength))
            return cut("file name", directory.text);
        NameField file = MakeName(names[1], fileLength);

        entry.directoryName = directory.text;
        if (!entry.directoryName.empty())
            currentDirectory_ = entry.directoryName;
        entry.directory = currentDirectory_;
        entry.fileName = file.text;
        std::string trimmed = entry.directory;
        while (!trimmed.empty() && EndsInBackslash(trimmed, options_.codePage))
            trimmed.pop_back();
        entry.path = trimmed.empty() ? entry.fileName : trimmed + "\\" + entry.fileName;

        static const struct {
            size_t size;
            const char *name;
        } fixed[] = {{4, "attributes"}, {8, "creation time"}, {8, "last access time"},
                     {8, "last write time"}, {4, "data size"}};
        size_t at = 0;
        for (const auto &f : fixed) {
            if (!cursor.Take(bytes + at, f.size))
                return cut(f.name, entry.path);
            at += f.size;
        }
        entry.attributes = Le32(bytes);
        entry.creationTime = Le64(bytes + 4);
        entry.lastAccessTime = Le64(bytes + 12);
        entry.lastWriteTime = Le64(bytes + 20);
        entry.dataSize = Le32(bytes + 28);
        entry.dataOffset = cursor.position;
        if (entry.dataSize > cursor.Left()) {
            Problem(index, entry.path, ProblemKind::Structure,
                    "its data of " + std::to_string(entry.dataSize) + " bytes runs past the trailer (" +
                        std::to_string(cursor.Left()) + " bytes are left)");
            return false;
        }
        cursor.position += entry.dataSize;

        CheckNames(entry, directoryLength, directory, file);
        if (c_.compressed())
            CheckCompressedData(entry);
        c_.entries.push_back(std::move(entry));
        return true;
    }

    void CheckNames(const PackageEntry &entry, uint16_t directoryLength, const NameField &directory,
                    const NameField &file)
    {
        auto problem = [&](ProblemKind kind, const std::string &what) {
            Problem(entry.index, entry.path, kind, what);
        };
        const int cp = options_.codePage;
        if (directoryLength && !directory.terminated)
            problem(ProblemKind::Structure, "the directory name does not end in its zero byte");
        else if (directory.earlyZero)
            problem(ProblemKind::Structure, "the directory name holds a zero byte before its stored length ends");
        if (!file.terminated)
            problem(ProblemKind::Structure, "the file name does not end in its zero byte");
        else if (file.earlyZero)
            problem(ProblemKind::Structure, "the file name holds a zero byte before its stored length ends");

        if (entry.fileName.empty())
            problem(ProblemKind::Name, "the file name is empty; the stub stops here");
        else if (!NameStaysInside(entry.fileName, false, cp))
            problem(ProblemKind::Name, "the file name " + Quoted(Show(entry.fileName)) +
                                           " is not a plain name (a path, a colon, or only dots); the stub stops here");
        if (!entry.directoryName.empty() && !NameStaysInside(entry.directoryName, true, cp))
            problem(ProblemKind::Name, "the directory " + Quoted(Show(entry.directoryName)) +
                                           " would leave the destination folder; the stub stops here");

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
        if (std::memcmp(header, SZDD_MAGIC, 8) != 0) {
            problem("its data is not an SZDD file, but the package is marked compressed");
            return;
        }
        if (header[8] != kSzddMethodA) {
            problem("its SZDD header names compression method " + std::to_string(header[8]) +
                    ", not 65 ('A')");
            return;
        }
        entry.expandedSize = Le32(header + 10);
        if (!options_.expandCompressed)
            return;
        std::string data(entry.dataSize, '\0');
        source_.Read(entry.dataOffset, data.data(), data.size());
        try {
            SzddExpand(data, "compressed data");
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
        if (cursor.Left() == 0)
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
                                                   "(the data area must end where the trailer begins)");
    }

    void CheckSetupProgram()
    {
        if (c_.setupProgram.empty())
            return;
        const int cp = options_.codePage;
        if (!NameStaysInside(c_.setupProgram, true, cp) || EndsInBackslash(c_.setupProgram, cp)) {
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

std::unique_ptr<ByteSource> OpenFileSource(const std::string &path)
{
    return std::make_unique<FileSource>(path);
}

bool PackageContents::HasProblem(ProblemKind kind) const
{
    for (const PackageProblem &p : problems) {
        if (p.kind == kind)
            return true;
    }
    return false;
}

bool IsDoubleByteLead(unsigned char c, int codePage)
{
    switch (codePage) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
        return c >= 0x81 && c <= 0xFE;
    default:
        return false;
    }
}

bool NameStaysInside(std::string_view name, bool levelsAllowed, int codePage)
{
    if (!name.empty() && IsSeparator(name[0]))
        return false;
    int dots = 0;
    int others = 0;
    for (size_t i = 0;;) {
        char c = i < name.size() ? name[i] : 0;
        if (c == 0 || IsSeparator(c)) {
            if (dots >= 2 && others == 0)
                return false;
            if (c == 0)
                return levelsAllowed || others != 0;
            if (!levelsAllowed)
                return false;
            dots = 0;
            others = 0;
        } else if (c == ':') {
            return false;
        } else if (c == '.') {
            ++dots;
        } else if (c != ' ') {
            ++others;
        }
        i += IsDoubleByteLead(static_cast<unsigned char>(c), codePage) && i + 1 < name.size() ? 2 : 1;
    }
}

std::string JoinBelowFolder(const std::string &folder, const std::string &relative, int codePage)
{
    if (folder.empty() || EndsInBackslash(folder, codePage))
        return folder + relative;
    return folder + "\\" + relative;
}

PackageContents ReadPackage(const ByteSource &source, const ReadOptions &options)
{
    PackageContents contents;
    Reader(source, options, contents).Run();
    return contents;
}

} // namespace velmor

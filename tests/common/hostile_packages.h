// Damaged packages and hostile names, one table for both readers of a package: the
// stub's extraction run under Wine (DamagedPackageTest) and the packer's package
// reader behind list, verify and extract (PackageReaderTest). Every row is a package
// whose first entry is FIRST.TXT and whose second entry carries the case; both
// readers must refuse it at entry 2, or both accept it, so that verify calls a
// package sound exactly when the stub extracts it.
#ifndef VELMOR_TEST_HOSTILE_PACKAGES_H
#define VELMOR_TEST_HOSTILE_PACKAGES_H

#include <cstdint>
#include <string>
#include <vector>
#include "record_writer.h"

namespace velmor::test {

// The record of an entry (attributes 0x20, fixed times) followed by its data.
inline std::string SharedRecord(const std::string &directory, const std::string &file,
                                const std::string &data)
{
    EntryHeader header;
    header.directoryName = directory;
    header.fileName = file;
    header.attributes = 0x20;
    header.lastWriteTime = 0x01D2000000000000ULL;
    header.dataSize = static_cast<uint32_t>(data.size());
    return EncodeEntryRecord(header) + data;
}

// A record whose two name lengths are stored as given, whatever the names hold.
inline std::string RawRecord(uint16_t directoryLength, const std::string &directory, uint16_t fileLength,
                             const std::string &file, const std::string &data = "")
{
    auto u16 = [](uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    std::string fixed(32, '\0');
    uint32_t size = static_cast<uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        fixed[28 + i] = static_cast<char>(size >> (8 * i));
    return u16(directoryLength) + directory + u16(fileLength) + file + fixed + data;
}

inline std::string FirstEntry()
{
    return SharedRecord("", "FIRST.TXT", "first");
}

// One byte of the trailer's signature changed. accepted: the trailer is taken.
struct SignatureCase {
    const char *label;
    int offset;
    char value;
    bool accepted;
};

inline std::vector<SignatureCase> SignatureCases()
{
    return {
        {"as written", 0, 'Q', true},
        {"lower-case letter", 0, 'q', false},
        {"lower-case x", 1, 'x', false},
        {"other digit", 7, '1', false},
        {"byte 8 not zero", 8, 'X', false},
        // Compared as text in code page 1252, a soft hyphen would not count.
        {"soft hyphen at byte 8", 8, '\xAD', false},
        {"byte 9 not zero", 9, 'X', true},
    };
}

// Names as stored (code page 1252). refused: the reader refuses entry 2.
struct HostileNameCase {
    std::string label;
    std::string directory;
    std::string file;
    bool refused;
};

inline std::vector<HostileNameCase> HostileNames()
{
    std::vector<HostileNameCase> cases = {
        {"parent directory", "..", "ESCAPE.TXT", true},
        {"parent of a folder", "..\\OUT", "ESCAPE.TXT", true},
        {"parent after good levels", "SUB\\..\\..\\OUT", "E.TXT", true},
        {"parent with slashes", "SUB/../../OUT", "E.TXT", true},
        {"three dots", "...", "E.TXT", true},
        {"two dots and a space", ".. ", "E.TXT", true},
        {"absolute directory", "\\OUT", "E.TXT", true},
        {"absolute with a slash", "/OUT", "E.TXT", true},
        {"drive and root", "C:\\OUT", "E.TXT", true},
        {"drive-relative directory", "C:OUT", "E.TXT", true},
        {"file name with a parent", "", "..\\ESCAPE.TXT", true},
        {"file name with a slash", "", "../ESCAPE.TXT", true},
        {"file name with a folder", "", "SUB\\ESCAPE.TXT", true},
        {"drive-relative file name", "", "C:ESCAPE.TXT", true},
        {"stream name", "", "FIRST.TXT:STREAM", true},
        {"file name of two dots", "", "..", true},
        {"file name of one dot", "", ".", true},
        {"file name of a space", "", " ", true},
        {"dots inside names", "A..B", "X..TXT", false},
        {"leading dot", "", ".HIDDEN", false},
        {"leading dots", "", "...TXT", false},
        {"a dot level", "SUB\\.\\DEEP", "F.TXT", true},
        {"a leading dot level", ".\\DEEP", "F.TXT", true},
        {"an empty level", "SUB\\\\DEEP", "F.TXT", false},
        {"a space level", "SUB\\ \\DEEP", "F.TXT", true},
        {"a trailing dot level", "SUB\\.", "F.TXT", true},
        {"trailing backslash", "SUB\\", "F.TXT", false},
        {"device file", "", "NUL", true},
        {"device file with an extension", "", "nul.txt", true},
        {"device after spaces", "", "NUL .txt", true},
        {"serial port", "", "COM1", true},
        {"serial port zero", "", "com0", true},
        {"serial port with spaces and extension", "", "COM1 .x", true},
        {"printer port with two extensions", "", "lpt1.a.b", true},
        {"port nine with an extension", "", "LPT9.log", true},
        {"auxiliary device, trailing space", "", "aux ", true},
        {"printer", "", "Prn", true},
        {"console input", "", "CONIN$", true},
        {"console output", "", "conout$.txt", true},
        {"clock", "", "CLOCK$", true},
        {"serial port with superscript one", "", "COM\xB9", true},
        {"printer port with superscript three", "", "lpt\xB3.txt", true},
        {"device as a directory", "CON", "F.TXT", true},
        {"device as a deeper directory", "SUB\\AUX.DIR\\X", "F.TXT", true},
        {"port ten is no device", "", "COM10", false},
        {"longer names are no devices", "CONSOLE", "NULL.TXT", false},
        {"a device name inside a name", "", "XCOM1.TXT", false},
        {"port letters alone", "", "LPT", false},
        // Windows separates levels at slashes as at backslashes.
        {"a slash between new levels", "NEW/DEEP", "F.TXT", false},
        {"a trailing slash", "NEW/", "F.TXT", false},
        // Windows drops a trailing dot or space from the level it creates, and the
        // path through the level as stored is then not found.
        {"a level ending in a space", "NEW \\DEEP", "F.TXT", true},
        {"a folder ending in a space", "NEW ", "F.TXT", true},
        {"a level ending in a dot", "NEW.\\DEEP", "F.TXT", true},
        {"a file name ending in a space", "", "F.TXT ", true},
        {"a file name ending in a dot", "", "F.TXT.", true},
    };
    for (int c = 0x01; c < 0x20; ++c)
        cases.push_back({"control character " + std::to_string(c), "", "A" + std::string(1, char(c)) + ".TXT", true});
    for (char c : std::string("*?<>|\""))
        cases.push_back({std::string("a file name with ") + c, "", "A" + std::string(1, c) + ".TXT", true});
    cases.push_back({"a folder level with a tab", "SUB\\A\tB", "F.TXT", true});
    cases.push_back({"a folder level with a star", "A*B\\SUB", "F.TXT", true});
    // Bytes that code page 1252 leaves undefined: Windows takes them for the control
    // characters U+0081 and so on, which file names may hold.
    for (char c : std::string("\x81\x8D\x8F\x90\x9D"))
        cases.push_back({"1252's undefined byte " + std::to_string(static_cast<unsigned char>(c)), "",
                         "A" + std::string(1, c) + ".TXT", false});
    return cases;
}

// Names in code page 932, whose lead bytes take the next byte as their second.
inline std::vector<HostileNameCase> DoubleByteHostileNames()
{
    return {
        {"directory ending in a lone lead byte", "SUB\x81", "FILE.TXT", true},
        {"file name ending in a lone lead byte", "", "FILE\x81", true},
        {"a character whose second byte is 0x5C", "\x95\x5C", "A.TXT", false},
        {"B9 is no superscript here", "", "COM\xB9", false},
        // Windows makes one stand-in character of the two bytes: the file would get
        // another name.
        {"a lead byte before a byte it does not take", "", "A\x81 B.TXT", true},
        {"a folder with a lead byte before a byte it does not take", "SUB\x81\x7F", "F.TXT", true},
    };
}

// A second record damaged in its structure. entryStarts: the record reads whole, so
// the stub reports entry 2 started before it fails.
struct DamagedRecordCase {
    const char *label;
    std::string secondRecord;
    bool entryStarts;
};

inline std::vector<DamagedRecordCase> DamagedRecords()
{
    const std::string unterminated(256, 'N');
    const std::string f0("F\0", 2);
    return {
        {"directory length 257", RawRecord(257, std::string(257, 'D'), 2, f0), false},
        {"directory length 65535", RawRecord(65535, std::string(300, 'D'), 2, "F"), false},
        {"file length 0", RawRecord(0, "", 0, "", "data"), false},
        // Byte 255 is zero: only the bound on the length refuses it.
        {"file length 257, the field's last byte zero", RawRecord(0, "", 257, std::string(255, 'F') + '\0' + 'G'),
         false},
        {"directory length 257, the field's last byte zero",
         RawRecord(257, std::string(255, 'D') + '\0' + 'G', 2, f0), false},
        {"file length 65535", RawRecord(0, "", 65535, std::string(300, 'F')), false},
        {"full-size file name without its zero byte", RawRecord(0, "", 256, unterminated, "x"), false},
        {"full-size directory name without its zero byte", RawRecord(256, unterminated, 2, f0, "x"), false},
        {"empty file name", RawRecord(0, "", 1, std::string(1, '\0'), "x"), true},
    };
}

} // namespace velmor::test

#endif

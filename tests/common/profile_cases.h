// INI texts and what GetPrivateProfileStringA (no default) reads from them. The
// Windows-side tests check every row against the system's own profile functions; the
// host tests check the packer's reader against the same rows, so that the packer's
// account of a launcher config agrees with what the launcher will read.
#ifndef VELMOR_TEST_PROFILE_CASES_H
#define VELMOR_TEST_PROFILE_CASES_H

#include <string>

namespace velmor::test {

// How a row's text is stored in the file: as it stands, or (ASCII text only) as
// UTF-16 behind its byte-order mark.
enum class ProfileEncoding { Bytes, Utf16LittleEndian, Utf16BigEndian };

struct ProfileCase {
    const char *name;
    const char *text;    // the whole INI file
    const char *section;
    const char *key;
    unsigned size;       // of the result buffer
    const char *value;   // what the buffer holds afterwards; its length is the count
    ProfileEncoding encoding = ProfileEncoding::Bytes;
};

// The bytes of the file that holds the row's text.
inline std::string ProfileCaseBytes(const ProfileCase &c)
{
    if (c.encoding == ProfileEncoding::Bytes)
        return c.text;
    bool little = c.encoding == ProfileEncoding::Utf16LittleEndian;
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char *at = c.text; *at; ++at) {
        bytes += little ? *at : '\0';
        bytes += little ? '\0' : *at;
    }
    return bytes;
}

inline constexpr ProfileCase kProfileCases[] = {
    {"SectionNameIgnoresCase", "[setup program]\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, "a"},
    {"KeyNameIgnoresCase", "[Setup Program]\r\nsetup-FILE=a\r\n", "Setup Program", "Setup-File", 256, "a"},
    {"SpacesInsideBracketsDropped", "[ Setup Program ]\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, "a"},
    {"WhiteSpaceAroundNamesAndValueDropped", "  [Setup Program]  \r\n \t Setup-File \t = \t a b \t \r\n",
     "Setup Program", "Setup-File", 256, "a b"},
    {"FirstOfTwoKeysWins", "[Setup Program]\r\nSetup-File=first\r\nsetup-file=second\r\n",
     "Setup Program", "Setup-File", 256, "first"},
    {"OnlyFirstSectionOfNameSearched", "[Setup Program]\r\nX=1\r\n[Other]\r\n[SETUP PROGRAM]\r\nSetup-File=b\r\n",
     "Setup Program", "Setup-File", 256, ""},
    {"DoubleQuotesRemoved", "[Setup Program]\r\nSetup-File=\"a b\"\r\n", "Setup Program", "Setup-File", 256, "a b"},
    {"SingleQuotesRemoved", "[Setup Program]\r\nSetup-File='a b'\r\n", "Setup Program", "Setup-File", 256, "a b"},
    {"UnmatchedQuoteKept", "[Setup Program]\r\nSetup-File=\"a b\r\n", "Setup Program", "Setup-File", 256, "\"a b"},
    {"DifferentQuotesKept", "[Setup Program]\r\nSetup-File=\"a b'\r\n", "Setup Program", "Setup-File", 256, "\"a b'"},
    {"QuotesInsideValueKept", "[Setup Program]\r\nSetup-File=a \"b\"\r\n", "Setup Program", "Setup-File", 256, "a \"b\""},
    {"EmptyQuotesGiveEmptyValue", "[Setup Program]\r\nSetup-File=\"\"\r\n", "Setup Program", "Setup-File", 256, ""},
    {"LoneQuoteKept", "[Setup Program]\r\nSetup-File=\"\r\n", "Setup Program", "Setup-File", 256, "\""},
    {"SpacesInsideQuotesKept", "[Setup Program]\r\nSetup-File= \" a \" \r\n", "Setup Program", "Setup-File", 256, " a "},
    {"KeyWithoutEqualsSignHidesLaterKey", "[Setup Program]\r\nSetup-File\r\nSetup-File=x\r\n",
     "Setup Program", "Setup-File", 256, ""},
    {"CommentLineIsNoEntryOfThatName", "[Setup Program]\r\n;Setup-File=x\r\n", "Setup Program", "Setup-File", 256, ""},
    {"SemicolonInValueKept", "[Setup Program]\r\nSetup-File=x ; y\r\n", "Setup Program", "Setup-File", 256, "x ; y"},
    {"LineFeedEndsLine", "[Setup Program]\nSetup-File=a\n", "Setup Program", "Setup-File", 256, "a"},
    {"CarriageReturnEndsLine", "[Setup Program]\rSetup-File=a\r", "Setup Program", "Setup-File", 256, "a"},
    {"LastLineWithoutEnding", "[Setup Program]\r\nSetup-File=a", "Setup Program", "Setup-File", 256, "a"},
    {"EqualsSignInValueKept", "[Setup Program]\r\nSetup-File=a=b\r\n", "Setup Program", "Setup-File", 256, "a=b"},
    {"EmptyValueHidesLaterKey", "[Setup Program]\r\nSetup-File=\r\nSetup-File=b\r\n", "Setup Program", "Setup-File", 256, ""},
    {"ValueCutToBuffer", "[Setup Program]\r\nSetup-File=abcdefghij\r\n", "Setup Program", "Setup-File", 5, "abcd"},
    {"QuotesGoBeforeCut", "[Setup Program]\r\nSetup-File=\"abcdefghij\"\r\n", "Setup Program", "Setup-File", 5, "abcd"},
    {"HeaderWithoutClosingBracketIsNoSection", "[Setup Program\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, ""},
    {"TextAfterClosingBracketIgnored", "[Setup Program] more\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, "a"},
    {"LastClosingBracketEndsName", "[Setup Program]]\r\nSetup-File=a\r\n", "Setup Program]", "Setup-File", 256, "a"},
    {"InnerBracketBelongsToName", "[Setup Program]]\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, ""},
    {"ByteOrderMarkSkipped", "\xEF\xBB\xBF[Setup Program]\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, "a"},
    {"SpacesInsideKeyMustMatch", "[Setup Program]\r\nWinNT  4 Setup-File=a\r\n", "Setup Program", "WinNT 4 Setup-File", 256, ""},
    {"DoubleSpacesOfServicePackMatch", "[Setup Program]\r\nWindows 4 10  A  Setup-File=a\r\n",
     "Setup Program", "Windows 4 10  A  Setup-File", 256, "a"},
    {"KeyAskedForIsTrimmed", "[Setup Program]\r\nSetup-File=a\r\n", "Setup Program", " Setup-File ", 256, "a"},
    {"SectionAskedForIsTrimmed", "[Setup Program]\r\nSetup-File=a\r\n", " Setup Program ", "Setup-File", 256, "a"},
    {"EntriesBeforeFirstSectionBelongToNone", "Setup-File=a\r\n[Setup Program]\r\n", "Setup Program", "Setup-File", 256, ""},
    {"BracketedLineWithEqualsIsSection", "[Setup Program]\r\n[x=y]\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, ""},
    {"EmptyKeyNameIsOwnEntry", "[Setup Program]\r\n=a\r\nSetup-File=b\r\n", "Setup Program", "Setup-File", 256, "b"},
    {"CtrlZIsWhiteSpace", "[Setup Program]\r\nSetup-File=a\x1a\r\n\x1a", "Setup Program", "Setup-File", 256, "a"},
    {"HighBytesInValueKept", "[Setup Program]\r\nSetup-File=\xE9t\xE9\r\n", "Setup Program", "Setup-File", 256, "\xE9t\xE9"},
    {"MissingSection", "[Other]\r\nSetup-File=a\r\n", "Setup Program", "Setup-File", 256, ""},
    // The NT family reads UTF-16 files, by their byte-order mark.
    {"Utf16LittleEndianRead", "[Setup Program]\r\nSetup-File = \"A.EXE\"\r\n", "Setup Program", "Setup-File", 256,
     "A.EXE", ProfileEncoding::Utf16LittleEndian},
    {"Utf16BigEndianRead", "[Setup Program]\r\nSetup-File=B.EXE\r\n", "Setup Program", "Setup-File", 256, "B.EXE",
     ProfileEncoding::Utf16BigEndian},
};

// A launcher config in UTF-16, which the launcher under Wine and which-setup must
// agree on: the NT family starts the value of its key.
inline constexpr ProfileCase kUtf16LauncherConfig = {
    "Utf16LauncherConfig", "[Setup Program]\r\nWindows Setup-File=W9X\\Setup.exe\r\nWinNT Setup-File=NT\\Setup.exe\r\n",
    "Setup Program", "WinNT Setup-File", 256, "NT\\Setup.exe", ProfileEncoding::Utf16LittleEndian};

} // namespace velmor::test

#endif

#include "setup_lookup.h"
#include "text.h"

enum {
    kPlatformWindows = 1, // the 95/98/ME family
    kPlatformNT = 2,
    kKeySize = 256,
    kPathSize = 256,
    kNumberSize = 12,     // "-2147483648" and its zero byte
    kServicePackSize = 128
};

// Which tokens each attempt puts in its key, from the most to the least specific:
// every key that names the language comes before any key that does not, and within
// each half the tokens are dropped from the right.
enum {
    kUsePlatform = 1,
    kUseMajor = 2,
    kUseMinor = 4,
    kUseServicePack = 8,
    kUseLanguage = 16
};

static const unsigned char kAttempts[] = {
    kUsePlatform | kUseMajor | kUseMinor | kUseServicePack | kUseLanguage,
    kUsePlatform | kUseMajor | kUseMinor | kUseLanguage,
    kUsePlatform | kUseMajor | kUseLanguage,
    kUsePlatform | kUseLanguage,
    kUseLanguage,
    kUsePlatform | kUseMajor | kUseMinor | kUseServicePack,
    kUsePlatform | kUseMajor | kUseMinor,
    kUsePlatform | kUseMajor,
    kUsePlatform,
    0
};

// The value as a signed 32-bit decimal number, as "%ld" prints it.
static void FormatDecimal(char *text, unsigned value)
{
    char digits[kNumberSize];
    int count = 0;
    int negative = (value & 0x80000000u) != 0;
    unsigned magnitude = negative ? 0u - value : value;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    int at = 0;
    if (negative)
        text[at++] = '-';
    while (count)
        text[at++] = digits[--count];
    text[at] = 0;
}

// The value in upper-case hexadecimal without leading zeros, as "%X" prints it.
static void FormatHex(char *text, unsigned short value)
{
    static const char kDigits[] = "0123456789ABCDEF";
    int at = 0;
    for (int shift = 12; shift >= 0; shift -= 4) {
        unsigned digit = (value >> shift) & 0xF;
        if (digit || at || shift == 0)
            text[at++] = kDigits[digit];
    }
    text[at] = 0;
}

// Appends a token to the key with one space before it, unless it is absent or empty.
static void AppendToken(char *key, const char *token)
{
    if (!token || !token[0])
        return;
    if (key[0])
        AppendText(key, kKeySize, " ");
    AppendText(key, kKeySize, token);
}

int TrySetupFileKey(const char *platform, const char *major, const char *minor,
                    const char *servicePack, const char *language, const char *configPath,
                    char *result, int resultSize, const ProfileReader *reader)
{
    // The longest key (175 characters) fits, so the appends cannot fail.
    char key[kKeySize];
    key[0] = 0;
    AppendToken(key, platform);
    AppendToken(key, major);
    AppendToken(key, minor);
    AppendToken(key, servicePack);
    AppendToken(key, language);
    AppendToken(key, "Setup-File");

    // Read with a byte to spare, so that a value that fills the buffer is told from
    // one that fits: the reader cuts what is longer without saying so.
    char value[kPathSize + 1];
    value[0] = 0;
    unsigned count = reader->read(reader->context, SETUP_PROGRAM_SECTION, key, value,
                                  sizeof value, configPath);
    result[0] = 0;
    if (count == 0 || !value[0])
        return kKeyMissing;
    if (count >= kPathSize || !CopyText(result, resultSize, value))
        return kKeyValueTooLong;
    return kKeyFound;
}

// Turns the value in result into a full path. A value whose second character is a
// colon keeps everything but its drive letter, which becomes the config path's first
// character; any other value follows the config directory's backslash, with one
// leading backslash of its own left out. A path that would not fit is not cut short:
// the result is then empty and 0.
static int MakeFullProgramPath(const char *configPath, char *result, int resultSize)
{
    if (result[1] == ':') {
        result[0] = configPath[0];
        return 1;
    }
    // The config directory keeps its backslash; a bare file name has no directory.
    const char *slash = FindLastBackslash(const_cast<char *>(configPath));
    int directoryLength = slash ? static_cast<int>(slash - configPath) + 1 : 0;
    char value[kPathSize];
    int ok = CopyText(value, sizeof value, result) && directoryLength < resultSize;
    if (ok) {
        for (int i = 0; i < directoryLength; ++i)
            result[i] = configPath[i];
        result[directoryLength] = 0;
        ok = AppendText(result, resultSize, value[0] == '\\' ? value + 1 : value);
    }
    if (!ok)
        result[0] = 0;
    return ok;
}

int FindSetupProgram(const VersionRecord *version, unsigned short languageId,
                     const char *configPath, char *result, int resultSize,
                     const ProfileReader *reader)
{
    if (!version || !configPath || !configPath[0] || !result || resultSize < 2 || !reader)
        return 0;
    const char *platform;
    if (version->dwPlatformId == kPlatformWindows)
        platform = "Windows";
    else if (version->dwPlatformId == kPlatformNT)
        platform = "WinNT";
    else
        return 0;

    // On the 95/98/ME family the high word of the build number repeats the version,
    // major in its high byte, minor in its low byte; it can carry the minor version
    // where dwMinorVersion falls short of it. On the NT family the high word is zero.
    unsigned majorVersion = version->dwMajorVersion;
    unsigned minorVersion = version->dwMinorVersion;
    unsigned buildMajor = (version->dwBuildNumber >> 24) & 0xFF;
    unsigned buildMinor = (version->dwBuildNumber >> 16) & 0xFF;
    if (majorVersion == buildMajor && minorVersion < buildMinor)
        minorVersion = buildMinor;

    char major[kNumberSize], minor[kNumberSize], language[kNumberSize];
    char servicePack[kServicePackSize];
    FormatDecimal(major, majorVersion);
    FormatDecimal(minor, minorVersion);
    FormatHex(language, languageId);
    // Taken as it stands, spaces included; a record without a zero byte is cut.
    for (int i = 0; i < kServicePackSize; ++i)
        servicePack[i] = version->szCSDVersion[i];
    servicePack[kServicePackSize - 1] = 0;

    for (unsigned attempt = 0; attempt < sizeof kAttempts; ++attempt) {
        unsigned use = kAttempts[attempt];
        int found = TrySetupFileKey((use & kUsePlatform) ? platform : 0,
                                    (use & kUseMajor) ? major : 0,
                                    (use & kUseMinor) ? minor : 0,
                                    (use & kUseServicePack) ? servicePack : 0,
                                    (use & kUseLanguage) ? language : 0,
                                    configPath, result, resultSize, reader);
        // The most specific key with a value decides, also when its value is too long.
        if (found == kKeyFound)
            return MakeFullProgramPath(configPath, result, resultSize);
        if (found == kKeyValueTooLong)
            return 0;
    }
    return 0;
}

// Choosing the setup program from the launcher config. The keys that describe the
// running system are tried from the most to the least specific, and the first value
// found becomes a full path on the launcher's own drive. Everything here is string
// work; the one read of the launcher config goes through the reader passed in, so
// that the same code runs in the launcher and in the packer.
#ifndef VELMOR_LAUNCHER_SETUP_LOOKUP_H
#define VELMOR_LAUNCHER_SETUP_LOOKUP_H

#include "version_record.h"

// Reads the value of key in section of the INI file at path into result, cut to
// size - 1 characters and zero-terminated, an empty string when the file, the section
// or the key is missing; returns the number of characters copied. The launcher
// passes GetPrivateProfileStringA with no default; context is handed back unchanged.
struct ProfileReader {
    unsigned (*read)(void *context, const char *section, const char *key, char *result,
                     unsigned size, const char *path);
    void *context;
};

// The section of the launcher config that maps setup-file keys to program paths.
#define SETUP_PROGRAM_SECTION "Setup Program"

// Results of TrySetupFileKey.
enum SetupKeyResult {
    kKeyMissing = 0,      // no value, or an empty one
    kKeyFound = 1,        // the value is in result
    kKeyValueTooLong = 2  // a value of more than 255 characters, or more than result holds
};

// Builds the key from the tokens given (each may be null or empty and then leaves no
// trace) and reads its value from the launcher config into result. After an attempt
// other than kKeyFound result holds an empty string: a value is never cut short.
int TrySetupFileKey(const char *platform, const char *major, const char *minor,
                    const char *servicePack, const char *language, const char *configPath,
                    char *result, int resultSize, const ProfileReader *reader);

// Tries the ten keys for the system that version and languageId describe and turns
// the first value found into a full path in result: a value with a drive letter moves
// onto the drive of configPath, any other value is taken relative to the directory of
// configPath. Returns 1 with the path in result, or 0: on a platform other than the
// 95/98/ME family and the NT family (nothing read, result untouched), when no key has
// a value, or when the first value found or the full path would not fit in result
// (result then empty).
int FindSetupProgram(const VersionRecord *version, unsigned short languageId,
                     const char *configPath, char *result, int resultSize,
                     const ProfileReader *reader);

#endif

// The version record the setup-file lookup reads. On Windows it is the system's own
// OSVERSIONINFOA; elsewhere (the packer, the host tests) a record with the same field
// names and types stands in for it.
#ifndef VELMOR_LAUNCHER_VERSION_RECORD_H
#define VELMOR_LAUNCHER_VERSION_RECORD_H

#ifdef _WIN32
#include <windows.h>
typedef OSVERSIONINFOA VersionRecord;
#else
#include <stdint.h>
struct VersionRecord {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
};
#endif

#endif

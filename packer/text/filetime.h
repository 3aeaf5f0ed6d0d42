#ifndef VELMOR_FILETIME_H
#define VELMOR_FILETIME_H

#include <cstdint>

namespace velmor {

// Windows FILETIME (100-ns intervals since 1601-01-01 UTC) for a Unix time. Times
// before 1601 give 0.
uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

// Unix seconds (and the nanoseconds through the second argument) for a FILETIME.
int64_t UnixFromFileTime(uint64_t fileTime, uint32_t *nanoseconds = nullptr);

} // namespace velmor

#endif
